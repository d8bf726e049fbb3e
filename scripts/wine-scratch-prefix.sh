# Sourced by the scripts that run Windows programs under Wine in a throw-away prefix: sets
# $scratch (a temporary folder, removed on exit) and a quiet Wine prefix inside it, and stops
# that prefix's wineserver when the script ends.
scratch=$(mktemp -d)
export WINEPREFIX=$scratch/wine-prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
    wineserver -k 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT

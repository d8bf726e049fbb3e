# Sourced by the scripts that run Windows programs under Wine in a throw-away prefix: sets
# $scratch (a temporary folder, removed on exit) and a Wine prefix inside it, in the project's
# Wine environment (cmake/wine-env.sh), and stops that prefix's wineserver when the script
# ends. create_scratch_prefix then makes the prefix.
. "$(dirname "${BASH_SOURCE[0]}")/../cmake/wine-env.sh"
scratch=$(mktemp -d)
export WINEPREFIX=$scratch/wine-prefix
cleanup() {
    wineserver -k 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT

# Creates the prefix, its dialog font one that the system has. Debian's Wine does not find its
# own fonts (fonts-wine), so "MS Shell Dlg", which Qt takes for the system font, would fall
# back to another of the system's fonts, here DejaVu Math TeX Gyre, in which Qt's edit fields,
# spin boxes and editable lists draw no text at all. Wine's own Tahoma, put into the prefix,
# lacks the hyphen; DejaVu Sans draws every character of the program's texts.
create_scratch_prefix() {
    wine cmd /c exit >/dev/null 2>&1 </dev/null
    local key='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes'
    wine reg add "$key" /v "MS Shell Dlg" /d "DejaVu Sans" /f >/dev/null 2>&1
    wine reg add "$key" /v "MS Shell Dlg 2" /d "DejaVu Sans" /f >/dev/null 2>&1
}

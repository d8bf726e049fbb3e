#!/usr/bin/env bash
# Builds the Debian package from the build folder given (default: build), unpacks it into a
# scratch folder and checks that everything a desktop install needs is in it, that both
# programs carry Debian's hardening, and lintian.
#   scripts/check-package.sh [BUILD_DIR] [ARCH]     ARCH: the Debian architecture the package
#                                                   is for (default: this machine's; arm64 for
#                                                   build-arm64)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
arch="${2:-$(dpkg --print-architecture)}"

rm -f "$build"/quillon-utility_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/quillon-utility_*_"$arch".deb)
echo "package: $deb"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
dpkg-deb -x "$deb" "$scratch"

status=0
expect() {
    if [ -e "$scratch/$1" ]; then
        echo "  ok   /$1"
    else
        echo "  MISSING /$1"
        status=1
    fi
}
expect usr/bin/quillon-utility
expect usr/bin/quillon-cli
expect usr/bin/quillon-station
expect usr/lib/udev/rules.d/70-quillon-adapter.rules
expect usr/share/applications/com.morvane.QuillonUtility.desktop
expect usr/share/applications/com.morvane.QuillonStation.desktop
expect usr/share/icons/hicolor/scalable/apps/com.morvane.QuillonUtility.svg
expect usr/share/metainfo/com.morvane.QuillonUtility.metainfo.xml
expect usr/share/quillon-utility/Release.txt
expect usr/share/man/man1/quillon-cli.1.gz
expect usr/share/bash-completion/completions/quillon-cli
expect usr/share/man/man1/quillon-utility.1.gz
expect usr/share/man/man1/quillon-station.1.gz
expect usr/share/doc/quillon-utility/copyright
expect usr/share/doc/quillon-utility/changelog.gz

rule="$scratch/usr/lib/udev/rules.d/70-quillon-adapter.rules"
if [ -e "$rule" ] && grep -qE 'MODE="0?666"' "$rule"; then
    echo "  the udev rule makes the node world-writable"
    status=1
fi

if [ "$(dpkg-deb -f "$deb" Architecture)" != "$arch" ]; then
    echo "  the package is for $(dpkg-deb -f "$deb" Architecture), not $arch"
    status=1
fi
# readelf's name of the machine the programs must be built for.
case "$arch" in
    amd64) machine="Advanced Micro Devices X86-64" ;;
    arm64) machine="AArch64" ;;
    *) machine="" ;;
esac

depends=$(dpkg-deb -f "$deb" Depends)
echo "  Depends: $depends"
# The arm64 build keeps its records on the station: the server's client library cannot be
# installed for arm64 beside the build machine's own.
libs=(libqt6widgets6 libudev1 libsqlite3-0)
[ "$arch" = arm64 ] || libs+=(libpq5)
for lib in "${libs[@]}"; do
    if ! grep -q "$lib" <<<"$depends"; then
        echo "  the package does not depend on $lib"
        status=1
    fi
done

if ! appstreamcli validate --no-net \
        "$scratch/usr/share/metainfo/com.morvane.QuillonUtility.metainfo.xml" >/dev/null; then
    echo "  the AppStream metadata does not validate"
    status=1
fi

for exe in quillon-utility quillon-cli quillon-station; do
    if [ -e "$scratch/usr/bin/$exe" ] && ! readelf -n "$scratch/usr/bin/$exe" | grep -q Quillon; then
        echo "  /usr/bin/$exe carries no version data"
        status=1
    fi
done

# The hardening of Debian's packages, read from the programs themselves (so it holds for any
# architecture): full RELRO (read-only relocations, bound at start), position-independent,
# stack protector, and fortified C library calls.
for exe in quillon-utility quillon-cli quillon-station; do
    file="$scratch/usr/bin/$exe"
    [ -e "$file" ] || continue
    header=$(readelf -hlW "$file")
    dynamic=$(readelf -dW "$file")
    symbols=$(readelf --dyn-syms -W "$file")
    problems=()
    [ -z "$machine" ] || grep -q "Machine: *$machine" <<<"$header" || problems+=("not built for $arch")
    grep -q GNU_RELRO <<<"$header" || problems+=("no RELRO")
    grep -qE '\(FLAGS\).*BIND_NOW|\(FLAGS_1\).*NOW' <<<"$dynamic" || problems+=("not bound at start (BIND_NOW)")
    grep -qE '\(FLAGS_1\).*PIE' <<<"$dynamic" || problems+=("not position-independent")
    grep -q ' __stack_chk_fail' <<<"$symbols" || problems+=("no stack protector")
    grep -qE ' __[a-z0-9_]+_chk(@|$)' <<<"$symbols" || problems+=("no fortified functions")
    if [ ${#problems[@]} -eq 0 ]; then
        echo "  hardened /usr/bin/$exe"
    else
        echo "  /usr/bin/$exe: $(IFS=,; echo "${problems[*]}" | sed 's/,/, /g')"
        status=1
    fi
done

# Debian's own package checks: any error or warning fails, and so does any of its hardening
# tags, which are only information (shown with -I).
if ! lintian --display-info --fail-on error,warning "$deb" | tee "$scratch/lintian.txt"; then
    echo "  lintian reports errors or warnings"
    status=1
fi
if grep -q ' hardening-' "$scratch/lintian.txt"; then
    echo "  lintian reports missing hardening"
    status=1
fi

[ $status -eq 0 ] && echo "package contents are complete"
exit $status

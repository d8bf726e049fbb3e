#!/usr/bin/env bash
# Builds the Debian package from the build folder given (default: build), unpacks it into a
# scratch folder and checks that everything a desktop install needs is in it.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"

(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls -t "$build"/quillon-utility_*.deb | head -n 1)
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
expect usr/lib/udev/rules.d/70-quillon-adapter.rules
expect usr/share/applications/com.morvane.QuillonUtility.desktop
expect usr/share/icons/hicolor/scalable/apps/com.morvane.QuillonUtility.svg
expect usr/share/metainfo/com.morvane.QuillonUtility.metainfo.xml
expect usr/share/quillon-utility/Release.txt
expect usr/share/man/man1/quillon-cli.1.gz
expect usr/share/man/man1/quillon-utility.1.gz
expect usr/share/doc/quillon-utility/copyright
expect usr/share/doc/quillon-utility/changelog.gz

rule="$scratch/usr/lib/udev/rules.d/70-quillon-adapter.rules"
if [ -e "$rule" ] && grep -qE 'MODE="0?666"' "$rule"; then
    echo "  the udev rule makes the node world-writable"
    status=1
fi

depends=$(dpkg-deb -f "$deb" Depends)
echo "  Depends: $depends"
for lib in libqt6widgets6 libudev1 libsqlite3-0 libpq5; do
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

for exe in quillon-utility quillon-cli; do
    if [ -e "$scratch/usr/bin/$exe" ] && ! readelf -n "$scratch/usr/bin/$exe" | grep -q Quillon; then
        echo "  /usr/bin/$exe carries no version data"
        status=1
    fi
done

# Debian's own package checks: any error or warning fails.
if ! lintian --fail-on error,warning "$deb"; then
    echo "  lintian reports errors or warnings"
    status=1
fi

[ $status -eq 0 ] && echo "package contents are complete"
exit $status

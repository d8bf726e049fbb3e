#!/usr/bin/env bash
# Makes SQLite's single-file form (sqlite3.c, sqlite3.h) from Debian's own sqlite3 source
# package, Debian's patches applied, for the Windows build, which compiles it in: Debian has no
# SQLite for MinGW. Writes it into the folder given (default: build-sqlite-mingw/amalgamation);
# a minute or so, nothing when it is there already. scripts/build-windows.sh runs it.
# apt-get source needs a deb-src line; when apt has none, one is added for the archive that the
# deb lines already name.
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-build-sqlite-mingw/amalgamation}")
work=$PWD/build-sqlite-mingw/source
if [ -f "$out/sqlite3.c" ] && [ -f "$out/sqlite3.h" ]; then
    exit 0
fi
"$(dirname "$0")/apt-install-missing.sh" dpkg-dev gcc make tcl

if [ "$(id -u)" -eq 0 ]; then sudo=(); else sudo=(sudo); fi
add_deb_src() {
    local deb822=/etc/apt/sources.list.d/debian.sources
    if [ -f "$deb822" ]; then
        sed 's/^Types: deb$/Types: deb-src/' "$deb822" |
            "${sudo[@]}" tee /etc/apt/sources.list.d/quillon-deb-src.sources >/dev/null
    else
        grep -h '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' |
            "${sudo[@]}" tee /etc/apt/sources.list.d/quillon-deb-src.list >/dev/null
    fi
    "${sudo[@]}" apt-get update -q
}

mkdir -p "$work"
cd "$work"
if ! ls sqlite3_*.dsc >/dev/null 2>&1; then
    if ! apt-get source --download-only sqlite3; then
        echo "No deb-src line for apt; adding one for Debian's archive"
        add_deb_src
        apt-get source --download-only sqlite3
    fi
fi
rm -rf src build
dpkg-source -x "$(ls sqlite3_*.dsc | head -n 1)" src
mkdir build
(cd build && ../src/configure --disable-tcl --disable-readline >configure.log && make sqlite3.c)
mkdir -p "$out"
cp build/sqlite3.c build/sqlite3.h "$out/"
echo "SQLite's single-file form is in $out"

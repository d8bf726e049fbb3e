#!/usr/bin/env bash
# Cross-builds the Windows port into build-windows/: everything without widgets, quillon-cli.exe
# and the tests, with Debian's MinGW-w64 compiler against Qt 6 for MinGW and SQLite compiled in
# from Debian's sources (scripts/build-sqlite-mingw.sh).
#
# Qt for MinGW, the first of these that exists:
#   $QUILLON_QT_MINGW                     an unpacked prefix
#   build-qt-mingw/qt6-mingw/             unpacked or built here before
#   $QUILLON_QT_MINGW_TARBALL, or qt6-mingw-*.tar.xz in ../shared/toolchains/ (beside the
#   checkout), unpacked into build-qt-mingw/
#   otherwise scripts/build-qt-mingw.sh builds it from Debian's qt6-base sources (20-odd minutes)
# Extra arguments go to the CMake configure step.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-windows-deps.sh

# Qt and SQLite are looked for where the preset expects them (build-qt-mingw/qt6-mingw/,
# build-sqlite-mingw/amalgamation/); QUILLON_QT_MINGW points it elsewhere.
qt_dir=build-qt-mingw
qt_prefix=${QUILLON_QT_MINGW:-}
preset_args=()
if [ -n "$qt_prefix" ]; then
    preset_args+=(-DCMAKE_PREFIX_PATH="$qt_prefix")
else
    qt_prefix=$PWD/$qt_dir/qt6-mingw
    if [ ! -d "$qt_prefix/lib/cmake/Qt6" ]; then
        tarball=${QUILLON_QT_MINGW_TARBALL:-}
        if [ -z "$tarball" ]; then
            for candidate in ../shared/toolchains/qt6-mingw-*.tar.xz \
                             "$(git rev-parse --git-common-dir 2>/dev/null)"/../../shared/toolchains/qt6-mingw-*.tar.xz; do
                if [ -f "$candidate" ]; then tarball=$candidate; break; fi
            done
        fi
        if [ -n "$tarball" ]; then
            echo "Unpacking $tarball into $qt_dir/"
            mkdir -p "$qt_dir"
            tar -xJf "$tarball" -C "$qt_dir"
        else
            scripts/build-qt-mingw.sh "$qt_prefix"
        fi
    fi
fi
[ -z "${QUILLON_BUILD_TYPE:-}" ] || preset_args+=(-DCMAKE_BUILD_TYPE="$QUILLON_BUILD_TYPE")

# SQLite, compiled into the programs from its single-file form.
scripts/build-sqlite-mingw.sh "$PWD/build-sqlite-mingw/amalgamation"

export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD}
cmake --preset build-windows "${preset_args[@]}" "$@"
cmake --build build-windows

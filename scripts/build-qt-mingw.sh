#!/usr/bin/env bash
# Builds Qt 6 qtbase for 64-bit Windows with Debian's MinGW-w64 compiler, from Debian's own
# qt6-base source package (the version of the host tools, which moc and rcc come from), and
# installs it into the prefix given (default: build-qt-mingw/qt6-mingw). About 20 minutes on
# two cores. Needs a deb-src line for apt-get source. scripts/build-windows.sh runs it when
# no ready Qt for MinGW is at hand.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
prefix=$(realpath -m "${1:-build-qt-mingw/qt6-mingw}")
work=$repo/build-qt-mingw/source
scripts/install-windows-deps.sh

if [ "$(id -u)" -eq 0 ]; then apt_get=(apt-get); else apt_get=(sudo apt-get); fi
DEBIAN_FRONTEND=noninteractive "${apt_get[@]}" install -y -q --no-install-recommends \
    qt6-base-dev qt6-base-dev-tools dpkg-dev

mkdir -p "$work"
cd "$work"
if ! ls -d qtbase-everywhere-src-* >/dev/null 2>&1; then
    apt-get source --download-only qt6-base
    tar xf qt6-base_*.orig.tar.xz
fi
source_dir=$(ls -d "$work"/qtbase-everywhere-src-* | head -n 1)

cmake -S "$source_dir" -B build -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/MinGW-w64.cmake" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DQT_QMAKE_TARGET_MKSPEC=win32-g++ -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DFEATURE_sql=OFF -DFEATURE_network=OFF \
    -DFEATURE_dbus=OFF -DFEATURE_opengl=OFF -DINPUT_opengl=no -DFEATURE_printsupport=OFF \
    -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_testlib=ON -DFEATURE_vulkan=OFF \
    -DFEATURE_system_zlib=OFF -DFEATURE_zstd=OFF -DFEATURE_system_pcre2=OFF \
    -DFEATURE_system_harfbuzz=OFF -DFEATURE_freetype=OFF -DFEATURE_fontconfig=OFF \
    -DFEATURE_system_png=OFF -DFEATURE_jpeg=OFF -DFEATURE_gif=OFF \
    -DFEATURE_tabletevent=OFF  # Debian's cleaned source lacks wintab.h
cmake --build build --parallel 2
cmake --install build

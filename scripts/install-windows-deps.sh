#!/usr/bin/env bash
# Installs the Debian packages the Windows cross-build and its tests under Wine need, if any
# are missing: the MinGW-w64 compiler, Wine, GoogleTest's sources, the Qt host tools, NSIS for
# the setup program, and the X server without a screen and the screen grabber with which the
# window program is seen running under Wine, and what makes SQLite's single-file form from
# Debian's sources (scripts/build-sqlite-mingw.sh).
# Needs root for apt-get (run as root, or have sudo).
set -euo pipefail

packages=(
    cmake ninja-build xz-utils
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-tools
    wine wine64
    googletest
    qt6-base-dev-tools
    nsis
    xvfb xauth x11-utils imagemagick
    dpkg-dev gcc make tcl
)

exec "$(dirname "$0")/apt-install-missing.sh" "${packages[@]}"

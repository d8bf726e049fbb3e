#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the program need, if any are missing.
# Needs root for apt-get (run as root, or have sudo).
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config ccache
    qt6-base-dev libgl-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    libudev-dev
    libfuse3-dev fuse3
    libsqlite3-dev libpq-dev
    # the record tests and benchmarks start a PostgreSQL server of their own
    postgresql
    clang libclang-rt-dev clang-format clang-tidy
    fonts-dejavu-core
    appstream dpkg-dev file lintian
)

exec "$(dirname "$0")/apt-install-missing.sh" "${packages[@]}"

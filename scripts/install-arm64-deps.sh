#!/usr/bin/env bash
# Installs the Debian packages the arm64 cross-build, its tests under user-mode emulation and
# its package need, if any are missing: the aarch64 cross compiler, qemu-user, and the arm64
# development packages (Qt 6, udev, FUSE, GoogleTest) installed beside the amd64 ones through
# Debian's multiarch, so that the arm64 libraries live in /usr/lib/aarch64-linux-gnu and the
# emulator and dpkg-shlibdeps find them without a root of their own.
# Needs root for dpkg and apt-get (run as root, or have sudo).
set -euo pipefail

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
if ! dpkg --print-foreign-architectures | grep -qx arm64; then
    echo "Adding the arm64 architecture to dpkg"
    "${sudo[@]}" dpkg --add-architecture arm64
    # The package lists of the new architecture are fetched by the install below.
fi

packages=(
    cmake ninja-build dpkg-dev file lintian
    g++-aarch64-linux-gnu
    qemu-user
    qt6-base-dev-tools
    qt6-base-dev:arm64 libgl-dev:arm64
    libgtest-dev:arm64 libgmock-dev:arm64
    libudev-dev:arm64
    libfuse3-dev:arm64 fuse3
    libsqlite3-dev:arm64
    pkgconf:arm64
    fonts-dejavu-core
)

exec "$(dirname "$0")/apt-install-missing.sh" "${packages[@]}"

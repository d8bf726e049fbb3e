#!/usr/bin/env bash
# Builds the arm64 port (scripts/build-arm64.sh) and runs its tests under qemu-user, the
# emulator running each arm64 test program on this machine with the arm64 libraries: every test
# case, each on its own as in the native build, then quillon-cli against emulated adapters as a
# user would start it. Tests that need the hidraw ioctls skip themselves, saying why: qemu-user
# does not translate them. Extra arguments go to ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build-arm64.sh

ctest --test-dir build-arm64 --output-on-failure --timeout 300 -j "${QUILLON_JOBS:-2}" "$@"

root=$(sed -n 's/^QUILLON_ARM64_ROOT:PATH=//p' build-arm64/CMakeCache.txt)
listed=$(qemu-aarch64 -L "${root:-/}" build-arm64/cli/quillon-cli --emulate list)
echo "$listed"
case "$listed" in
    *"169b:0110"*writable*) ;;
    *) echo "quillon-cli --emulate list (arm64, emulated) did not list the emulated adapter" >&2; exit 1 ;;
esac

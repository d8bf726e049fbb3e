#!/usr/bin/env bash
# Builds the Windows port (scripts/build-windows.sh) and runs its tests under Wine: every test
# program of the build (with quillon-cli.exe and quillon-utility.exe end to end through Wine's
# HID stack, the window program on an X server of its own), then
# quillon-cli.exe against emulated adapters as a user would start it.
# Extra arguments go to ctest.
set -euo pipefail
cd "$(dirname "$0")/.."

# The end-to-end test through Wine's own HID stack is driven by a Linux program (it serves the
# adapter as a hidraw node through FUSE), built in the Linux build folder.
scripts/install-deps.sh
[ -f build/CMakeCache.txt ] || cmake --preset build
cmake --build build --target quillon_wine_e2e_test
scripts/build-windows.sh -DQUILLON_WINE_E2E_DRIVER="$PWD/build/cli/tests/quillon_wine_e2e_test"

. cmake/wine-env.sh
# The prefix the build's tests run in (cmake/WindowsBuild.cmake), so that the session started
# here serves them.
WINEPREFIX=$(sed -n 's/^QUILLON_WINE_PREFIX:PATH=//p' build-windows/CMakeCache.txt)
export WINEPREFIX
# One Wine session for the whole run, its services started with their output elsewhere (they
# outlive the program that starts them): each test program then starts in a fraction of a second.
wineserver -p 60 2>/dev/null || true  # one already up serves as well
wine cmd /c exit >/dev/null 2>&1 </dev/null

ctest --test-dir build-windows --output-on-failure --timeout 600 "$@"

listed=$(wine build-windows/bin/quillon-cli.exe --emulate list)
echo "$listed"
case "$listed" in
    *"169b:0110"*writable*) ;;
    *) echo "quillon-cli.exe --emulate list did not list the emulated adapter" >&2; exit 1 ;;
esac

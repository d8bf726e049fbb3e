#!/usr/bin/env bash
# Renders the README's screenshots of the main window and the info window, with an emulated
# adapter, and of the station window with eight emulated adapters in mixed states, into
# docs/screenshots/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset build
cmake --build build --target quillon-screenshots quillon-station-screenshot
build/app/quillon-screenshots docs/screenshots
build/station/quillon-station-screenshot docs/screenshots

#!/usr/bin/env bash
# Renders the README's screenshots of the main window and the info window, with an emulated
# adapter, into docs/screenshots/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build --target quillon-screenshots
build/app/quillon-screenshots docs/screenshots

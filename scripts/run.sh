#!/usr/bin/env bash
# Builds the program and starts it with one emulated adapter attached (beside any real ones),
# so that it can be tried without hardware. QUILLON_EMULATE=0 scripts/run.sh starts it without.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset build
cmake --build build --target quillon-utility
QUILLON_EMULATE="${QUILLON_EMULATE:-1}" exec build/app/quillon-utility "$@"

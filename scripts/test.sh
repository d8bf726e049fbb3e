#!/usr/bin/env bash
# Builds the program and every test, then runs all tests.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset build
cmake --build build
ctest --test-dir build --output-on-failure --timeout 600 "$@"

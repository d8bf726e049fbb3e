#!/usr/bin/env bash
# Cross-builds the arm64 (aarch64) Linux port into build-arm64/: both programs and every test,
# with Debian's aarch64 cross compiler against the arm64 multiarch development packages.
# Optimised as Debian builds its packages (-O2), without debug information: the tests run under
# emulation and the package carries none anyway. Extra arguments go to the CMake configure step.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-arm64-deps.sh

export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD}
preset_args=()
[ -z "${QUILLON_BUILD_TYPE:-}" ] || preset_args+=(-DCMAKE_BUILD_TYPE="$QUILLON_BUILD_TYPE")
cmake --preset build-arm64 "${preset_args[@]}" "$@"
cmake --build build-arm64 -j "${QUILLON_JOBS:-2}"

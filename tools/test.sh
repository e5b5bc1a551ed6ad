#!/usr/bin/env bash
# Builds the suite and runs its whole test suite through ctest.
# BUILD_DIR and configure arguments as for tools/build.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/build.sh "$@"
cd "${BUILD_DIR:-build}"
ctest --output-on-failure -j"$(nproc)"

#!/usr/bin/env bash
# Builds the suite and runs its whole test suite through ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/build.sh
cd build
ctest --output-on-failure -j"$(nproc)"

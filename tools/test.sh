#!/usr/bin/env bash
# Builds the suite with its tests and benchmarks and runs the whole test
# suite through ctest. BUILD_DIR and configure arguments as for
# tools/build.sh; arguments given here come after the two options below, so
# -DSUITE_BENCH=OFF leaves the benchmarks out.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/build.sh -DBUILD_TESTING=ON -DSUITE_BENCH=ON "$@"
cd "${BUILD_DIR:-build}"
ctest --output-on-failure -j"$(nproc)"

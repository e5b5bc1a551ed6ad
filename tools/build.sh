#!/usr/bin/env bash
# Configures and builds the suite (programs in build/bin). BUILD_DIR names
# another build folder; extra arguments go to the CMake configure step.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${BUILD_DIR:-build}
cmake -S . -B "$dir" "$@" >/dev/null
cmake --build "$dir" -j"$(nproc)"

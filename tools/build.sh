#!/usr/bin/env bash
# Configures and builds the suite into build/ (programs in build/bin).
# Extra arguments go to the CMake configure step.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build "$@" >/dev/null
cmake --build build -j"$(nproc)"

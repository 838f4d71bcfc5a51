#!/usr/bin/env bash
# Builds everything into build/ (or BUILD_DIR): libraries, programs and tests.
# Extra arguments go to CMake's configure step.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
build_dir=${BUILD_DIR:-build}
cmake -S . -B "$build_dir" -G Ninja "$@"
cmake --build "$build_dir" -j "${JOBS:-2}"

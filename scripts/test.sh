#!/usr/bin/env bash
# Builds everything and runs every test. Extra arguments go to CMake's configure step,
# e.g. scripts/test.sh -DTEVO_SANITIZE=address,undefined with BUILD_DIR=build-asan.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh "$@"
build_dir=${BUILD_DIR:-build}
ctest --test-dir "$build_dir" -j "${JOBS:-2}" --output-on-failure ${CTEST_ARGS:-}

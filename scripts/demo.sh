#!/usr/bin/env bash
# The main job: builds everything (scripts/build.sh) and runs the demo session, by default
# against the built-in KL-series analyzer emulator. Arguments go to the demo; try --help.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build}
BUILD_DIR="$build_dir" bash scripts/build.sh >&2
exec "$build_dir/bin/tevo-demo" "$@"

#!/usr/bin/env bash
# Soak test (not run in CI): builds tevo-soak and runs N driver sessions x M threads of
# mixed calls against the in-process emulator for a bounded time, failing when the
# process's memory or descriptor counts are not flat after the warm-up.
#
#   bash scripts/soak.sh [--sessions N] [--threads M] [--seconds S] ...   (see --help)
#
# BUILD_DIR (default build-soak) is the build folder. A new one is configured as a Release
# build without tests, so that the load is high and the figures are those of the shipped
# code; an existing one is used as it is configured. Each run uses a temporary system root.
# In an AddressSanitizer build, set ASAN_OPTIONS=quarantine_size_mb=0: the sanitizer's
# quarantine of freed memory otherwise shows as growth.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build-soak}
if [[ " $* " == *" --help "* || " $* " == *" -h "* ]] && [[ -x "$build_dir/bin/tevo-soak" ]]; then
  exec "$build_dir/bin/tevo-soak" --help
fi
bash scripts/install-deps.sh
if [[ ! -f "$build_dir/CMakeCache.txt" ]]; then
  cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTEVO_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build_dir" -j "${JOBS:-2}" --target tevo-soak
root=$(mktemp -d "${TMPDIR:-/tmp}/tevo-soak-root.XXXXXX")
trap 'rm -rf "$root"' EXIT
TEVO_SYSTEM_ROOT=$root "$build_dir/bin/tevo-soak" "$@"

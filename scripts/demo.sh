#!/usr/bin/env bash
# The main job: builds everything (scripts/build.sh), installs the package into a prefix of
# its own, registers the installed driver in the system root with the installed regsvr, and
# measures the spectrum of the built-in KL-series analyzer emulator with the installed
# `tevo measure`: the settings, a plot and the peak table on the terminal, the plot as an
# SVG file. Running it again rebuilds what changed, installs over the same prefix and
# registers again, which is harmless.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
    cat <<'TEXT'
Usage: bash scripts/demo.sh [--no-build] [TEVO MEASURE OPTIONS...]

Builds, installs into BUILD_DIR/demo-install (or DEMO_PREFIX), registers the installed
driver in the system root (TEVO_SYSTEM_ROOT, by default ~/.local/share/tevo/system) and
runs `tevo measure` against the built-in analyzer emulator, writing the plot to
BUILD_DIR/demo-spectrum.svg (or DEMO_SVG).

  --no-build   use what the build folder has (BUILD_DIR, default build)
  other options go to `tevo measure` after the demo's settings and win over them, e.g.
    --resource TCPIP::192.168.1.20::5025::SOCKET   measure a real analyzer
    --simulate                                     no instrument at all
    --center 2.4GHz --span 100MHz                  another frequency range
TEXT
}

build=1
measure_args=()
for arg in "$@"; do
    case $arg in
        --no-build) build=0 ;;
        -h | --help)
            usage
            exit 0
            ;;
        *) measure_args+=("$arg") ;;
    esac
done

build_dir=${BUILD_DIR:-build}
if ((build)); then
    BUILD_DIR="$build_dir" bash scripts/build.sh >&2
fi
build_dir=$(cd "$build_dir" && pwd)
prefix=${DEMO_PREFIX:-$build_dir/demo-install}
svg=${DEMO_SVG:-$build_dir/demo-spectrum.svg}

echo "Installing the package into $prefix" >&2
cmake --install "$build_dir" --prefix "$prefix" >/dev/null
prefix=$(cd "$prefix" && pwd)
"$prefix/bin/regsvr" /s "$prefix/lib/libtevo.so"
echo "Registered $prefix/lib/libtevo.so" >&2

# 50 MHz to 6 GHz shows six of the emulator's carriers; 1 MHz resolution bandwidth keeps
# them narrow and the noise low.
"$prefix/bin/tevo" measure --start 50MHz --stop 6GHz --rbw 1MHz --peaks 6 --svg "$svg" \
    "${measure_args[@]}"
echo "Open $svg to see the plot." >&2

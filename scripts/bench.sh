#!/usr/bin/env bash
# Builds the benchmarks in Release (BENCH_BUILD_DIR, default build-bench), runs them against
# one kl-emulator on loopback and prints one table of ratios measured in this run (with the
# absolute times for reference). The driver, the bare socket client and PyVISA-py all talk to
# that one emulator; the emulator's reply latency is part of both sides of every ratio.
#
#   BENCH_REPETITIONS  repetitions of each benchmark, interleaved at random (default 5)
#   BENCH_CALLS        calls per callgrind count (default 2000)
#   BENCH_OUT          folder for the raw reports (default: a temporary folder, removed)
#   JOBS               build jobs (default 2)
# Extra arguments go to CMake's configure step.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${BENCH_BUILD_DIR:-build-bench}
repetitions=${BENCH_REPETITIONS:-5}
calls=${BENCH_CALLS:-2000}

# callgrind counts the instructions of the driver's calls.
if ! command -v valgrind >/dev/null; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get install -y valgrind
fi

launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
# GCC 12 at -O3 reports false positives of these three in the standard library's inlined code.
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTEVO_BUILD_BENCHMARKS=ON \
    -DTEVO_BUILD_TESTS=OFF "-DCMAKE_CXX_FLAGS=-Wno-restrict -Wno-stringop-overflow -Wno-maybe-uninitialized" \
    "${launcher[@]}" "$@" >/dev/null
cmake --build "$build_dir" -j "${JOBS:-2}" --target tevo_benchmarks
bin=$build_dir/bin

if [ -n "${BENCH_OUT:-}" ]; then
    work=$BENCH_OUT
    mkdir -p "$work"
else
    work=$(mktemp -d "${TMPDIR:-/tmp}/tevo-bench.XXXXXX")
fi
emulator_pid=""
finish() {
    if [ -n "$emulator_pid" ]; then
        kill "$emulator_pid" 2>/dev/null || true
        wait "$emulator_pid" 2>/dev/null || true
    fi
    [ -n "${BENCH_OUT:-}" ] || rm -rf "$work"
}
trap finish EXIT

# The emulator, with the protocols it offers; it announces each port on a line of its own.
emulator_args=(--port 0 --idle-timeout 0)
announced=1
help=$("$bin/kl-emulator" --help)
for protocol in vxi11 hislip; do
    if grep -q -- "--$protocol-port" <<<"$help"; then
        emulator_args+=("--$protocol-port" 0)
        announced=$((announced + 1))
    fi
done
"$bin/kl-emulator" "${emulator_args[@]}" >"$work/emulator.out" 2>"$work/emulator.err" &
emulator_pid=$!
for _ in $(seq 100); do
    [ "$(grep -c ' on [0-9]' "$work/emulator.out" || true)" -ge "$announced" ] && break
    kill -0 "$emulator_pid" 2>/dev/null || break
    sleep 0.1
done
port_of() { sed -n "s/^$1 on \([0-9]*\)$/\1/p" "$work/emulator.out"; }
TEVO_BENCH_SOCKET_PORT=$(port_of listening)
if [ -z "$TEVO_BENCH_SOCKET_PORT" ]; then
    echo "bench.sh: kl-emulator did not start:" >&2
    cat "$work/emulator.err" >&2
    exit 1
fi
export TEVO_BENCH_SOCKET_PORT
TEVO_BENCH_VXI11_PORT=$(port_of vxi11)
TEVO_BENCH_HISLIP_PORT=$(port_of hislip)
export TEVO_BENCH_VXI11_PORT TEVO_BENCH_HISLIP_PORT

run_benchmark() {
    local program=$1 report=$2
    echo "running $program ($repetitions interleaved repetitions)" >&2
    "$bin/$program" --benchmark_repetitions="$repetitions" \
        --benchmark_enable_random_interleaving=true \
        --benchmark_report_aggregates_only=true \
        --benchmark_out="$work/$report" --benchmark_out_format=json >"$work/$report.txt"
}
run_benchmark tevo_instrument_io_bench instrument_io.json
echo "running PyVISA-py (/usr/bin/python3 bench/pyvisa_fetch.py)" >&2
if ! /usr/bin/python3 bench/pyvisa_fetch.py "$TEVO_BENCH_SOCKET_PORT" "$repetitions" \
    >"$work/pyvisa.json"; then
    echo "bench.sh: the PyVISA-py comparison failed; its column stays empty" >&2
    rm -f "$work/pyvisa.json"
fi
run_benchmark tevo_call_overhead_bench call_overhead.json
run_benchmark tevo_registry_bench registry.json

# Instructions per call: callgrind counts only the loop of `calls` calls.
echo "running callgrind ($calls calls each)" >&2
counts=()
for call in SimulatedGet/get_Start SessionFrame/get_Cache; do
    for tracing in off on; do
        out=$work/callgrind.$(tr / _ <<<"$call").$tracing
        valgrind --tool=callgrind --instr-atstart=no --callgrind-out-file="$out" \
            "$bin/tevo_call_cost" "$call" "$tracing" "$calls" 2>"$out.log"
        total=$(sed -n 's/^totals: *\([0-9]*\).*/\1/p' "$out")
        counts+=("\"$call/tracing:$tracing\": $((total / calls))")
    done
done
(IFS=,; echo "{${counts[*]}}") >"$work/callgrind.json"

echo
echo "Tevo benchmarks, $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) CPUs, $repetitions repetitions"
/usr/bin/python3 bench/ratio_table.py "$work"

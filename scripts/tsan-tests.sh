#!/usr/bin/env bash
# Builds the test programs that exercise threads with clang under ThreadSanitizer (into
# build-tsan, or BUILD_DIR) and runs their concurrency tests.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
build_dir=${BUILD_DIR:-build-tsan}
CC=clang CXX=clang++ cmake -S . -B "$build_dir" -G Ninja -DTEVO_SANITIZE=thread \
  -DCMAKE_BUILD_TYPE=Debug
cmake --build "$build_dir" -j "${JOBS:-2}" --target tevo_driver_test tevo_reliability_test \
  tevo_visa_emulator_test tevo_emulator_test
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
# The driver's object lock and call frame across threads (ObjectLock* also takes the
# nested-call and Initialize-with-Reset cases, CallFrame* the calls racing Close), and two
# threads using properties of one object at once, also late-bound through the bridge.
"$build_dir/bin/tevo_driver_test" --gtest_filter='ObjectLock*:CallFrame*:CallTracing.Concurrent*:InterfaceTable.TwoThreads*:LateBinding.TwoThreads*'
# The fault matrix's thread faults: LockObject contention with nested calls, two driver
# sessions on one emulator called from two threads at once, and a ReadY on a thread of its
# own that the instrument stops answering.
"$build_dir/bin/tevo_reliability_test" --gtest_filter='ThreadFaults.*:SessionFaults.InstrumentStopsAnsweringDuringReadY'
# The VISA sessions over SOCKET, VXI-11 and HiSLIP against the emulator (many threads on one
# session, time-outs, clears), the emulator's protocol gateways and their links.
"$build_dir/bin/tevo_visa_emulator_test"
"$build_dir/bin/tevo_emulator_test" --gtest_filter='Vxi11Gateway.*:InstrumentLink.*:SeveralClients.*'

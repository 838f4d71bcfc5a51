"""FetchY's peer: PyVISA with its pure-Python backend reading the same trace from the same
emulator with query_binary_values, as a PyVISA user would.

Usage: pyvisa_fetch.py PORT REPETITIONS

Puts the emulator in the state the C++ benchmarks use for their trace reads (single sweeps,
binary REAL,32 data, the given number of points, one finished sweep), then times
query_binary_values("TRAC? TRACE1") for 625 and 10001 points. Each repetition times a batch
of calls; the result is the median time per call over the repetitions. Prints one JSON
object: {"FetchY/625": seconds, "FetchY/10001": seconds}. Exits with 1 when PyVISA is
missing or a read fails.
"""

import json
import statistics
import sys
import time

VISA_TIMEOUT_MS = 10000
# A batch lasts at least this long, so that the clock's resolution does not matter.
BATCH_SECONDS = 0.2


def trace_state(points):
    """The same messages as TraceState() of bench/instrument_io_bench.cpp."""
    return ["INIT:CONT OFF", "FORM REAL,32", "SENS:SWE:TIME:AUTO OFF",
            "SENS:SWE:TIME %f" % 0.01, "SENS:SWE:POIN %d" % points]


def read_trace(analyzer):
    return analyzer.query_binary_values(
        "TRAC? TRACE1", datatype="f", is_big_endian=False, container=list)


def time_per_call(analyzer, points, repetitions):
    for message in trace_state(points):
        analyzer.write(message)
    if analyzer.query("INIT;*OPC?").strip() != "1":
        raise RuntimeError("the sweep did not complete")
    if len(read_trace(analyzer)) != points:
        raise RuntimeError("the trace does not have %d points" % points)
    per_call = []
    for _ in range(repetitions):
        calls = 0
        started = time.perf_counter()
        elapsed = 0.0
        while elapsed < BATCH_SECONDS:
            read_trace(analyzer)
            calls += 1
            elapsed = time.perf_counter() - started
        per_call.append(elapsed / calls)
    return statistics.median(per_call)


def main(arguments):
    if len(arguments) != 3:
        sys.stderr.write("usage: %s PORT REPETITIONS\n" % arguments[0])
        return 2
    try:
        import pyvisa
    except ImportError as error:
        sys.stderr.write("PyVISA is not available to %s (%s); install python3-pyvisa-py\n"
                         % (sys.executable, error))
        return 1
    port, repetitions = int(arguments[1]), int(arguments[2])
    manager = pyvisa.ResourceManager("@py")
    analyzer = manager.open_resource(
        "TCPIP::127.0.0.1::%d::SOCKET" % port,
        read_termination="\n", write_termination="\n", timeout=VISA_TIMEOUT_MS)
    try:
        results = {"FetchY/%d" % points: time_per_call(analyzer, points, repetitions)
                   for points in (625, 10001)}
    finally:
        analyzer.close()
        manager.close()
    print(json.dumps(results))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

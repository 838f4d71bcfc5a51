"""A third-party VISA client (PyVISA with its pure-Python backend) against kl-emulator.

Usage: pyvisa_client_test.py PATH_TO_KL_EMULATOR

Starts the emulator on a free port, reads its identity, then reads one frozen trace as
FORM REAL,32 binary blocks in both byte orders and as ASCII, and checks that all three agree
and look like an analyzer's levels. Exits with 0 when everything matches, 1 on any
mismatch or error. The emulator is stopped at the end whatever happens.
"""

import ctypes
import math
import os
import select
import signal
import subprocess
import sys
import time

POINTS = 625
STARTUP_LIMIT_S = 10.0
VISA_TIMEOUT_MS = 5000


class Mismatch(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Mismatch(message)


def import_pyvisa():
    try:
        import pyvisa  # noqa: F401
        import pyvisa_py  # noqa: F401
    except ImportError as error:
        sys.stderr.write(
            "FAIL: PyVISA with its Python backend is not available to %s (%s).\n"
            "Install the Debian package python3-pyvisa-py "
            "(sudo apt-get install -y python3-pyvisa-py, or scripts/install-deps.sh).\n"
            % (sys.executable, error))
        sys.exit(1)
    return pyvisa


def end_with_this_process():
    """Runs in the emulator's process before it starts: should this script be killed (a
    test time-out), the kernel stops the emulator too."""
    pr_set_pdeathsig = 1
    ctypes.CDLL(None).prctl(pr_set_pdeathsig, int(signal.SIGTERM))


def start_emulator(program, options=(), announcement="listening on "):
    """Starts kl-emulator on free ports, with further options; returns the process and the
    port it announces on the line that begins with `announcement`."""
    process = subprocess.Popen(
        [program, "--port", "0", *options, "--time-scale", "0"],
        stdout=subprocess.PIPE, stdin=subprocess.DEVNULL, preexec_fn=end_with_this_process)
    output = b""
    deadline = time.monotonic() + STARTUP_LIMIT_S
    while True:
        for line in output.decode("ascii", "replace").splitlines(keepends=True):
            if line.startswith(announcement) and line.endswith("\n"):
                return process, int(line[len(announcement):])
        left = deadline - time.monotonic()
        if left <= 0 or not select.select([process.stdout], [], [], left)[0]:
            break
        byte = os.read(process.stdout.fileno(), 1)
        if not byte:
            break
        output += byte
    stop_emulator(process)
    raise Mismatch("kl-emulator did not announce %r; it printed %r" % (announcement, output))


def stop_emulator(process):
    if process.poll() is None:
        process.send_signal(signal.SIGTERM)
        try:
            process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
    process.stdout.close()
    return process.returncode


def exercise(pyvisa, port):
    manager = pyvisa.ResourceManager("@py")
    try:
        analyzer = manager.open_resource(
            "TCPIP::127.0.0.1::%d::SOCKET" % port,
            read_termination="\n", write_termination="\n", timeout=VISA_TIMEOUT_MS)
        try:
            identity = analyzer.query("*IDN?").strip()
            fields = identity.split(",")
            check(len(fields) == 4 and fields[0] == "Valdacor" and fields[1] == "KLC",
                  "unexpected identity %r" % identity)

            # One sweep, then the trace stays as it is for the three reads below.
            analyzer.write("SENS:SWE:POIN %d;:INIT:CONT OFF" % POINTS)
            check(analyzer.query("INIT;*OPC?").strip() == "1", "the sweep did not complete")

            analyzer.write("FORM REAL,32")
            check(analyzer.query("FORM?").strip() == "REAL,32", "FORM REAL,32 did not take")
            # IEEE 488.2 sends REAL data most significant byte first; this analyzer sends
            # the least significant byte first unless FORM:BORD NORM asks otherwise.
            order = analyzer.query("FORM:BORD?").strip()
            check(order == "SWAP", "unexpected default byte order %r" % order)
            swapped = analyzer.query_binary_values(
                "TRAC? TRACE1", datatype="f", is_big_endian=False, container=list)

            analyzer.write("FORM:BORD NORM")
            normal = analyzer.query_binary_values(
                "TRAC? TRACE1", datatype="f", is_big_endian=True, container=list)

            analyzer.write("FORM ASC")
            ascii_values = analyzer.query_ascii_values("TRAC? TRACE1", container=list)
            analyzer.write("FORM:BORD SWAP")
            check(analyzer.query("*OPC?").strip() == "1", "the session did not go on")
        finally:
            analyzer.close()
    finally:
        manager.close()

    check(len(swapped) == POINTS, "%d points in the swapped trace, not %d"
          % (len(swapped), POINTS))
    check(normal == swapped, "the two byte orders give different values")
    check(len(ascii_values) == POINTS, "%d points in the ASCII trace" % len(ascii_values))
    for index, (binary, text) in enumerate(zip(swapped, ascii_values)):
        check(math.isfinite(binary) and -200.0 < binary < 30.0,
              "point %d is %r, not a displayable level in dBm" % (index, binary))
        check(abs(binary - text) <= 1e-3 * max(1.0, abs(binary)),
              "point %d is %r in binary but %r in ASCII" % (index, binary, text))
    check(max(swapped) - min(swapped) > 1.0, "the trace is flat: %r" % swapped[:5])
    return identity


def run_test(arguments, exercise, options=(), announcement="listening on "):
    """The whole test: starts the emulator, runs exercise(pyvisa, port), which returns the
    text to print on success, and stops the emulator whatever happens. The exit code."""
    if len(arguments) != 2:
        sys.stderr.write("usage: %s PATH_TO_KL_EMULATOR\n" % arguments[0])
        return 2
    pyvisa = import_pyvisa()
    try:
        process, port = start_emulator(arguments[1], options, announcement)
    except (OSError, Mismatch) as error:
        sys.stderr.write("FAIL: %s\n" % error)
        return 1
    failure = None
    try:
        passed = exercise(pyvisa, port)
    except Exception as error:  # noqa: BLE001 - any failure of the client fails the test
        failure = "%s: %s" % (type(error).__name__, error)
    finally:
        exit_code = stop_emulator(process)
    if failure is None and exit_code != 0:
        failure = "kl-emulator ended with exit code %s" % exit_code
    if failure is not None:
        sys.stderr.write("FAIL: %s\n" % failure)
        return 1
    print("PASS: " + passed)
    return 0


def main(arguments):
    def exercise_socket(pyvisa, port):
        identity = exercise(pyvisa, port)
        return "%s; %d-point trace read in both byte orders and as ASCII" % (identity, POINTS)
    return run_test(arguments, exercise_socket)


if __name__ == "__main__":
    sys.exit(main(sys.argv))

"""PyVISA with its pure-Python backend as an outside VXI-11 client of kl-emulator.

Usage: pyvisa_vxi11_test.py PATH_TO_KL_EMULATOR

Starts the emulator with VXI-11 served on a free port, opens TCPIP::127.0.0.1::inst0::INSTR,
reads the identity and one frozen trace as a FORM REAL,32 binary block (query_binary_values),
and checks it against the same trace read as ASCII. Exits with 0 when everything matches,
1 on any mismatch or error.

The backend finds the core channel through the portmapper on port 111 and has no way to be
given a port. The emulator registers nothing with the machine's portmapper (tests must not
need rpcbind, nor change it), so this script replaces the backend's portmapper look-up, in
its own process only, with one that answers the emulator's port. Everything after the
look-up (create_link, device_write/device_read with END, the abort channel's port) is the
backend's own code.
"""

import math
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from pyvisa_client_test import check, run_test  # noqa: E402

POINTS = 401
VISA_TIMEOUT_MS = 5000


def use_core_port(port):
    """Makes the backend's VXI-11 clients connect to port instead of asking the portmapper."""
    from pyvisa_py.protocols import rpc

    def connect_without_portmapper(self, host, prog, vers, open_timeout=5000):
        rpc.RawTCPClient.__init__(self, host, prog, vers, port, open_timeout)

    rpc.TCPClient.__init__ = connect_without_portmapper


def exercise(pyvisa):
    manager = pyvisa.ResourceManager("@py")
    try:
        # No terminations of PyVISA's own: VXI-11 marks each message's end with END.
        analyzer = manager.open_resource(
            "TCPIP::127.0.0.1::inst0::INSTR", read_termination=None, write_termination="",
            timeout=VISA_TIMEOUT_MS)
        try:
            identity = analyzer.query("*IDN?").strip()
            fields = identity.split(",")
            check(len(fields) == 4 and fields[0] == "Valdacor" and fields[1] == "KLC",
                  "unexpected identity %r" % identity)
            analyzer.write("SENS:SWE:POIN %d;:INIT:CONT OFF" % POINTS)
            check(analyzer.query("INIT;*OPC?").strip() == "1", "the sweep did not complete")
            analyzer.write("FORM REAL,32")
            binary = analyzer.query_binary_values(
                "TRAC? TRACE1", datatype="f", is_big_endian=False, container=list)
            analyzer.write("FORM ASC")
            ascii_values = analyzer.query_ascii_values("TRAC? TRACE1", container=list)
            check(analyzer.query("*OPC?").strip() == "1", "the session did not go on")
        finally:
            analyzer.close()
    finally:
        manager.close()

    check(len(binary) == POINTS, "%d points in the binary trace, not %d" % (len(binary), POINTS))
    check(len(ascii_values) == POINTS, "%d points in the ASCII trace" % len(ascii_values))
    for index, (value, text) in enumerate(zip(binary, ascii_values)):
        check(math.isfinite(value) and -200.0 < value < 30.0,
              "point %d is %r, not a displayable level in dBm" % (index, value))
        check(abs(value - text) <= 1e-3 * max(1.0, abs(value)),
              "point %d is %r in binary but %r in ASCII" % (index, value, text))
    return identity


def main(arguments):
    def exercise_vxi11(pyvisa, port):
        use_core_port(port)
        identity = exercise(pyvisa)
        return "%s over VXI-11; %d-point binary trace matches the ASCII one" % (identity, POINTS)
    return run_test(arguments, exercise_vxi11, ("--vxi11-port", "0"), "vxi11 on ")


if __name__ == "__main__":
    sys.exit(main(sys.argv))

"""tevo.emulator(): the package's KL-series analyzer emulator (the kl-emulator program) on a
free local port, for scripts, notebooks and tests."""

import ctypes
import os
import re
import select
import signal
import subprocess
import time
import weakref

from . import _install

_STARTUP_LIMIT_S = 10.0
_STOP_LIMIT_S = 10.0
_LISTENING = re.compile(r"listening on (\d+)")


def _end_with_parent():
    """Runs in the emulator's process before it starts: when the Python process dies, the
    kernel stops the emulator too."""
    pr_set_pdeathsig = 1
    ctypes.CDLL(None).prctl(pr_set_pdeathsig, int(signal.SIGTERM))


def _read_first_line(process, limit_s):
    """The first line the program prints, waiting at most limit_s seconds."""
    line = b""
    deadline = time.monotonic() + limit_s
    while not line.endswith(b"\n"):
        left = deadline - time.monotonic()
        if left <= 0 or not select.select([process.stdout], [], [], left)[0]:
            break
        byte = os.read(process.stdout.fileno(), 1)
        if not byte:
            break
        line += byte
    return line.decode("ascii", "replace").strip()


def _stop(process):
    if process.poll() is None:
        process.send_signal(signal.SIGTERM)
        try:
            process.wait(_STOP_LIMIT_S)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait(_STOP_LIMIT_S)
    if process.stdout is not None:
        process.stdout.close()


class Emulator:
    """A running emulator. `resource` is its VISA resource string; use it as a context
    manager, or call stop(), to end it (it also ends with the Python process)."""

    def __init__(self, model=None, time_scale=None, log=None, program=None, extra_args=()):
        program = program or os.environ.get("TEVO_KL_EMULATOR") or \
            _install.find_program("kl-emulator")
        if program is None:
            raise FileNotFoundError("kl-emulator was not found next to the tevo package "
                                    "nor on PATH (TEVO_KL_EMULATOR names it)")
        command = [program, "--port", "0"]
        if model is not None:
            command += ["--model", str(model)]
        if time_scale is not None:
            command += ["--time-scale", repr(float(time_scale))]
        if log is not None:
            command += ["--log", os.fspath(log)]
        command += list(extra_args)
        self.process = subprocess.Popen(command, stdout=subprocess.PIPE,
                                        stdin=subprocess.DEVNULL,
                                        preexec_fn=_end_with_parent)
        self._finalizer = weakref.finalize(self, _stop, self.process)
        line = _read_first_line(self.process, _STARTUP_LIMIT_S)
        match = _LISTENING.search(line)
        if match is None:
            self.stop()
            raise RuntimeError("kl-emulator did not start: its first line was %r (exit code %s)"
                               % (line, self.process.returncode))
        self.port = int(match.group(1))
        self.resource = "TCPIP0::127.0.0.1::%d::SOCKET" % self.port
        self.log = log

    def stop(self):
        """Stops the emulator (SIGTERM) and waits for it; harmless when stopped."""
        self._finalizer()

    @property
    def running(self):
        return self.process.poll() is None

    def __enter__(self):
        return self

    def __exit__(self, kind, error, trace):
        self.stop()
        return False

    def __repr__(self):
        return "<tevo emulator %s%s>" % (self.resource, "" if self.running else " (stopped)")


def emulator(model=None, time_scale=None, log=None, program=None, extra_args=()):
    """Starts the built-in analyzer emulator on a free local port and returns it:

        with tevo.emulator() as analyzer:
            with tevo.Driver().session(analyzer.resource) as drv:
                ...

    model        KLA, KLBR, KLC (default), KLD or KLF
    time_scale   sweeps take this many times their nominal time (0: instant)
    log          a file that receives every message and reply
    """
    return Emulator(model=model, time_scale=time_scale, log=log, program=program,
                    extra_args=extra_args)

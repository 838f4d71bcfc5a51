"""The Tevo driver for the KL-series spectrum analyzers, from Python.

    import tevo
    with tevo.emulator() as analyzer:
        with tevo.Driver().session(analyzer.resource) as drv:
            drv.Frequency.Start = 1e9
            amplitudes = drv.Traces.Item("Trace1").ReadY(1000)   # numpy float64 array

The driver is created by its ProgID through the platform's COM runtime, so it must be
registered in the system root first (PREFIX/bin/regsvr PREFIX/lib/libtevo.so). Every
property and method of its interfaces is reached by name through IDispatch; dir() lists
them and help() shows their help strings. Enumerations are IntEnum classes of this module
(tevo.TevoDetectorTypeEnum.MaxPeak). Failures raise DriverError; an I/O time-out raises
TimeoutError, a DriverError.
"""

from . import _enums
from . import _tevo
from ._driver import Driver, Session
from ._emulator import Emulator, emulator
from ._errors import DriverError, NotRegisteredError, TimeoutError  # noqa: A004

__all__ = ["Driver", "DriverError", "Emulator", "NotRegisteredError", "Session",
           "TimeoutError", "emulator", "enumerations"]


def enumerations():
    """Every enumeration of the driver's type libraries: {name: IntEnum class}."""
    _load_enumerations()
    return _enums.all_classes()


def _load_enumerations():
    if not _enums.libraries_loaded():
        Driver()  # creating the driver reads its type libraries


def __getattr__(name):
    # Enumeration classes are made from the type library on first use.
    if name.endswith("Enum") and not name.startswith("_"):
        found = _enums.find(name)
        if found is None:
            _load_enumerations()
            found = _enums.find(name)
        if found is not None:
            return found
    raise AttributeError("module 'tevo' has no attribute %r" % name)


def _live_objects():
    """Driver objects this process holds through the package right now."""
    return _tevo.live_objects()


def _server_state(prog_id="Tevo.Tevo"):
    """The registered library of the class, whether it is loaded, and what its
    DllCanUnloadNow says (0: S_OK, may unload; 1: S_FALSE, objects alive)."""
    return _tevo.server_state(prog_id)


def _dll_can_unload_now(prog_id="Tevo.Tevo"):
    """True when the driver library holds no live object (DllCanUnloadNow gives S_OK) or
    is not loaded at all."""
    state = _tevo.server_state(prog_id)
    return not state["loaded"] or state["can_unload_now"] == 0

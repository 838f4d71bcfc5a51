"""Where the installed package finds its programs and the driver library.

Installed, the package sits in PREFIX/lib/python3/dist-packages/tevo beside PREFIX/lib
(libtevo.so) and PREFIX/bin (regsvr, kl-emulator); in a build tree it sits in
BUILD/python/tevo beside BUILD/lib and BUILD/bin.
"""

import os
import shutil
from pathlib import Path

_HERE = Path(__file__).resolve().parent


def _prefixes():
    """Candidate prefixes, the installed layout first."""
    if len(_HERE.parents) > 3:
        yield _HERE.parents[3]
    if len(_HERE.parents) > 1:
        yield _HERE.parents[1]


def find_program(name):
    """The path of one of the package's programs, or None."""
    for prefix in _prefixes():
        candidate = prefix / "bin" / name
        if candidate.is_file() and os.access(candidate, os.X_OK):
            return str(candidate)
    return shutil.which(name)


def driver_library():
    """The driver library of this installation (PREFIX/lib/libtevo.so), or None."""
    for prefix in _prefixes():
        for libdir in ("lib", "lib64"):
            candidate = prefix / libdir / "libtevo.so"
            if candidate.is_file():
                return str(candidate)
    return None


def system_root():
    """The system root the platform uses: TEVO_SYSTEM_ROOT, or its default."""
    root = os.environ.get("TEVO_SYSTEM_ROOT")
    if root:
        return root
    data = os.environ.get("XDG_DATA_HOME") or os.path.join(os.path.expanduser("~"), ".local",
                                                           "share")
    return os.path.join(data, "tevo", "system")


def registration_hint():
    """What to run so that the driver can be created."""
    regsvr = find_program("regsvr") or "PREFIX/bin/regsvr"
    library = driver_library() or "PREFIX/lib/libtevo.so"
    return ("The driver is not registered in the system root %s. Register it once with:\n"
            "    %s %s\n(TEVO_SYSTEM_ROOT chooses another system root.)"
            % (system_root(), regsvr, library))

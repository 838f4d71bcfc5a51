"""Fixtures of the tevo package tests: the installed SDK, a fresh system root with the
driver registered in it, and the emulator program as the instrument.

TEVO_SDK_PREFIX names the installed SDK (bin/regsvr, bin/kl-emulator, bin/tevo,
lib/libtevo.so, lib/python3/dist-packages/tevo); TEVO_PYTHON_PATH may name another folder
that holds the package.
"""

import os
import subprocess
import sys
import tempfile
from pathlib import Path

import pytest

SDK = Path(os.environ.get("TEVO_SDK_PREFIX", "")).resolve()
PACKAGE_PATH = os.environ.get("TEVO_PYTHON_PATH") or str(SDK / "lib" / "python3" /
                                                         "dist-packages")
EXAMPLES = Path(os.environ.get("TEVO_EXAMPLES_DIR",
                               Path(__file__).resolve().parents[2] / "examples"))
WORK = Path(tempfile.mkdtemp(prefix="tevo-python-tests-"))

# The platform reads the system root when the COM runtime is first used: set it before the
# package is imported anywhere.
os.environ["TEVO_SYSTEM_ROOT"] = str(WORK / "system")
os.environ.setdefault("TEVO_KL_EMULATOR", str(SDK / "bin" / "kl-emulator"))
# In a sanitizer build this interpreter runs with the sanitizer runtime preloaded; only the
# Python processes the tests start get it too, the SDK's programs carry their own.
PYTHON_PRELOAD = os.environ.get("TEVO_PYTHON_PRELOAD", "")
os.environ.pop("LD_PRELOAD", None)
sys.path.insert(0, PACKAGE_PATH)

SUBPROCESS_LIMIT_S = 120


def run(command, env=None, **kwargs):
    """Runs a program of the SDK or a Python script with a time limit, in the run's work
    folder (so that `python3 -c` finds no package in the current directory)."""
    kwargs.setdefault("cwd", str(WORK))
    return subprocess.run(command, capture_output=True, text=True, timeout=SUBPROCESS_LIMIT_S,
                          env=env, **kwargs)


def python_environment(**extra):
    """The environment of a Python subprocess that uses the package in this test's
    system root."""
    env = dict(os.environ)
    env["PYTHONPATH"] = os.pathsep.join(
        [PACKAGE_PATH] + ([env["PYTHONPATH"]] if env.get("PYTHONPATH") else []))
    if PYTHON_PRELOAD:
        env["LD_PRELOAD"] = PYTHON_PRELOAD
    env.update(extra)
    return env


@pytest.fixture(scope="session", autouse=True)
def registered_driver():
    """The installed driver registered in this run's fresh system root, as a user does it."""
    if not (SDK / "bin" / "regsvr").is_file():
        pytest.fail("TEVO_SDK_PREFIX does not name an installed SDK: %s" % SDK)
    import tevo
    assert Path(tevo.__file__).resolve().is_relative_to(Path(PACKAGE_PATH).resolve()), \
        "the package under test is not the one in %s: %s" % (PACKAGE_PATH, tevo.__file__)
    result = run([str(SDK / "bin" / "regsvr"), "/s", str(SDK / "lib" / "libtevo.so")])
    assert result.returncode == 0, result.stderr
    return SDK / "lib" / "libtevo.so"


@pytest.fixture
def analyzer(tmp_path):
    """The emulator with instant sweeps, logging every message to tmp_path/emulator.log."""
    import tevo
    with tevo.emulator(time_scale=0, log=tmp_path / "emulator.log") as running:
        yield running


@pytest.fixture
def drv(analyzer):
    """A driver session on the emulator, closed at the end."""
    import tevo
    with tevo.Driver().session(analyzer.resource) as session:
        yield session


def received(analyzer):
    """The messages the emulator received so far, in order."""
    lines = Path(analyzer.log).read_text(encoding="utf-8", errors="replace").splitlines()
    return [line.split("<< ", 1)[1] for line in lines if "<< " in line]

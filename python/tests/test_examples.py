"""The examples run as users run them, against the built-in emulator."""

import importlib.util

from conftest import EXAMPLES, PYTHON_PRELOAD, python_environment, run

# With a preloaded sanitizer runtime the example's interpreter drops it from its
# environment before it starts the emulator program, which carries its own.
UNPRELOADED_RUNNER = ("import os, runpy, sys\n"
                      "os.environ.pop('LD_PRELOAD', None)\n"
                      "sys.argv = sys.argv[1:]\n"
                      "runpy.run_path(sys.argv[0], run_name='__main__')\n")


def run_example(name, *arguments, **environment):
    command = ["/usr/bin/python3", str(EXAMPLES / name), *arguments]
    if PYTHON_PRELOAD:
        command[1:1] = ["-c", UNPRELOADED_RUNNER]
    result = run(command, env=python_environment(**environment))
    assert result.returncode == 0, result.stdout + result.stderr
    return result.stdout


def test_measure_plot_saves_a_plot_or_prints_the_table(tmp_path):
    plot = tmp_path / "spectrum.png"
    output = run_example("measure_plot.py", "--output", str(plot))
    assert "Peak frequency" in output
    if importlib.util.find_spec("matplotlib") is not None:
        assert plot.stat().st_size > 0
        assert "Plot saved to %s" % plot in output
    else:
        assert "Frequency (Hz)" in output and not plot.exists()


def test_measure_plot_without_matplotlib_prints_the_table(tmp_path):
    # A matplotlib that cannot be imported, first on the path.
    blocker = tmp_path / "blocker"
    blocker.mkdir()
    (blocker / "matplotlib.py").write_text("raise ImportError('hidden for this test')\n")
    plot = tmp_path / "spectrum.png"
    env = python_environment()
    output = run_example("measure_plot.py", "--output", str(plot),
                         PYTHONPATH=str(blocker) + ":" + env["PYTHONPATH"])
    rows = [line for line in output.splitlines() if line[:1].isdigit()]
    assert len(rows) >= 10
    assert "Frequency (Hz)" in output
    assert not plot.exists()


def test_settings_sweep_prints_one_row_per_setting():
    output = run_example("settings_sweep.py")
    rows = [line.split() for line in output.splitlines() if line[:1].isdigit()]
    assert len(rows) == 4
    rbw = [float(row[0]) for row in rows]
    assert rbw == sorted(rbw, reverse=True)
    noise = [float(row[2]) for row in rows]
    assert noise[-1] < noise[0]  # a narrower resolution bandwidth lowers the noise floor

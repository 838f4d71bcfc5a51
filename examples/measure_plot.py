#!/usr/bin/env python3
"""Measures a spectrum with the Tevo driver and saves it as a plot.

    python3 measure_plot.py [--resource TCPIP::192.168.1.20::5025::SOCKET] [--output FILE]

Without --resource it measures the built-in analyzer emulator. The plot goes to FILE
(spectrum.png by default) when matplotlib is installed; otherwise the trace is printed as a
table. The driver must be registered: PREFIX/bin/regsvr PREFIX/lib/libtevo.so.
"""

import argparse
import contextlib

import numpy as np

import tevo

TABLE_ROWS = 20


def measure(resource, start, stop, rbw):
    """Frequencies and amplitudes of one sweep of Trace1, and the reference level."""
    with tevo.Driver().session(resource) as drv:
        drv.Frequency.ConfigureStartStop(start, stop)
        drv.SweepCoupling.ResolutionBandwidth = rbw
        amplitudes = drv.Traces.Item("Trace1").ReadY(5000)
        frequencies = np.linspace(drv.Frequency.Start, drv.Frequency.Stop, len(amplitudes))
        return frequencies, amplitudes, drv.Level.Reference


def save_plot(path, frequencies, amplitudes, reference):
    import matplotlib
    matplotlib.use("Agg")
    from matplotlib import pyplot

    figure, axes = pyplot.subplots(figsize=(10, 5))
    axes.plot(frequencies / 1e9, amplitudes, linewidth=0.8)
    axes.set_xlabel("Frequency (GHz)")
    axes.set_ylabel("Amplitude (dBm)")
    axes.set_ylim(reference - 100, reference + 5)
    axes.grid(True, alpha=0.3)
    figure.savefig(path, dpi=100)
    pyplot.close(figure)


def print_table(frequencies, amplitudes):
    print("%-16s %s" % ("Frequency (Hz)", "Amplitude (dBm)"))
    step = max(1, len(amplitudes) // TABLE_ROWS)
    for index in range(0, len(amplitudes), step):
        print("%-16.0f %.2f" % (frequencies[index], amplitudes[index]))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--resource", help="VISA resource of the analyzer")
    parser.add_argument("--output", default="spectrum.png", help="the plot file")
    parser.add_argument("--start", type=float, default=50e6, help="start frequency in Hz")
    parser.add_argument("--stop", type=float, default=3e9, help="stop frequency in Hz")
    parser.add_argument("--rbw", type=float, default=1e6, help="resolution bandwidth in Hz")
    arguments = parser.parse_args()

    with contextlib.ExitStack() as stack:
        resource = arguments.resource
        if resource is None:
            resource = stack.enter_context(tevo.emulator()).resource
        frequencies, amplitudes, reference = measure(resource, arguments.start, arguments.stop,
                                                     arguments.rbw)

    peak = int(np.argmax(amplitudes))
    print("Peak frequency: %.0f Hz, amplitude %.2f dBm" % (frequencies[peak], amplitudes[peak]))
    try:
        save_plot(arguments.output, frequencies, amplitudes, reference)
    except ImportError:
        print_table(frequencies, amplitudes)
    else:
        print("Plot saved to %s" % arguments.output)


if __name__ == "__main__":
    main()

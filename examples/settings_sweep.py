#!/usr/bin/env python3
"""Steps the resolution bandwidth of an analyzer and shows what each setting gives.

    python3 settings_sweep.py [--resource TCPIP::192.168.1.20::5025::SOCKET]

For each resolution bandwidth it prints the setting the analyzer took, the coupled sweep
time, the noise floor (the median of the trace) and the highest level. Without --resource
it uses the built-in analyzer emulator.
"""

import argparse
import contextlib

import numpy as np

import tevo

BANDWIDTHS_HZ = (1e6, 300e3, 100e3, 30e3)


def sweep(resource):
    rows = []
    with tevo.Driver().session(resource) as drv:
        drv.Frequency.ConfigureCenterSpan(1e9, 20e6)
        drv.SweepCoupling.ResolutionBandwidthAuto = False
        drv.SweepCoupling.SweepTimeAuto = True
        trace = drv.Traces.Item("Trace1")
        for bandwidth in BANDWIDTHS_HZ:
            drv.SweepCoupling.ResolutionBandwidth = bandwidth
            amplitudes = trace.ReadY(10000)
            rows.append((drv.SweepCoupling.ResolutionBandwidth, drv.SweepCoupling.SweepTime,
                         float(np.median(amplitudes)), float(np.max(amplitudes))))
    return rows


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--resource", help="VISA resource of the analyzer")
    arguments = parser.parse_args()
    with contextlib.ExitStack() as stack:
        resource = arguments.resource
        if resource is None:
            resource = stack.enter_context(tevo.emulator()).resource
        rows = sweep(resource)
    print("%-10s %-14s %-18s %s" % ("RBW (Hz)", "Sweep time (s)", "Noise floor (dBm)",
                                    "Peak (dBm)"))
    for bandwidth, sweep_time, noise, peak in rows:
        print("%-10.0f %-14.4g %-18.2f %.2f" % (bandwidth, sweep_time, noise, peak))


if __name__ == "__main__":
    main()

"""Prints the ratio table of one scripts/bench.sh run from the files it wrote.

Usage: ratio_table.py WORK_DIR

WORK_DIR holds the Google Benchmark JSON reports (instrument_io.json, call_overhead.json,
registry.json), pyvisa.json (pyvisa_fetch.py's output, may be missing) and callgrind.json
({"<call>/tracing:<on|off>": instructions per call}). Times are the medians of the
interleaved repetitions.
"""

import json
import os
import sys

NOTE = ("The emulator's own reply latency is part of both sides of every ratio: driver and "
        "bare client talk to the same emulator process over loopback.")


def load(work, name):
    path = os.path.join(work, name)
    if not os.path.exists(path):
        return {}
    with open(path) as handle:
        return json.load(handle)


def medians(report):
    """{benchmark name: seconds} of the median aggregates, {name: error} of failed runs."""
    scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}
    times, errors, counters = {}, {}, {}
    for entry in report.get("benchmarks", []):
        name = entry.get("run_name", entry["name"]).replace("/real_time", "")
        if entry.get("error_occurred"):
            errors[name] = entry.get("error_message", "failed")
            continue
        if entry.get("run_type") == "aggregate" and entry.get("aggregate_name") != "median":
            continue
        times[name] = entry["real_time"] * scale[entry["time_unit"]]
        counters[name] = dict(entry, cpu_seconds=entry["cpu_time"] * scale[entry["time_unit"]])
    return times, errors, counters


def duration(seconds):
    if seconds is None:
        return "-"
    for unit, factor in (("s", 1.0), ("ms", 1e-3), ("us", 1e-6)):
        if seconds >= factor:
            return "%.3g %s" % (seconds / factor, unit)
    return "%.3g ns" % (seconds / 1e-9)


def ratio(numerator, denominator):
    if numerator is None or not denominator:
        return "-"
    return "%.3f" % (numerator / denominator)


def table(title, header, rows):
    widths = [max(len(str(cell)) for cell in column) for column in zip(header, *rows)]
    lines = [title, "  ".join(str(h).ljust(w) for h, w in zip(header, widths)).rstrip(),
             "  ".join("-" * w for w in widths)]
    for row in rows:
        lines.append("  ".join(str(c).ljust(w) for c, w in zip(row, widths)).rstrip())
    return "\n".join(lines)


IO_ROWS = [
    ("RoundTrip/get_Start", "ITevoFrequency::get_Start"),
    ("RoundTrip/put_Start", "ITevoFrequency::put_Start"),
    ("FetchY/625", "FetchY, 625 points"),
    ("FetchY/10001", "FetchY, 10001 points"),
    ("ReadY/625", "ReadY, 625 points"),
]


def io_table(work):
    times, errors, counters = medians(load(work, "instrument_io.json"))
    pyvisa = load(work, "pyvisa.json")
    transports = sorted({name.split("/driver:")[1] for name in list(times) + list(errors)
                         if "/driver:" in name},
                        key=lambda t: ("SOCKET", "VXI-11", "HiSLIP").index(t)
                        if t in ("SOCKET", "VXI-11", "HiSLIP") else 9)
    rows, notes = [], []
    for key, label in IO_ROWS:
        bare = times.get(key + "/bare:SOCKET")
        for transport in transports:
            name = "%s/driver:%s" % (key, transport)
            if name in errors:
                rows.append((label, transport, "failed", duration(bare), "-", "-", "-", "-"))
                notes.append("%s: %s" % (name, errors[name]))
                continue
            driver = times.get(name)
            if driver is None:
                continue
            peer = pyvisa.get(key)
            extra = ("PyVISA-py %s, driver/PyVISA %s" % (duration(peer), ratio(driver, peer))
                     if peer else "")
            if key.startswith("ReadY"):
                sweep = counters[name].get("sweep_s", 0.0)
                limit = sweep + (times.get("FetchY/625/bare:SOCKET") or 0.0)
                extra = "sweep %s; driver/(sweep + bare FetchY 625) %s" % (
                    duration(sweep), ratio(driver, limit))
            bare_entry = counters.get(key + "/bare:SOCKET", {})
            rows.append((label, transport, duration(driver), duration(bare),
                         ratio(driver, bare), "%+.1f %%" % ((driver / bare - 1) * 100)
                         if bare else "-",
                         ratio(counters[name]["cpu_seconds"], bare_entry.get("cpu_seconds")),
                         extra))
    text = table("Instrument I/O: driver -> VISA -> loopback -> emulator, against a bare "
                 "C++ client sending the same bytes over a plain socket (SOCKET)",
                 ("Operation", "Transport", "Driver", "Bare client", "Driver/bare",
                  "Added", "CPU driver/bare", "Peer / limit"), rows)
    text += ("\n  Times are wall-clock medians per call; CPU driver/bare compares the "
             "calling thread's CPU time per call.")
    for note in notes:
        text += "\n  " + note
    return text


def calls_table(work):
    times, errors, _ = medians(load(work, "call_overhead.json"))
    instructions = load(work, "callgrind.json")
    rows = []
    for call, label in (("SimulatedGet/get_Start", "simulated ITevoFrequency::get_Start"),
                        ("SessionFrame/get_Cache", "SessionFrame call (get_Cache)")):
        for tracing in ("off", "on"):
            name = "%s/tracing:%s" % (call, tracing)
            count = instructions.get(name)
            rows.append((label, tracing,
                         "failed" if name in errors else duration(times.get(name)),
                         "%.0f" % count if count is not None else "-"))
    return table("Driver call overhead without I/O (time: median; instructions: callgrind)",
                 ("Call", "Tracing", "Time per call", "Instructions per call"), rows)


def registry_table(work):
    times, errors, _ = medians(load(work, "registry.json"))
    rows = []
    for key, label in (("Registry/RegSetValueEx", "RegSetValueEx (in process)"),
                       ("Registry/reg_add", "reg add (a process per write)"),
                       ("ConfigStore/ivi_config_add", "ivi-config add (a process per add)")):
        cells = []
        for size in (10, 100, 1000):
            name = "%s/%d" % (key, size)
            cells.append("failed" if name in errors else duration(times.get(name)))
        small, large = times.get(key + "/10"), times.get(key + "/1000")
        rows.append((label, *cells, ratio(large, small)))
    return table("Registry and configuration-store writes by size of the store",
                 ("Write", "10 entries", "100 entries", "1000 entries", "1000/10"), rows)


def main(arguments):
    if len(arguments) != 2:
        sys.stderr.write("usage: %s WORK_DIR\n" % arguments[0])
        return 2
    work = arguments[1]
    print(NOTE)
    print()
    print(io_table(work))
    print()
    print(calls_table(work))
    print()
    print(registry_table(work))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

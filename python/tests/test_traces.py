"""Traces as numpy arrays, in/out parameters, and simulation without an instrument."""

import json
import math

import numpy as np
import pytest

import tevo
from conftest import SDK, received, run


def test_read_y_gives_float64_array_equal_to_what_the_cpp_client_reads(drv, analyzer):
    drv.Frequency.Start = 1e9
    drv.Frequency.Stop = 1.2e9
    trace = drv.Traces.Item("Trace1")
    amplitudes = trace.ReadY(1000)
    assert isinstance(amplitudes, np.ndarray)
    assert amplitudes.dtype == np.float64
    assert amplitudes.shape == (trace.Size,)
    # The tevo program (C++, late bound) reads the same frozen trace from the analyzer.
    result = run([str(SDK / "bin" / "tevo"), "call", "Traces.Item(Trace1).FetchY", "--json",
                  "--resource", analyzer.resource])
    assert result.returncode == 0, result.stderr
    cpp_values = np.array(json.loads(result.stdout)["outputs"]["Amplitude"], dtype=np.float64)
    np.testing.assert_array_equal(amplitudes, cpp_values)
    assert received(analyzer).count("TRAC? TRACE1") == 2


def test_fetch_y_fills_an_array_the_caller_passes(drv):
    trace = drv.Traces.Item("Trace1")
    measured = trace.ReadY(1000)
    # A caller's array goes in by reference (numpy to SAFEARRAY) and comes back filled.
    filled = trace.FetchY(np.full(len(measured), 7.0))
    np.testing.assert_array_equal(filled, measured)
    assert trace.FetchY(Amplitude=list(range(len(measured)))).tolist() == measured.tolist()
    with pytest.raises(ValueError, match="one-dimensional"):
        trace.FetchY(np.zeros((2, 2)))


def test_in_out_parameters_come_back_as_tuples(drv):
    drv.InstrumentIO.Write("BOGUS:CMD")
    assert drv.Utility.ErrorQuery() == (-113, "Undefined header")
    assert drv.Utility.ErrorQuery() == (0, "No error")
    drv.Marker.Enabled = True
    position, amplitude = drv.Marker.Query()
    assert isinstance(position, float) and isinstance(amplitude, float)
    assert position == drv.Marker.Position
    assert amplitude == pytest.approx(drv.Marker.Amplitude)
    assert drv.Utility.SelfTest() == (0, "Selftest passed")


def test_simulation_needs_no_instrument():
    # 192.0.2.1 (TEST-NET-1) has no analyzer; simulation never opens it.
    with tevo.Driver().session("TCPIP0::192.0.2.1::5025::SOCKET",
                               options="Simulate=true") as drv:
        assert drv.Initialized is True
        assert drv.DriverOperation.Simulate is True
        amplitudes = drv.Traces.Item("Trace1").ReadY(1000)
        assert amplitudes.dtype == np.float64 and amplitudes.ndim == 1 and len(amplitudes) > 0
        assert drv.Utility.ErrorQuery()[0] == 0
        assert not math.isnan(drv.Frequency.Start)
        assert drv.Identity.InstrumentModel != ""
    assert drv.Initialized is False

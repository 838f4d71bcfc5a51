"""Properties and methods reached by name through IDispatch, on the instrument-specific
(ITevo...) and the class-compliant (IIviSpecAn...) views, with enumerations as IntEnums."""

import enum

import numpy as np
import pytest

import tevo
from conftest import received
from tevo._members import DispatchObject


def test_instrument_specific_settings_round_trip_and_reach_the_wire(drv, analyzer):
    drv.Frequency.Start = 1e9
    drv.Frequency.Stop = 2.5e9
    drv.Level.Reference = -15.0
    drv.Acquisition.NumberOfSweeps = 7
    assert drv.Frequency.Start == 1e9
    assert drv.Frequency.Stop == 2.5e9
    assert drv.Level.Reference == -15.0
    assert drv.Acquisition.NumberOfSweeps == 7
    assert isinstance(drv.Acquisition.NumberOfSweeps, int)
    sent = received(analyzer)
    assert "SENS1:FREQ:STAR 1000000000.000000" in sent
    assert "SENS1:FREQ:STOP 2500000000.000000" in sent
    assert "DISP:WIND1:TRAC:Y:RLEV -15.000000" in sent


def test_class_compliant_view_shares_the_instrument_settings(drv, analyzer):
    drv.IviSpecAn.Frequency.Start = 3e8
    drv.IviSpecAn.Level.Reference = -25
    assert drv.Frequency.Start == 3e8
    assert drv.IviSpecAn.Frequency.Start == 3e8
    assert drv.Level.Reference == -25.0
    drv.Frequency.Stop = 9e8
    assert drv.IviSpecAn.Frequency.Stop == 9e8
    assert "SENS1:FREQ:STAR 300000000.000000" in received(analyzer)


def test_booleans_and_method_calls_with_arguments(drv, analyzer):
    drv.IviSpecAn.Frequency.ConfigureCenterSpan(1e9, 2e8)
    assert drv.Frequency.Start == pytest.approx(9e8)
    assert drv.Frequency.Stop == pytest.approx(1.1e9)
    drv.Acquisition.SweepModeContinuous = False
    assert drv.Acquisition.SweepModeContinuous is False
    drv.Acquisition.SweepModeContinuous = True
    assert drv.Acquisition.SweepModeContinuous is True


def test_enumerations_are_int_enums_from_the_type_library(drv, analyzer):
    detector = tevo.TevoDetectorTypeEnum
    assert issubclass(detector, enum.IntEnum)
    assert detector.MaxPeak is detector.TevoDetectorTypeMaxPeak
    drv.Acquisition.DetectorType = detector.Sample
    assert drv.Acquisition.DetectorType is detector.TevoDetectorTypeSample
    drv.Acquisition.DetectorType = "maxpeak"  # a member name, in any letter case
    assert drv.Acquisition.DetectorType is detector.MaxPeak
    assert "SENS1:DET MAX" in received(analyzer)
    # The class-compliant view has the class library's enumeration.
    class_compliant = drv.IviSpecAn.Acquisition.DetectorType
    assert type(class_compliant) is tevo.IviSpecAnDetectorTypeEnum
    assert class_compliant.name == "IviSpecAnDetectorTypeMaxPeak"
    with pytest.raises(ValueError, match="not a member of TevoDetectorTypeEnum"):
        drv.Acquisition.DetectorType = "Loudest"
    assert "TevoTraceTypeEnum" in tevo.enumerations()


def test_members_are_listed_and_documented_from_the_type_information(drv):
    names = dir(drv)
    for member in ("Frequency", "IviSpecAn", "Traces", "Initialize", "Close", "Utility"):
        assert member in names
    frequency = drv.Frequency
    assert {"Start", "Stop", "ConfigureCenterSpan"} <= set(dir(frequency))
    start = type(frequency).Start
    assert isinstance(start, property)
    assert "Specifies the left edge of frequency domain in Hertz." in start.__doc__
    read_y = drv.Traces.Item("Trace1").ReadY
    assert read_y.__doc__.startswith("ReadY(MaxTime: int")
    assert "returns the trace as amplitude array" in read_y.__doc__
    assert type(drv.Traces).__doc__ == "Instrument specific trace collection interface"


def test_names_follow_idispatch_rules_and_mistakes_are_refused(drv):
    assert drv.frequency.start == drv.Frequency.Start
    drv.frequency.START = 2e9
    assert drv.Frequency.Start == 2e9
    with pytest.raises(AttributeError, match="no member 'Begin'"):
        drv.Frequency.Begin
    with pytest.raises(AttributeError, match="no member 'Begin'"):
        drv.Frequency.Begin = 1.0
    with pytest.raises(AttributeError, match="read-only"):
        drv.Traces.Count = 3
    with pytest.raises(TypeError, match="needs a number"):
        drv.Frequency.Start = "1 GHz"
    with pytest.raises(TypeError, match="needs a whole number"):
        drv.Acquisition.NumberOfSweeps = 2.5
    with pytest.raises(TypeError, match="needs its argument"):
        drv.IviSpecAn.Frequency.ConfigureCenterSpan(1e9)


def test_optional_and_array_arguments(analyzer):
    drv = tevo.Driver()
    assert isinstance(drv, tevo.Driver)
    drv.Initialize(analyzer.resource, False, False)  # OptionString left out
    try:
        assert drv.Initialized is True
        assert drv.DriverOperation.IoResourceDescriptor == analyzer.resource
        # SAFEARRAY(double) and SAFEARRAY(long) arguments from lists and numpy arrays.
        drv.List.Configure([1e9, 2e9], np.array([-10.0, -20.0]), [10, 10], [0, 0],
                           np.array([1, 2], dtype=np.int64), [1e6, 1e6], [1e6, 1e6],
                           [0.1, 0.1], [0, 0])
        with pytest.raises(TypeError, match=r"RBWFilterType\[0\] needs a whole number"):
            drv.List.Configure([1e9], [-10], [10], [0], [1.5], [1e6], [1e6], [0.1], [0])
        with pytest.raises(ValueError, match="out of range"):
            drv.List.Configure([1e9], [-10], [10], [0], [2**40], [1e6], [1e6], [0.1], [0])
    finally:
        drv.Close()


def test_the_whole_object_tree_is_reachable_and_described():
    with tevo.Driver().session("TCPIP0::192.0.2.1::5025::SOCKET",
                               options="Simulate=true") as drv:
        class_traces = drv.IviSpecAn.Traces
        pending = [drv, drv.Traces.Item("Trace1"), class_traces.Item(class_traces.Name(1))]
        interfaces = {}
        while pending:
            obj = pending.pop()
            cls = type(obj)
            if cls.__name__ in interfaces:
                continue
            interfaces[cls.__name__] = cls
            for name in cls._lower_names.values():
                assert name in dir(obj)
                attribute = getattr(cls, name)
                assert attribute.__doc__, "%s.%s has no __doc__" % (cls.__name__, name)
                if isinstance(attribute, property) and " (write-only)" not in attribute.__doc__:
                    value = getattr(obj, name)
                    if isinstance(value, DispatchObject):
                        pending.append(value)
        del obj, value
    assert {"ITevo", "ITevoFrequency", "ITevoTrace", "ITevoMarkerFrequencyCounter",
            "IIviSpecAn", "IIviSpecAnTrace", "IIviSpecAnExternalMixerBias",
            "IIviDriverIdentity"} <= set(interfaces)
    assert len(interfaces) >= 39

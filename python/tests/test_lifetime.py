"""Many sessions opened and closed: every reference is given back, and the driver library
says it can be unloaded (DllCanUnloadNow S_OK) at the end."""

import gc

import tevo

SESSIONS = 20
S_OK = 0
S_FALSE = 1


def test_sessions_leave_no_live_objects(analyzer):
    gc.collect()
    for number in range(SESSIONS):
        with tevo.Driver().session(analyzer.resource) as drv:
            drv.Frequency.Start = 1e9 + number
            assert drv.Frequency.Start == 1e9 + number
            trace = drv.Traces.Item("Trace1")
            assert len(trace.ReadY(1000)) == trace.Size
            assert tevo._live_objects() >= 2  # the driver and the trace
        del drv, trace
    gc.collect()
    assert tevo._live_objects() == 0
    state = tevo._server_state()
    assert state["loaded"]
    assert state["can_unload_now"] == S_OK
    assert tevo._dll_can_unload_now()


def test_a_live_driver_keeps_the_library_in_use():
    gc.collect()
    drv = tevo.Driver()
    frequency = drv.Frequency
    del drv  # the Frequency object alone keeps the driver object alive
    gc.collect()
    assert tevo._live_objects() == 1
    assert tevo._server_state()["can_unload_now"] == S_FALSE
    assert not tevo._dll_can_unload_now()
    del frequency
    gc.collect()
    assert tevo._live_objects() == 0
    assert tevo._dll_can_unload_now()


def test_a_failed_call_gives_its_references_back():
    gc.collect()
    for _ in range(5):
        try:
            tevo.Driver().Traces.Item("Trace1").ReadY(1000)
        except tevo.DriverError:
            pass
    gc.collect()
    assert tevo._live_objects() == 0
    assert tevo._dll_can_unload_now()

"""Driver failures as DriverError (and TimeoutError), and a driver that is not registered."""

import os

import pytest

import tevo
from conftest import WORK, python_environment, run

E_IVI_NOT_INITIALIZED = 0x8004701D
E_IVI_BAD_OPTION_VALUE = 0x8004704C
E_IVI_CANNOT_RECOVER = 0x80047000


def test_driver_error_carries_hresult_code_and_full_description():
    drv = tevo.Driver()
    with pytest.raises(tevo.DriverError) as caught:
        drv.Frequency.Start
    error = caught.value
    assert not isinstance(error, tevo.TimeoutError)
    assert error.hresult == E_IVI_NOT_INITIALIZED
    assert error.code == E_IVI_NOT_INITIALIZED - (1 << 32)
    assert error.description == ("Tevo: Driver not initialized.\r\n\n"
                                 "A connection to the instrument has not been established.")
    assert error.member == "ITevoFrequency.Start"
    assert error.source.startswith("Tevo.Tevo")
    assert "Driver not initialized" in str(error) and "0x8004701D" in str(error)


def test_bad_option_value_of_initialize(analyzer):
    with pytest.raises(tevo.DriverError) as caught:
        tevo.Driver().Initialize(analyzer.resource, True, False, "DriverTimeout=abc")
    assert caught.value.hresult == E_IVI_BAD_OPTION_VALUE
    assert caught.value.description.endswith("Parameter not numeric for drivertimeout")


def test_instrument_time_out_is_a_timeout_error(tmp_path):
    # Real sweep times (time scale 1): a 20 s sweep outlasts a 300 ms I/O time-out.
    with tevo.emulator(time_scale=1) as slow:
        with tevo.Driver().session(slow.resource, options="DriverTimeout=300") as drv:
            drv.SweepCoupling.SweepTimeAuto = False
            drv.SweepCoupling.SweepTime = 20
            with pytest.raises(tevo.TimeoutError) as caught:
                drv.Traces.Item("Trace1").ReadY(1000)
    error = caught.value
    assert isinstance(error, tevo.DriverError)
    assert error.hresult == E_IVI_CANNOT_RECOVER
    assert "bfff0015" in error.description.lower()


def test_failure_classification():
    from tevo import _errors
    assert _errors.is_timeout(0xBFFF0015, "")
    assert _errors.is_timeout(E_IVI_CANNOT_RECOVER, "Tevo: Cannot recover.\r\n\nError Code: bfff0015")
    assert not _errors.is_timeout(E_IVI_CANNOT_RECOVER,
                                  "Tevo: Cannot recover.\r\n\nError Code: bfff0011")
    assert not _errors.is_timeout(E_IVI_CANNOT_RECOVER, "Error Code: 1bfff00150")
    assert not _errors.is_timeout(E_IVI_NOT_INITIALIZED, "bfff0015")


def test_unregistered_driver_says_what_to_run():
    script = ("import tevo\n"
              "try:\n"
              "    tevo.Driver()\n"
              "except tevo.NotRegisteredError as error:\n"
              "    print(hex(error.hresult)); print(error.description)\n")
    env = python_environment(TEVO_SYSTEM_ROOT=str(WORK / "unregistered-root"))
    result = run(["/usr/bin/python3", "-c", script], env=env)
    assert result.returncode == 0, result.stderr
    assert "not registered in the system root %s" % (WORK / "unregistered-root") in result.stdout
    installed = os.path.join(env["PYTHONPATH"].split(os.pathsep)[0], "..", "..", "..")
    assert "regsvr " in result.stdout and "libtevo.so" in result.stdout
    assert os.path.realpath(installed) in result.stdout

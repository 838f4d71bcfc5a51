// A failed COM call as the Python side sees it: the HRESULT, the error code the object
// reported (EXCEPINFO wCode, or its scode), the description and source of the error
// information, and the member that failed. The translator registered with pybind11 turns it
// into the exception class that tevo._errors chooses (DriverError or a subclass).
#pragma once

#include <exception>
#include <string>

#include "tevo/platform.h"

namespace tevo::python {

struct ComFailure : std::exception {
    HRESULT hresult = E_FAIL;
    LONG code = 0;
    std::string description;
    std::string source;
    std::string member;

    const char* what() const noexcept override { return description.c_str(); }
};

// The failure of IDispatch::Invoke: with DISP_E_EXCEPTION the details come from EXCEPINFO
// (its strings are freed here); otherwise from the thread's error object, or the system's
// text for the HRESULT.
ComFailure InvokeFailure(HRESULT hr, EXCEPINFO& exception, const std::string& member);

// A failure outside Invoke (activation, QueryInterface), described from the thread's
// error object or the system's text for the HRESULT.
ComFailure CallFailure(HRESULT hr, const std::string& what);

// Makes pybind11 raise ComFailure as tevo._errors.error_from_failure(...) says.
void RegisterFailureTranslator();

}  // namespace tevo::python

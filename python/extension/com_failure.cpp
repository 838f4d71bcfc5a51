#include "com_failure.h"

#include <pybind11/pybind11.h>

namespace py = pybind11;

namespace tevo::python {

namespace {

std::string SystemText(HRESULT hr) {
    char text[512] = {};
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, static_cast<DWORD>(hr), 0, text, sizeof(text), nullptr);
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r')) {
        --length;
    }
    return std::string(text, length);
}

// The description of the calling thread's error object, taken (and so cleared).
std::string TakeErrorDescription(std::string* source) {
    tevo::com::ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, &info) != S_OK || !info) {
        return {};
    }
    tevo::com::Bstr description;
    info->GetDescription(&description);
    if (source != nullptr) {
        tevo::com::Bstr text;
        info->GetSource(&text);
        *source = text.ToUtf8();
    }
    return description.ToUtf8();
}

}  // namespace

ComFailure InvokeFailure(HRESULT hr, EXCEPINFO& exception, const std::string& member) {
    ComFailure failure;
    failure.member = member;
    failure.hresult = hr;
    if (hr == DISP_E_EXCEPTION) {
        if (exception.pfnDeferredFillIn != nullptr) {
            exception.pfnDeferredFillIn(&exception);
        }
        failure.description = tevo::com::BstrToUtf8(exception.bstrDescription);
        failure.source = tevo::com::BstrToUtf8(exception.bstrSource);
        if (exception.scode != S_OK) {
            failure.hresult = exception.scode;
        }
        failure.code = exception.wCode != 0 ? static_cast<LONG>(exception.wCode)
                                            : static_cast<LONG>(failure.hresult);
    } else {
        failure.code = static_cast<LONG>(hr);
        failure.description = TakeErrorDescription(&failure.source);
    }
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrHelpFile);
    exception = EXCEPINFO{};
    if (failure.description.empty()) {
        failure.description = SystemText(failure.hresult);
    }
    return failure;
}

ComFailure CallFailure(HRESULT hr, const std::string& what) {
    ComFailure failure;
    failure.hresult = hr;
    failure.code = static_cast<LONG>(hr);
    failure.member = what;
    failure.description = TakeErrorDescription(&failure.source);
    if (failure.description.empty()) {
        failure.description = SystemText(hr);
    }
    return failure;
}

void RegisterFailureTranslator() {
    // pybind11 takes translators that receive the exception_ptr by value.
    // NOLINTNEXTLINE(performance-unnecessary-value-param)
    py::register_exception_translator([](std::exception_ptr pending) {
        try {
            if (pending) {
                std::rethrow_exception(pending);
            }
        } catch (const ComFailure& failure) {
            try {
                const py::object make =
                    py::module_::import("tevo._errors").attr("error_from_failure");
                const py::object error = make(static_cast<uint32_t>(failure.hresult), failure.code,
                                              failure.description, failure.source, failure.member);
                PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(error.ptr())), error.ptr());
            } catch (py::error_already_set& error) {
                error.restore();
            }
        }
    });
}

}  // namespace tevo::python

#include "session/error_reporting.h"

#include <string>

#include "session/driver_module.h"
#include "session/error_help_table.h"
#include "session/text_conversion.h"

namespace tevo::driver {

namespace {

// The message text from the module's message table (language 0: the default search
// order), CR LF kept. False when the module has no such message.
bool FetchMessageText(DWORD message_id, va_list* inserts, std::string& text) {
    char* buffer = nullptr;
    const DWORD flags = FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                        (inserts == nullptr ? FORMAT_MESSAGE_IGNORE_INSERTS : 0);
    const DWORD length = FormatMessageA(flags, DriverModule(), message_id, 0,
                                        reinterpret_cast<LPSTR>(&buffer), 0, inserts);
    if (length == 0 || buffer == nullptr) {
        return false;
    }
    text.assign(buffer, length);
    LocalFree(buffer);
    return true;
}

// The system's text for the last error (inserts ignored); empty when there is none.
std::string LastErrorText() {
    const DWORD error = GetLastError();
    char* buffer = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<LPSTR>(&buffer), 0, nullptr);
    std::string text;
    if (length != 0 && buffer != nullptr) {
        text.assign(buffer, length);
    }
    if (buffer != nullptr) {
        LocalFree(buffer);
    }
    return text;
}

// Hands a new error object to the calling thread. Help file and context only with a
// non-zero help context. Nothing is set when the object cannot be created.
void SetThreadError(const CLSID& clsid, const IID& iid, const std::string& description,
                    DWORD help_context) {
    tevo::com::ComPtr<ICreateErrorInfo> create;
    if (FAILED(CreateErrorInfo(&create))) {
        return;
    }
    create->SetGUID(iid);
    LPOLESTR prog_id = nullptr;
    if (SUCCEEDED(ProgIDFromCLSID(clsid, &prog_id)) && prog_id != nullptr) {
        create->SetSource(prog_id);
    }
    CoTaskMemFree(prog_id);
    if (help_context != 0) {
        create->SetHelpContext(help_context);
        std::wstring help_file = kErrorHelpFile;
        create->SetHelpFile(help_file.data());
    }
    std::wstring wide = AnsiToWide(description);
    create->SetDescription(wide.data());
    tevo::com::ComPtr<IErrorInfo> info;
    if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
        SetErrorInfo(0, info.Get());
    }
}

// The fallback when the message table has no text for the id: an internal-error
// description naming the id and the system's reason, IID GUID_NULL.
HRESULT ReportMissingMessage(const ErrorSource& source, DWORD message_id) {
    const std::string reason = LastErrorText();
    const std::string description = FormatTextF(
        "Internal Error: Unable to retrieve and format error message from message "
        "table.\nResource ID = %d\nLanguage ID = %d\nReason = '%s'",
        static_cast<int>(message_id), 0, reason.c_str());
    SetThreadError(source.clsid, GUID_NULL, description, 0);
    return DISP_E_EXCEPTION;
}

HRESULT Finish(const ErrorSource& source, DWORD message_id, const std::string& description) {
    const ErrorHelpRow* row = FindErrorHelpRow(message_id);
    const HRESULT hr = row != nullptr ? row->hresult : S_OK;
    SetThreadError(source.clsid, source.current_iid, description,
                   row != nullptr ? row->help_context : 0);
    return hr == S_OK ? DISP_E_EXCEPTION : hr;
}

}  // namespace

HRESULT ReportErrorV(const ErrorSource& source, LONG driver_code, const char* format,
                     va_list args) {
    try {
        const DWORD message_id = MapDriverCode(driver_code);
        const std::string details = format != nullptr ? FormatText(format, args) : std::string();
        std::string text;
        if (!FetchMessageText(message_id, nullptr, text)) {
            return ReportMissingMessage(source, message_id);
        }
        return Finish(source, message_id, text + "\n" + details);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT ReportError(const ErrorSource& source, LONG driver_code, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const HRESULT hr = ReportErrorV(source, driver_code, format, args);
    va_end(args);
    return hr;
}

HRESULT ReportMessageError(const ErrorSource& source, DWORD message_id, ...) {
    va_list inserts;
    va_start(inserts, message_id);
    HRESULT hr = E_OUTOFMEMORY;
    try {
        std::string text;
        if (!FetchMessageText(message_id, &inserts, text)) {
            hr = ReportMissingMessage(source, message_id);
        } else {
            hr = Finish(source, message_id, text);
        }
    } catch (...) {
        hr = E_OUTOFMEMORY;
    }
    va_end(inserts);
    return hr;
}

}  // namespace tevo::driver

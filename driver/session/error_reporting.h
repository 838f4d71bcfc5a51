// Error reporting of the driver: every failure becomes an HRESULT and a COM error object
// for the calling thread. The description is the message-table text (ending in CR LF), one
// LF and the details; the object carries the current interface IID of the reporting
// object and, as Source, the ProgID registered for the reporting class.
#pragma once

#include <cstdarg>

#include "tevo/platform.h"

namespace tevo::driver {

// Who reports: the class (for the Source ProgID) and the object's current interface.
struct ErrorSource {
    CLSID clsid;
    IID current_iid;
};

// Reports driver code `driver_code` (or a message id, see MapDriverCode) with printf-style
// details. Returns the message's HRESULT; DISP_E_EXCEPTION when that is 0 or the message
// has no row, or when the message text cannot be read (internal-error description then).
// Details of any length are reported whole.
HRESULT ReportError(const ErrorSource& source, LONG driver_code, const char* format, ...);
HRESULT ReportErrorV(const ErrorSource& source, LONG driver_code, const char* format, va_list args);

// Reports message `message_id` with the message text alone as description; the arguments
// are inserts for the message text.
HRESULT ReportMessageError(const ErrorSource& source, DWORD message_id, ...);

}  // namespace tevo::driver

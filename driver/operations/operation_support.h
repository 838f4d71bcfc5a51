// Helpers shared by the operations: the session's Simulate setting, the window suffix,
// null-pointer and invalid-value errors, new strings, and the answer of a calibration that
// is still owed.
#pragma once

#include <string>

#include "operations/operation_context.h"

namespace tevo::driver::operations {

// Reads Simulate through the object's own IIviDriverOperation (a full interface call).
// A failed read counts as not simulating, so the operation goes on to the instrument and
// reports what happens there.
bool Simulating(OperationContext& context);

// The window suffix ("1" or "2") of the active screen, read anew.
HRESULT WindowSuffix(OperationContext& context, std::wstring* suffix);

// Error 30022 "Method: <method>, Param: <parameter>".
HRESULT ReportNullPointer(const OperationContext& context, const char* method,
                          const char* parameter);
// Error 30008 "Value: <value>, Method: <method>, Param:<parameter>".
HRESULT ReportInvalidValue(const OperationContext& context, const char* value, const char* method,
                           const char* parameter);

// A new BSTR holding text; E_OUTOFMEMORY when it cannot be made.
HRESULT NewString(const std::wstring& text, BSTR* result);

// The text of a client's BSTR (a null BSTR is the empty text).
inline const wchar_t* TextOf(BSTR text) {
    return text != nullptr ? text : L"";
}

// When a calibration answer is still owed, reads it (at most 100 bytes, the session's I/O
// time-out) and then makes the instrument status check that the "*CAL?" write left out.
// A read that fails is reported as InstrumentIo reports I/O failures (device clear, error
// 30002). Every operation that reads a reply calls this before its exchange; the pending
// flag is cleared in any case, as after a failure the session has been cleared.
HRESULT ConsumePendingAnswer(OperationContext& context);

}  // namespace tevo::driver::operations

// The message formatter behind FormatMessage: inserts %1 to %99 with an optional
// !printf-format!, and the escapes %0 (end without a line break), %n (CR LF), %r (CR), %t
// (tab), %space, %., %! and %%. Internal to tevo_win.
//
// Inserts take their arguments from a va_list or from an array of DWORD_PTR. An insert
// with '*' for width or precision takes those from the arguments numbered from its own
// number on, and its value from the one after: "%1!*.*s!" reads width 1, precision 2 and
// string 3. Integer sizes follow Windows: default and "l" 32 bits, "ll" and "I64" 64 bits,
// "I", "z", "j" and "t" pointer-sized, "h" 16 bits. Floating-point conversions and %n are
// refused. A null string argument is shown as "(null)"; a precision bounds how far a
// string is read, so it need not be zero-terminated.
#pragma once

#include <cstdarg>
#include <string>
#include <string_view>

#include "tevo/win/types.h"

namespace tevo::win::detail {

struct FormatOptions {
    bool narrow_caller = false;   // the A function: plain %s and %c are narrow
    bool ignore_inserts = false;  // copy inserts unchanged
    // FORMAT_MESSAGE_MAX_WIDTH_MASK bits: 0 keeps the text's line breaks; any other value
    // turns them into spaces, and a value below 0xFF also wraps lines at that width.
    DWORD max_width = 0;
    const DWORD_PTR* array = nullptr;
    va_list* list = nullptr;
};

// Formats `text` into `out`; returns 0, or ERROR_INVALID_PARAMETER for a malformed insert,
// an unsupported conversion, or inserts without arguments.
DWORD FormatMessageText(std::wstring_view text, const FormatOptions& options, std::wstring& out);

}  // namespace tevo::win::detail

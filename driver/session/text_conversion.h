// Text helpers of the driver: narrow text is in the ANSI code page (UTF-8 here), interface
// text is UTF-16/wide, and every number is formatted and parsed in the "C" locale, whatever
// locale the client process has set.
#pragma once

#include <cstdarg>
#include <string>
#include <string_view>

#include "tevo/win/windows.h"

namespace tevo::driver {

// The "C" locale, created once for the life of the process.
_locale_t CLocale();

// printf-style formatting (Windows CRT rules: "%lx" takes a 32-bit value, a wide "%s" a
// wide string) of any length. An invalid format gives an empty text.
std::string FormatText(const char* format, va_list args);
std::string FormatTextF(const char* format, ...);
std::wstring FormatWide(const wchar_t* format, va_list args);

std::wstring AnsiToWide(std::string_view text);
std::string WideToAnsi(std::wstring_view text);
// BSTR helpers: a null BSTR is empty text.
std::string BstrToAnsi(BSTR text);
// A new BSTR of the text, or nullptr when out of memory.
BSTR AnsiToBstr(std::string_view text);

}  // namespace tevo::driver

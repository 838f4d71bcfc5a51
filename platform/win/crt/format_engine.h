// The printf engine behind the _l functions: expands a narrow or wide format by the
// Windows C runtime rules described in tevo/win/crt.h.
#pragma once

#include <clocale>
#include <cstdarg>

#include "output_sink.h"

namespace tevo::win::crt {

// Expands `format` with `args` into `out`, formatting numbers in `c_locale`. Returns false
// when the format is malformed or refused ("%n") or a number cannot be formatted; `out`
// then holds an unspecified part of the text. Reads `args` through a copy, so the caller's
// list is left as it was.
template <class Char>
bool FormatText(OutputSink<Char>& out, const Char* format, locale_t c_locale, va_list args);

extern template bool FormatText<char>(OutputSink<char>&, const char*, locale_t, va_list);
extern template bool FormatText<wchar_t>(OutputSink<wchar_t>&, const wchar_t*, locale_t, va_list);

}  // namespace tevo::win::crt

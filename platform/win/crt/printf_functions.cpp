// The _l printf functions with the buffer and return-value rules of the Windows C runtime.
#include <cerrno>
#include <climits>
#include <cstdarg>

#include "crt_locale.h"
#include "format_engine.h"
#include "tevo/win/crt.h"

namespace tevo::win::crt {
namespace {

template <class Char>
int FormatToBuffer(Char* buffer, size_t count, const Char* format, _locale_t locale, va_list args) {
    if (format == nullptr || (buffer == nullptr && count != 0)) {
        errno = EINVAL;
        return -1;
    }
    OutputSink<Char> out(buffer, count);
    const bool formatted = FormatText(out, format, CLocaleOf(locale), args);
    const size_t length = out.length();
    if (!formatted || length > static_cast<size_t>(INT_MAX)) {
        if (count > 0) {
            buffer[0] = Char{};  // never leave a partial text that looks complete
        }
        errno = EINVAL;
        return -1;
    }
    if (length < count) {
        buffer[length] = Char{};
        return static_cast<int>(length);
    }
    if (buffer == nullptr || length == count) {
        return static_cast<int>(length);  // a length query, or an exact fit without terminator
    }
    return -1;  // truncated to `count` characters, no terminator
}

}  // namespace
}  // namespace tevo::win::crt

using tevo::win::crt::FormatToBuffer;

extern "C" {

int _vsnwprintf_l(wchar_t* buffer, size_t count, const wchar_t* format, _locale_t locale,
                  va_list args) {
    return FormatToBuffer(buffer, count, format, locale, args);
}

int _snwprintf_l(wchar_t* buffer, size_t count, const wchar_t* format, _locale_t locale, ...) {
    va_list args;
    va_start(args, locale);
    const int result = FormatToBuffer(buffer, count, format, locale, args);
    va_end(args);
    return result;
}

int _vsnprintf_l(char* buffer, size_t count, const char* format, _locale_t locale, va_list args) {
    return FormatToBuffer(buffer, count, format, locale, args);
}

int _snprintf_l(char* buffer, size_t count, const char* format, _locale_t locale, ...) {
    va_list args;
    va_start(args, locale);
    const int result = FormatToBuffer(buffer, count, format, locale, args);
    va_end(args);
    return result;
}

int _vscwprintf_l(const wchar_t* format, _locale_t locale, va_list args) {
    return FormatToBuffer<wchar_t>(nullptr, 0, format, locale, args);
}

int _vscprintf_l(const char* format, _locale_t locale, va_list args) {
    return FormatToBuffer<char>(nullptr, 0, format, locale, args);
}

}  // extern "C"

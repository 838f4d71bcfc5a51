// Number parsing in the "C" locale: _strtod_l, _wcstod_l, _atol_l, _wtol_l.
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cwchar>

#include "crt_locale.h"
#include "tevo/win/crt.h"

namespace tevo::win::crt {
namespace {

template <class Char>
bool IsBlank(Char c) {
    return c == Char(' ') || (c >= Char('\t') && c <= Char('\r'));
}

// Leading blanks, an optional sign and decimal digits, saturated to the 32-bit range.
template <class Char>
LONG ParseLong(const Char* text) {
    if (text == nullptr) {
        errno = EINVAL;
        return 0;
    }
    while (IsBlank(*text)) {
        ++text;
    }
    bool negative = false;
    if (*text == Char('+') || *text == Char('-')) {
        negative = *text == Char('-');
        ++text;
    }
    constexpr long long kLimit = static_cast<long long>(INT32_MAX) + 1;  // |INT32_MIN|
    long long magnitude = 0;
    for (; *text >= Char('0') && *text <= Char('9'); ++text) {
        if (magnitude <= kLimit) {
            magnitude = magnitude * 10 + (*text - Char('0'));
        }
    }
    if (negative) {
        if (magnitude > kLimit) {
            errno = ERANGE;
            return INT32_MIN;
        }
        return static_cast<LONG>(-magnitude);
    }
    if (magnitude > INT32_MAX) {
        errno = ERANGE;
        return INT32_MAX;
    }
    return static_cast<LONG>(magnitude);
}

}  // namespace
}  // namespace tevo::win::crt

using tevo::win::crt::CLocaleOf;

extern "C" {

double _strtod_l(const char* str, char** end, _locale_t locale) {
    if (str == nullptr) {
        if (end != nullptr) {
            *end = nullptr;
        }
        errno = EINVAL;
        return 0.0;
    }
    return strtod_l(str, end, CLocaleOf(locale));
}

double _wcstod_l(const wchar_t* str, wchar_t** end, _locale_t locale) {
    if (str == nullptr) {
        if (end != nullptr) {
            *end = nullptr;
        }
        errno = EINVAL;
        return 0.0;
    }
    return wcstod_l(str, end, CLocaleOf(locale));
}

LONG _atol_l(const char* str, _locale_t /*locale*/) {
    return tevo::win::crt::ParseLong(str);
}

LONG _wtol_l(const wchar_t* str, _locale_t /*locale*/) {
    return tevo::win::crt::ParseLong(str);
}

}  // extern "C"

// C runtime functions with the semantics of the Windows C runtime that take an explicit
// locale: printf-style formatting into narrow and wide buffers, and number parsing.
//
// Whatever the process or thread locale is (a client may have called
// setlocale(LC_ALL, "de_DE.UTF-8")), these functions format and parse numbers in the "C"
// locale: a full stop is the decimal separator and nothing is grouped. They never change the
// locale of the calling thread or of the process as seen by the caller.
//
// Format strings follow the Windows rules, which differ from the C library of this platform:
//   - In the wide functions "%s" and "%c" take a wide string and a wide character, "%S" and
//     "%C" a narrow string and a narrow character; in the narrow functions it is the other
//     way round. "%hs"/"%hc" always take narrow, "%ls"/"%lc"/"%ws"/"%wc" always wide ones.
//     Narrow text is UTF-8 (the "ANSI code page") and is converted to or from wide text by
//     the platform's UTF-8 codec, never by the process locale. A null string argument
//     prints "(null)". The precision of a string counts units of the argument (bytes of a
//     narrow string, characters of a wide one); a UTF-8 sequence is never cut in half.
//   - The size prefix `l` with an integer conversion means the 32-bit Windows `long`
//     (int or unsigned here); `ll` and `I64` mean 64 bits, `I32` 32 bits, `I` and `z`
//     size_t, `j` intmax_t, `t` ptrdiff_t, `h` short and `hh` char. `L` is long double with
//     a floating-point conversion and is refused with an integer conversion.
//   - Flags (- + space # 0), width and precision, "*" for either (a negative "*" width
//     means left-justified, a negative "*" precision means none). As on Windows, the 0 flag
//     also pads strings and characters with zeros; it is ignored for integers with a
//     precision and for infinities and NaNs.
//   - Conversions d i u o x X c C s S f F e E g G a A p %. "%p" prints the pointer in
//     upper-case hexadecimal, zero-padded to 16 digits, without a prefix.
//   - Floating-point infinities and NaNs print as this platform's C library prints them
//     ("inf", "-inf", "nan", "-nan"; upper case for F, E, G and A); the Windows runtime
//     prints "inf" and "nan" as well. "%a" prints the shortest exact hexadecimal form
//     ("0x1.8p+1"), where the Windows runtime pads the fraction to 13 digits by default.
//   - "%n" is refused: the call fails and nothing is ever written through its pointer.
//     Any other malformed or unknown conversion fails too.
// A failed format (refused or malformed conversion, null format, a result longer than
// INT_MAX characters) returns -1, sets errno to EINVAL and leaves an empty string in the
// buffer when the buffer has room for one character.
//
// Locales. A _locale_t made by _create_locale is the "C" locale; a null _locale_t also
// means the "C" locale here (the Windows runtime would use the thread's current locale;
// this platform always formats and parses numbers in "C"). The category names are those
// of <clocale>, which this header includes; _create_locale also accepts the numeric
// category values of the Windows runtime (LC_ALL 0, LC_COLLATE 1, LC_CTYPE 2,
// LC_MONETARY 3, LC_NUMERIC 4, LC_TIME 5). Because every supported locale is the whole "C"
// locale, the category does not change the result, so _create_locale(LC_ALL, "C") works in
// code that includes <clocale> as well as in code written with the Windows values.
#pragma once

#include <clocale>
#include <cstdarg>
#include <cstddef>

#include "tevo/win/types.h"

// An opaque locale object made by _create_locale and released by _free_locale.
typedef struct tevo_crt_locale* _locale_t;

extern "C" {

// Creates a locale object for `category` (any <clocale> LC_* value or a Windows category
// value, see above) and the locale name `locale`. The names "C" and "" (the user's default
// locale, which on this platform is "C" for numbers) are supported. Returns null for any
// other name, a null name or an unknown category. Release the object with _free_locale.
_locale_t _create_locale(int category, const char* locale);

// Releases a locale object made by _create_locale. A null argument does nothing.
void _free_locale(_locale_t locale);

// Formats `format` with the arguments in `args` into `buffer`, writing at most `count`
// wide characters. When the text (without terminator) is shorter than `count`, it is
// written with a terminating zero and its length returned. When it is exactly `count`
// characters long, they are written without a terminator and `count` is returned. When it
// is longer, the first `count` characters are written without a terminator and -1 is
// returned. With a null buffer and a count of 0 nothing is written and the length the
// text needs (without terminator) is returned; a null buffer with a non-zero count fails
// with -1. A failed format returns -1 (see above).
int _vsnwprintf_l(wchar_t* buffer, size_t count, const wchar_t* format, _locale_t locale,
                  va_list args);

// _vsnwprintf_l with variable arguments.
int _snwprintf_l(wchar_t* buffer, size_t count, const wchar_t* format, _locale_t locale, ...);

// The narrow twin of _vsnwprintf_l: the same buffer and return-value rules, counted in
// bytes.
int _vsnprintf_l(char* buffer, size_t count, const char* format, _locale_t locale, va_list args);

// _vsnprintf_l with variable arguments.
int _snprintf_l(char* buffer, size_t count, const char* format, _locale_t locale, ...);

// Returns the number of wide characters `format` with `args` expands to, without a
// terminating zero, or -1 when the format fails.
int _vscwprintf_l(const wchar_t* format, _locale_t locale, va_list args);

// Returns the number of bytes `format` with `args` expands to, without a terminating
// zero, or -1 when the format fails.
int _vscprintf_l(const char* format, _locale_t locale, va_list args);

// Parses a floating-point number as wcstod does in the "C" locale: leading white space, an
// optional sign, digits with a full stop as decimal separator and an optional exponent, or
// "inf"/"infinity"/"nan", or a hexadecimal number ("0x1.8p3"). When `end` is not null it
// receives the position after the number. When there is no number, returns 0.0 and `end`
// receives `str`. Out of range: HUGE_VAL with the sign, or 0 for an underflow, with errno
// ERANGE. A null `str` returns 0.0 with errno EINVAL.
double _wcstod_l(const wchar_t* str, wchar_t** end, _locale_t locale);

// The narrow twin of _wcstod_l.
double _strtod_l(const char* str, char** end, _locale_t locale);

// Parses a 32-bit decimal integer: leading white space, an optional sign, decimal digits;
// parsing stops at the first other character ("1.000" gives 1). No digits give 0. A value
// out of the 32-bit range gives LONG_MAX (2147483647) or LONG_MIN (-2147483648) of that
// range with errno ERANGE. A null `str` gives 0 with errno EINVAL.
LONG _atol_l(const char* str, _locale_t locale);

// The wide twin of _atol_l.
LONG _wtol_l(const wchar_t* str, _locale_t locale);
}

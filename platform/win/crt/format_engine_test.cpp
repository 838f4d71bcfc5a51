#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>

#include "crt_test_support.h"
#include "tevo/win/crt.h"

using tevo::win::crt::testing::Format;
using tevo::win::crt::testing::FormatW;

TEST(CrtFormatStrings, WideFormatsTakeWideStringsForLowerCaseConversions) {
    EXPECT_EQ(FormatW(L"SENS%s:FREQ %s", L"1", L"AUTO"), L"SENS1:FREQ AUTO");
    EXPECT_EQ(FormatW(L"[%S]", "narrow"), L"[narrow]");
    EXPECT_EQ(FormatW(L"[%hs|%ls|%ws]", "h", L"l", L"w"), L"[h|l|w]");
    EXPECT_EQ(FormatW(L"%c%C%hc%lc%wc", L'a', 'b', 'c', L'd', L'e'), L"abcde");
    // Narrow text is UTF-8 and is widened by the platform codec, not by the process locale.
    EXPECT_EQ(FormatW(L"%S|%C", "\xC3\xA9\xE2\x82\xAC", 'x'), L"\u00e9\u20ac|x");
    EXPECT_EQ(FormatW(L"%C", static_cast<char>(0xE9)), L"\uFFFD");
}

TEST(CrtFormatStrings, NarrowFormatsTakeNarrowStringsForLowerCaseConversions) {
    EXPECT_EQ(Format("Method: %s, Param: %s", "Initialize", "ResourceName"),
              "Method: Initialize, Param: ResourceName");
    EXPECT_EQ(Format("[%S|%ls|%ws|%hs]", L"S", L"l", L"w", "h"), "[S|l|w|h]");
    EXPECT_EQ(Format("%c%C%lc", 'a', L'\u20ac', L'z'),
              "a\xE2\x82\xAC"
              "z");
    EXPECT_EQ(Format("%S", L"\u00e9\U0001F600"), "\xC3\xA9\xF0\x9F\x98\x80");
}

TEST(CrtFormatStrings, NullStringsPrintNull) {
    EXPECT_EQ(
        Format("<%s|%S>", static_cast<const char*>(nullptr), static_cast<const wchar_t*>(nullptr)),
        "<(null)|(null)>");
    EXPECT_EQ(FormatW(L"<%s|%S|%.3s>", static_cast<const wchar_t*>(nullptr),
                      static_cast<const char*>(nullptr), static_cast<const wchar_t*>(nullptr)),
              L"<(null)|(null)|(nu>");
}

TEST(CrtFormatStrings, WidthPrecisionAndZeroFlag) {
    EXPECT_EQ(Format("[%5s|%-5s|%.2s|%05s]", "ab", "ab", "abc", "ab"), "[   ab|ab   |ab|000ab]");
    EXPECT_EQ(FormatW(L"[%5s|%-4S|%.1S|%3c]", L"ab", "ab", "abc", L'x'), L"[   ab|ab  |a|  x]");
    // Width counts output characters: one wide character, two UTF-8 bytes.
    EXPECT_EQ(FormatW(L"[%3S]", "\xC3\xA9"), L"[  \u00e9]");
    EXPECT_EQ(Format("[%3S]", L"\u00e9"), "[ \xC3\xA9]");
    // Precision counts units of the argument and never leaves half a UTF-8 character.
    EXPECT_EQ(Format("[%.2s]", "a\xC3\xA9z"), "[a]");
    EXPECT_EQ(Format("[%.3s]", "a\xC3\xA9z"), "[a\xC3\xA9]");
    EXPECT_EQ(FormatW(L"[%.2S]", "a\xE2\x82\xAC"), L"[a]");
    EXPECT_EQ(Format("[%.1S]", L"\u20acx"), "[\xE2\x82\xAC]");
}

TEST(CrtFormatIntegers, LongIsThirtyTwoBits) {
    const HRESULT failure = static_cast<HRESULT>(0xBFFF0015u);
    EXPECT_EQ(Format("Error Code: %lx", failure), "Error Code: bfff0015");
    EXPECT_EQ(FormatW(L"%lX %x %I32x", failure, failure, failure), L"BFFF0015 bfff0015 bfff0015");
    EXPECT_EQ(Format("%ld|%lu", static_cast<LONG>(INT32_MIN), static_cast<ULONG>(UINT32_MAX)),
              "-2147483648|4294967295");
    EXPECT_EQ(Format("%d|%i", INT_MIN, INT_MAX), "-2147483648|2147483647");
    EXPECT_EQ(FormatW(L"%d", INT_MIN), L"-2147483648");
}

TEST(CrtFormatIntegers, SizePrefixesReadTheRightArgumentWidths) {
    // Each argument is read with its own width, so the ones after it still line up.
    EXPECT_EQ(Format("%hd|%hhu|%lld|%d", 65535, 257, INT64_MIN, 7), "-1|1|-9223372036854775808|7");
    EXPECT_EQ(Format("%I64x|%llu|%d", static_cast<LONGLONG>(-1), ULLONG_MAX, 3),
              "ffffffffffffffff|18446744073709551615|3");
    EXPECT_EQ(Format("%Iu|%zu|%zd|%d", SIZE_MAX, SIZE_MAX, static_cast<std::ptrdiff_t>(-5), 9),
              "18446744073709551615|18446744073709551615|-5|9");
    EXPECT_EQ(Format("%jd|%td|%hhd", INTMAX_MIN, static_cast<std::ptrdiff_t>(-2), 0x180),
              "-9223372036854775808|-2|-128");
}

TEST(CrtFormatIntegers, FlagsWidthAndPrecision) {
    EXPECT_EQ(Format("[%+d|% d|%-5d|%05d|%5d]", 3, 3, 42, -42, -42), "[+3| 3|42   |-0042|  -42]");
    EXPECT_EQ(Format("[%#x|%#X|%#08x|%#o|%#x]", 31, 31, 31, 8, 0), "[0x1f|0X1F|0x00001f|010|0]");
    // With a precision the 0 flag is ignored and the precision is the minimum digit count.
    EXPECT_EQ(Format("[%08.3d|%.0d|%.5u]", 42, 0, 7u), "[     042||00007]");
    EXPECT_EQ(FormatW(L"[%+06d|%-+6d]", 12, 12), L"[+00012|+12   ]");
}

TEST(CrtFormatIntegers, StarWidthAndPrecision) {
    EXPECT_EQ(Format("[%*d|%-*d|%*d]", 5, 1, 4, 2, -4, 3), "[    1|2   |3   ]");
    EXPECT_EQ(Format("[%.*d|%.*f|%*.*f]", 3, 5, -1, 0.5, 7, 2, 1.0), "[005|0.500000|   1.00]");
}

TEST(CrtFormatFloating, FixedExponentAndGeneralForms) {
    EXPECT_EQ(FormatW(L"%f", 1e6), L"1000000.000000");
    EXPECT_EQ(Format("%f|%.2f|%.0f|%#.0f", -0.5, 2.346, 2.5, 2.0), "-0.500000|2.35|2|2.");
    EXPECT_EQ(Format("%e|%.3E|%g|%G|%g", 12345.678, 0.00012, 1e-5, 1e20, 100000.0),
              "1.234568e+04|1.200E-04|1e-05|1E+20|100000");
    EXPECT_EQ(Format("[%010.2f|%-9.1f|%+.1f|% .1f]", -3.14159, 2.26, 1.0, 1.0),
              "[-000003.14|2.3      |+1.0| 1.0]");
    EXPECT_EQ(Format("%a|%A|%08a", 1.0, 3.0, 1.0), "0x1p+0|0X1.8P+1|0x001p+0");
    EXPECT_EQ(Format("%Lf|%lf", 2.5L, 0.25), "2.500000|0.250000");
}

TEST(CrtFormatFloating, InfinityAndNan) {
    EXPECT_EQ(Format("%f|%f|%F|%e", INFINITY, -INFINITY, INFINITY, INFINITY), "inf|-inf|INF|inf");
    EXPECT_EQ(Format("%f|%G", NAN, NAN), "nan|NAN");
    // The 0 flag does not turn "inf" into "00inf".
    EXPECT_EQ(Format("[%06f|%-6f]", INFINITY, INFINITY), "[   inf|inf   ]");
    EXPECT_EQ(FormatW(L"%f", -INFINITY), L"-inf");
}

TEST(CrtFormatPointers, UpperCaseHexPaddedToPointerWidth) {
    const auto* pointer = reinterpret_cast<const void*>(std::uintptr_t{0x1234ABCD});
    EXPECT_EQ(Format("%p", pointer), "000000001234ABCD");
    EXPECT_EQ(Format("%p", static_cast<const void*>(nullptr)), "0000000000000000");
    EXPECT_EQ(FormatW(L"[%18p|%-18p]", pointer, pointer),
              L"[  000000001234ABCD|000000001234ABCD  ]");
}

TEST(CrtFormatLiterals, PercentAndPlainText) {
    EXPECT_EQ(Format("100%% done"), "100% done");
    EXPECT_EQ(FormatW(L"%%s"), L"%s");
    EXPECT_EQ(Format(""), "");
    // A non-ASCII wide character never reads as a conversion letter.
    EXPECT_EQ(FormatW(L"\u00e9\u20ac"), L"\u00e9\u20ac");
}

TEST(CrtFormatRefused, PercentNIsRefusedWithoutWritingThroughThePointer) {
    int target = 12345;
    char buffer[32];
    std::fill(std::begin(buffer), std::end(buffer), '#');
    errno = 0;
    EXPECT_EQ(_snprintf_l(buffer, sizeof buffer, "abc%n", nullptr, &target), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(target, 12345);
    EXPECT_EQ(buffer[0], '\0');  // no partial text that looks complete
    EXPECT_EQ(buffer[4], '#');

    wchar_t wide[8];
    EXPECT_EQ(_snwprintf_l(wide, 8, L"%d%hn", nullptr, 1, &target), -1);
    EXPECT_EQ(target, 12345);
    EXPECT_EQ(wide[0], L'\0');
    EXPECT_EQ(Format("%lln", &target), "<failed>");
}

TEST(CrtFormatRefused, MalformedConversionsFail) {
    for (const char* format : {"%", "abc%", "%l", "%y", "%Ld", "%lls", "%hf", "%I64s", "%wd", "%lp",
                               "%99999999999d", "%.99999999999d", "%Z"}) {
        errno = 0;
        EXPECT_EQ(Format(format, 1), "<failed>") << format;
    }
    EXPECT_EQ(FormatW(L"%\uFF44", 1), L"<failed>");  // a fullwidth 'd' is not
}

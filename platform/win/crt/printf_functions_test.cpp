#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <clocale>
#include <cstdio>
#include <latch>
#include <string>
#include <thread>
#include <vector>

#include "crt_test_support.h"
#include "tevo/win/crt.h"

using tevo::win::crt::testing::CommaLocale;
using tevo::win::crt::testing::Format;
using tevo::win::crt::testing::FormatW;
using tevo::win::crt::testing::ProcessLocaleGuard;

namespace {

// Formats "12345" into a buffer of `count` characters (sentinel-filled beyond) and returns
// the result together with the buffer.
template <class Char>
int FormatFiveInto(std::vector<Char>& buffer, size_t count) {
    buffer.assign(count + 4, Char('#'));
    if constexpr (sizeof(Char) == sizeof(char)) {
        return _snprintf_l(buffer.data(), count, "%d%s", nullptr, 123, "45");
    } else {
        return _snwprintf_l(buffer.data(), count, L"%d%s", nullptr, 123, L"45");
    }
}

template <class Char>
void ExpectWindowsCountRules() {
    using String = std::basic_string<Char>;
    const String five = {Char('1'), Char('2'), Char('3'), Char('4'), Char('5')};
    std::vector<Char> buffer;
    // Shorter than count: text, terminator, its length.
    EXPECT_EQ(FormatFiveInto(buffer, 6), 5);
    EXPECT_EQ(String(buffer.data()), five);
    EXPECT_EQ(buffer[6], Char('#'));
    // Exactly count: all characters, no terminator, count.
    EXPECT_EQ(FormatFiveInto(buffer, 5), 5);
    EXPECT_EQ(String(buffer.data(), 5), five);
    EXPECT_EQ(buffer[5], Char('#'));
    // Longer than count: count characters, no terminator, -1.
    EXPECT_EQ(FormatFiveInto(buffer, 4), -1);
    EXPECT_EQ(String(buffer.data(), 4), five.substr(0, 4));
    EXPECT_EQ(buffer[4], Char('#'));
    // A count of 0 writes nothing.
    EXPECT_EQ(FormatFiveInto(buffer, 0), -1);
    EXPECT_EQ(buffer[0], Char('#'));
}

}  // namespace

TEST(CrtPrintfBuffers, CountBoundariesFollowWindowsRules) {
    ExpectWindowsCountRules<char>();
    ExpectWindowsCountRules<wchar_t>();
}

TEST(CrtPrintfBuffers, EmptyTextAndNullBuffers) {
    char buffer[4] = {'#', '#', '#', '#'};
    EXPECT_EQ(_snprintf_l(buffer, 0, "", nullptr), 0);
    EXPECT_EQ(buffer[0], '#');
    EXPECT_EQ(_snprintf_l(buffer, 1, "", nullptr), 0);
    EXPECT_EQ(buffer[0], '\0');
    // A null buffer with count 0 asks for the length; with any other count it is an error.
    EXPECT_EQ(_snprintf_l(nullptr, 0, "%d", nullptr, 12345), 5);
    EXPECT_EQ(_snwprintf_l(nullptr, 0, L"%s", nullptr, L"abc"), 3);
    errno = 0;
    EXPECT_EQ(_snprintf_l(nullptr, 10, "%d", nullptr, 1), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(_snprintf_l(buffer, 4, nullptr, nullptr), -1);
    EXPECT_EQ(_snwprintf_l(nullptr, 0, nullptr, nullptr), -1);
}

namespace {

int LengthOf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int length = _vscprintf_l(format, nullptr, args);
    va_end(args);
    return length;
}

int LengthOfW(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    const int length = _vscwprintf_l(format, nullptr, args);
    va_end(args);
    return length;
}

}  // namespace

TEST(CrtPrintfBuffers, LengthFunctionsCountWithoutTerminator) {
    EXPECT_EQ(LengthOf("%s=%d", "abc", -1), 6);
    EXPECT_EQ(LengthOfW(L"%S|%s", "\xE2\x82\xAC", L"\u20ac"), 3);  // one character each
    EXPECT_EQ(LengthOf("%S", L"\u20ac"), 3);                       // three UTF-8 bytes
    EXPECT_EQ(LengthOf("%n", nullptr), -1);
    EXPECT_EQ(LengthOfW(nullptr), -1);
    // A huge width costs no memory; a text beyond INT_MAX characters fails.
    EXPECT_EQ(LengthOf("%2147483647d", 1), INT_MAX);
    EXPECT_EQ(LengthOf("%2147483647d%d", 1, 2), -1);
    EXPECT_EQ(LengthOfW(L"%*s%*s", INT_MAX, L"", 1, L""), -1);
}

TEST(CrtPrintfBuffers, LongOutputs) {
    for (const size_t size : {size_t{1500}, size_t{100000}}) {
        const std::string narrow(size, 'n');
        const std::wstring wide(size, L'w');
        EXPECT_EQ(Format("%s", narrow.c_str()), narrow);
        EXPECT_EQ(FormatW(L"%s", wide.c_str()), wide);
        EXPECT_EQ(FormatW(L"%S", narrow.c_str()), std::wstring(size, L'n'));
        const std::string padded = Format("%*d", static_cast<int>(size), 7);
        EXPECT_EQ(padded, std::string(size - 1, ' ') + "7");
        const std::string precise = Format("%.*f", static_cast<int>(size), 0.5);
        EXPECT_EQ(precise, "0.5" + std::string(size - 1, '0'));
    }
    // The caller's grow-and-retry loop: 1024 is too small for 1500 characters, 2048 fits.
    const std::wstring text(1500, L'x');
    std::vector<wchar_t> buffer(1024);
    EXPECT_EQ(_snwprintf_l(buffer.data(), buffer.size(), L"%s", nullptr, text.c_str()), -1);
    buffer.resize(2048);
    EXPECT_EQ(_snwprintf_l(buffer.data(), buffer.size(), L"%s", nullptr, text.c_str()), 1500);
    EXPECT_EQ(std::wstring(buffer.data()), text);
}

TEST(CrtPrintfLocale, ProcessLocaleDoesNotReachNumbers) {
    const ProcessLocaleGuard guard;
    const CommaLocale comma;
    if (!comma.available() || !comma.SetProcessLocale()) {
        GTEST_SKIP() << "no locale with a comma as decimal separator on this machine";
    }
    // The process locale is in force: the C library itself now prints a comma.
    char plain[32];
    std::snprintf(plain, sizeof plain, "%.1f", 1.5);
    ASSERT_STREQ(plain, "1,5");

    _locale_t c_locale = _create_locale(LC_ALL, "C");
    ASSERT_NE(c_locale, nullptr);
    const std::wstring command = L"SENS1:FREQ:STAR 1000000.000000;STOP 2.500000";
    wchar_t wide[64];
    EXPECT_EQ(_snwprintf_l(wide, 64, L"SENS%s:FREQ:STAR %f;STOP %f", c_locale, L"1", 1e6, 2.5),
              static_cast<int>(command.size()));
    EXPECT_EQ(std::wstring(wide), command);
    EXPECT_EQ(Format("%g|%e|%.2f", 0.5, 1.5, -2.25), "0.5|1.500000e+00|-2.25");

    wchar_t* wide_end = nullptr;
    const wchar_t* reply = L"-12.5E3,7";
    EXPECT_EQ(_wcstod_l(reply, &wide_end, c_locale), -12500.0);
    EXPECT_EQ(wide_end, reply + 7);
    char* end = nullptr;
    const char* german = "2,5";
    EXPECT_EQ(_strtod_l(german, &end, nullptr), 2.0);
    EXPECT_EQ(end, german + 1);
    EXPECT_EQ(_atol_l("1.000", c_locale), 1);
    _free_locale(c_locale);

    // Nothing changed the locale of the process or of this thread.
    std::snprintf(plain, sizeof plain, "%.1f", 1.5);
    EXPECT_STREQ(plain, "1,5");
}

TEST(CrtPrintfLocale, Utf8ProcessLocaleDoesNotChangeConversions) {
    const ProcessLocaleGuard guard;
    if (setlocale(LC_ALL, "C.UTF-8") == nullptr) {
        GTEST_SKIP() << "no C.UTF-8 locale on this machine";
    }
    EXPECT_EQ(FormatW(L"%f|%S|%s", 1e6, "\xC3\xA9", L"x"), L"1000000.000000|\u00e9|x");
    EXPECT_EQ(Format("%f|%S|%C", 0.5, L"\u00e9", L'\u20ac'), "0.500000|\xC3\xA9|\xE2\x82\xAC");
    EXPECT_EQ(_wcstod_l(L"0.25", nullptr, nullptr), 0.25);
}

TEST(CrtPrintfLocale, ThreadsWithTheirOwnLocalesFormatConcurrently) {
    // Each thread makes a different locale its own; all format at once. Every result must
    // use a full stop, and each thread must keep its own locale afterwards.
    const CommaLocale comma;
    std::vector<locale_t> locales;
    if (comma.available()) {
        locales.push_back(comma.NewLocale());
        ASSERT_NE(locales.back(), nullptr);
    }
    if (locale_t utf8 = newlocale(LC_ALL_MASK, "C.UTF-8", nullptr); utf8 != nullptr) {
        locales.push_back(utf8);
    }
    locales.push_back(LC_GLOBAL_LOCALE);
    _locale_t c_locale = _create_locale(LC_NUMERIC, "C");
    ASSERT_NE(c_locale, nullptr);

    constexpr int kThreadsPerLocale = 3;
    constexpr int kRounds = 300;
    const auto thread_count = static_cast<std::ptrdiff_t>(locales.size() * kThreadsPerLocale);
    std::latch start(thread_count);
    std::vector<int> failures(static_cast<size_t>(thread_count), 0);
    std::vector<int> kept_locale(static_cast<size_t>(thread_count), 0);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < static_cast<size_t>(thread_count); ++t) {
        threads.emplace_back([&, t] {
            const locale_t own = locales[t % locales.size()];
            uselocale(own);
            start.arrive_and_wait();
            for (int round = 0; round < kRounds; ++round) {
                wchar_t wide[64];
                const double value = static_cast<double>(round) + 0.25;
                const int length = _snwprintf_l(wide, 64, L"%s %f", c_locale, L"FREQ", value);
                char expected[64];
                const int expected_length =
                    std::snprintf(expected, sizeof expected, "FREQ %d.250000", round);
                if (length != expected_length ||
                    std::wstring(wide) != std::wstring(expected, expected + expected_length)) {
                    ++failures[t];
                }
                char* end = nullptr;
                if (_strtod_l("3.75", &end, c_locale) != 3.75 || *end != '\0') {
                    ++failures[t];
                }
            }
            kept_locale[t] = uselocale(nullptr) == own ? 1 : 0;
            uselocale(LC_GLOBAL_LOCALE);
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (size_t t = 0; t < static_cast<size_t>(thread_count); ++t) {
        EXPECT_EQ(failures[t], 0) << "thread " << t;
        EXPECT_EQ(kept_locale[t], 1) << "thread " << t;
    }
    _free_locale(c_locale);
    for (locale_t locale : locales) {
        if (locale != LC_GLOBAL_LOCALE) {
            freelocale(locale);
        }
    }
}

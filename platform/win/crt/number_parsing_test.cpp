#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstdint>

#include "tevo/win/crt.h"

TEST(CrtStrtod, ParsesLikeTheCLibraryInTheCLocale) {
    char* end = nullptr;
    const char* text = "  -1.5e3xyz";
    EXPECT_EQ(_strtod_l(text, &end, nullptr), -1500.0);
    EXPECT_EQ(end, text + 8);
    const char* hex = "0x1.8p1;";
    EXPECT_EQ(_strtod_l(hex, &end, nullptr), 3.0);
    EXPECT_EQ(*end, ';');
    EXPECT_TRUE(std::isinf(_strtod_l("-inf", nullptr, nullptr)));
    EXPECT_TRUE(std::isnan(_strtod_l("nan", nullptr, nullptr)));
    EXPECT_EQ(_strtod_l("+.5", nullptr, nullptr), 0.5);
    // A comma is not a decimal separator in "C".
    const char* comma = "1,5";
    EXPECT_EQ(_strtod_l(comma, &end, nullptr), 1.0);
    EXPECT_EQ(end, comma + 1);
}

TEST(CrtStrtod, NoNumberLeavesTheEndAtTheStart) {
    for (const char* text : {"", "abc", "  ", "-", "."}) {
        char* end = nullptr;
        EXPECT_EQ(_strtod_l(text, &end, nullptr), 0.0) << text;
        EXPECT_EQ(end, text) << text;
    }
    const wchar_t* wide = L"e5";
    wchar_t* wide_end = nullptr;
    EXPECT_EQ(_wcstod_l(wide, &wide_end, nullptr), 0.0);
    EXPECT_EQ(wide_end, wide);
}

TEST(CrtStrtod, WideTextRangeErrorsAndNull) {
    wchar_t* end = nullptr;
    const wchar_t* reply = L"\t+2.5E-1\n";
    EXPECT_EQ(_wcstod_l(reply, &end, nullptr), 0.25);
    EXPECT_EQ(*end, L'\n');
    errno = 0;
    EXPECT_EQ(_wcstod_l(L"1e999", nullptr, nullptr), HUGE_VAL);
    EXPECT_EQ(errno, ERANGE);
    errno = 0;
    EXPECT_EQ(_strtod_l("-1e999", nullptr, nullptr), -HUGE_VAL);
    EXPECT_EQ(errno, ERANGE);
    errno = 0;
    end = reinterpret_cast<wchar_t*>(&errno);
    EXPECT_EQ(_wcstod_l(nullptr, &end, nullptr), 0.0);
    EXPECT_EQ(end, nullptr);
    EXPECT_EQ(errno, EINVAL);
}

TEST(CrtAtol, StopsAtTheFirstNonDigit) {
    EXPECT_EQ(_atol_l("1", nullptr), 1);
    EXPECT_EQ(_atol_l("+1", nullptr), 1);
    EXPECT_EQ(_atol_l("1.000", nullptr), 1);
    EXPECT_EQ(_atol_l(" \t\n-42abc", nullptr), -42);
    EXPECT_EQ(_atol_l("007", nullptr), 7);
    for (const char* text : {"", "abc", "- 5", "+-1", "   "}) {
        EXPECT_EQ(_atol_l(text, nullptr), 0) << text;
    }
    EXPECT_EQ(_wtol_l(L"  +16,0", nullptr), 16);
    EXPECT_EQ(_wtol_l(L"-0", nullptr), 0);
    EXPECT_EQ(_wtol_l(L"\uFF11", nullptr), 0);  // a fullwidth digit is not a digit
}

TEST(CrtAtol, SaturatesToTheThirtyTwoBitRange) {
    errno = 0;
    EXPECT_EQ(_atol_l("2147483647", nullptr), INT32_MAX);
    EXPECT_EQ(_atol_l("-2147483648", nullptr), INT32_MIN);
    EXPECT_EQ(errno, 0);
    EXPECT_EQ(_atol_l("2147483648", nullptr), INT32_MAX);
    EXPECT_EQ(errno, ERANGE);
    errno = 0;
    EXPECT_EQ(_wtol_l(L"-2147483649", nullptr), INT32_MIN);
    EXPECT_EQ(errno, ERANGE);
    EXPECT_EQ(_atol_l("99999999999999999999999999", nullptr), INT32_MAX);
    EXPECT_EQ(_wtol_l(L"-99999999999999999999999999", nullptr), INT32_MIN);
    errno = 0;
    EXPECT_EQ(_atol_l(nullptr, nullptr), 0);
    EXPECT_EQ(errno, EINVAL);
}

#include <gtest/gtest.h>

#include <string>

#include "tevo/win/lasterror.h"
#include "tevo/win/resources.h"
#include "tevo/win/winerror.h"

namespace {

constexpr UINT kIdnAnswer = 40009;  // "Valdacor,KLx Simulated Driver,0.00,123456/999"
constexpr UINT kErrorAnswer = 40010;

TEST(LoadStrings, CopiesWholeStrings) {
    char buffer[64];
    EXPECT_EQ(LoadStringA(nullptr, kIdnAnswer, buffer, sizeof buffer), 45);
    EXPECT_STREQ(buffer, "Valdacor,KLx Simulated Driver,0.00,123456/999");
    EXPECT_EQ(LoadStringA(nullptr, kErrorAnswer, buffer, sizeof buffer), 12);
    EXPECT_STREQ(buffer, "0,\"No Error\"");
    EXPECT_EQ(LoadStringA(nullptr, 1, buffer, sizeof buffer), 16);
    EXPECT_STREQ(buffer, "Tab\tand newline\n");
    EXPECT_EQ(LoadStringA(nullptr, 40011, buffer, sizeof buffer), 8);
    EXPECT_STREQ(buffer, "say \"hi\"");

    wchar_t wide[64];
    EXPECT_EQ(LoadStringW(nullptr, kErrorAnswer, wide, 64), 12);
    EXPECT_STREQ(wide, L"0,\"No Error\"");
}

TEST(LoadStrings, TruncatesToTheBufferWithATerminator) {
    char buffer[8];
    std::fill(std::begin(buffer), std::end(buffer), 'x');
    EXPECT_EQ(LoadStringA(nullptr, kIdnAnswer, buffer, 5), 4);
    EXPECT_STREQ(buffer, "Vald");
    EXPECT_EQ(buffer[5], 'x');  // nothing written beyond the buffer
    EXPECT_EQ(LoadStringA(nullptr, kIdnAnswer, buffer, 1), 0);
    EXPECT_STREQ(buffer, "");

    wchar_t wide[8];
    EXPECT_EQ(LoadStringW(nullptr, kIdnAnswer, wide, 4), 3);
    EXPECT_STREQ(wide, L"Val");

    // No room: nothing copied, 0 returned.
    EXPECT_EQ(LoadStringA(nullptr, kIdnAnswer, buffer, 0), 0);
}

TEST(LoadStrings, NarrowTruncationKeepsUtf8Whole) {
    // "Grüße": G r ü(2 bytes) ß(2 bytes) e.
    char buffer[16];
    EXPECT_EQ(LoadStringA(nullptr, 2, buffer, sizeof buffer), 7);
    EXPECT_STREQ(buffer,
                 "Gr\xC3\xBC\xC3\x9F"
                 "e");
    EXPECT_EQ(LoadStringA(nullptr, 2, buffer, 4), 2);
    EXPECT_STREQ(buffer, "Gr");
    EXPECT_EQ(LoadStringA(nullptr, 2, buffer, 5), 4);
    EXPECT_STREQ(buffer, "Gr\xC3\xBC");
    wchar_t wide[16];
    EXPECT_EQ(LoadStringW(nullptr, 2, wide, 16), 5);
    EXPECT_STREQ(wide, L"Gr\u00FC\u00DFe");
}

TEST(LoadStrings, WideWithoutBufferGivesAPointerToTheString) {
    const wchar_t* text = nullptr;
    EXPECT_EQ(LoadStringW(nullptr, kErrorAnswer, reinterpret_cast<LPWSTR>(&text), 0), 12);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::wstring(text, 12), L"0,\"No Error\"");
    // The same memory every time: the resource itself.
    const wchar_t* again = nullptr;
    LoadStringW(nullptr, kErrorAnswer, reinterpret_cast<LPWSTR>(&again), 0);
    EXPECT_EQ(text, again);

    const wchar_t* missing = L"unchanged";
    EXPECT_EQ(LoadStringW(nullptr, 3, reinterpret_cast<LPWSTR>(&missing), 0), 0);
    EXPECT_EQ(missing, nullptr);
}

TEST(LoadStrings, MissingStringsGiveZero) {
    char buffer[16] = "unchanged";
    // Id 3 is in a bundle that exists (ids 0 to 15), id 500 in one that does not.
    EXPECT_EQ(LoadStringA(nullptr, 3, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(LoadStringA(nullptr, 500, buffer, sizeof buffer), 0);
    EXPECT_EQ(LoadStringA(nullptr, 0x10000, buffer, sizeof buffer), 0);
    wchar_t wide[4] = L"abc";
    EXPECT_EQ(LoadStringW(nullptr, 500, wide, 4), 0);
    EXPECT_STREQ(wide, L"");
    EXPECT_EQ(LoadStringA(GetModuleHandleA("libc.so.6"), kIdnAnswer, buffer, sizeof buffer), 0);
    EXPECT_EQ(LoadStringA(nullptr, kIdnAnswer, nullptr, 16), 0);
}

}  // namespace

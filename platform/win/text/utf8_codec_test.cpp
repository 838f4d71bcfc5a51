#include <gtest/gtest.h>

#include <string>

#include "tevo/win/lasterror.h"
#include "tevo/win/text.h"
#include "tevo/win/winerror.h"

using tevo::win::Utf8ToWide;
using tevo::win::WideToUtf8;

TEST(Utf8Codec, RoundTripsEveryPlane) {
    const std::wstring wide = L"A\u00e9\u20ac\U0001F600\u0000z";
    const std::wstring with_nul(wide.c_str(), 6);
    EXPECT_EQ(Utf8ToWide(WideToUtf8(with_nul)), with_nul);
    EXPECT_EQ(WideToUtf8(L"\u00e9\u20ac\U0001F600"), "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
}

TEST(Utf8Codec, MalformedInputBecomesReplacementCharacters) {
    // Lone continuation byte, truncated 3-byte sequence, overlong '/', encoded surrogate,
    // beyond U+10FFFF: each maximal invalid subpart is one U+FFFD.
    EXPECT_EQ(Utf8ToWide("a\x80z"), L"a\uFFFDz");
    EXPECT_EQ(Utf8ToWide("\xE2\x82"), L"\uFFFD");
    EXPECT_EQ(Utf8ToWide("\xC0\xAF"), L"\uFFFD\uFFFD");
    EXPECT_EQ(Utf8ToWide("\xED\xA0\x80"), L"\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(Utf8ToWide("\xF4\x90\x80\x80"), L"\uFFFD\uFFFD\uFFFD\uFFFD");
    EXPECT_FALSE(tevo::win::IsValidUtf8("\xE2\x82"));
    EXPECT_TRUE(tevo::win::IsValidUtf8("\xE2\x82\xAC"));
}

TEST(Utf8Codec, WideOutsideUnicodeBecomesReplacementAndPairsJoin) {
    const wchar_t lone[] = {0xD800, L'x', 0};
    EXPECT_EQ(WideToUtf8(lone), "\xEF\xBF\xBDx");
    const wchar_t pair[] = {0xD83D, 0xDE00, 0};
    EXPECT_EQ(WideToUtf8(pair), "\xF0\x9F\x98\x80");
    const wchar_t too_big[] = {static_cast<wchar_t>(0x110000), 0};
    EXPECT_EQ(WideToUtf8(too_big), "\xEF\xBF\xBD");
}

TEST(Utf8Codec, Win32ConversionSizeProtocol) {
    // -1 includes the terminator; size query first, then a buffer one too small.
    const char* text = "h\xC3\xA9";
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0), 3);
    wchar_t small[2];
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, text, -1, small, 2), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    wchar_t wide[3];
    ASSERT_EQ(MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, 3), 3);
    EXPECT_EQ(std::wstring(wide), L"h\u00e9");

    char narrow[8];
    BOOL used_default = TRUE;
    ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, 8, nullptr, &used_default), 4);
    EXPECT_STREQ(narrow, text);
    EXPECT_EQ(used_default, FALSE);

    EXPECT_EQ(MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, "\xFF", 1, wide, 3), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
    EXPECT_EQ(MultiByteToWideChar(1252, 0, text, -1, wide, 3), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

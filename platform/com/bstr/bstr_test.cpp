#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tevo/com/bstr.h"
#include "tevo/win/text.h"

namespace {

DWORD PrefixOf(BSTR b) {
    DWORD length = 0;
    std::memcpy(&length, reinterpret_cast<const unsigned char*>(b) - sizeof(DWORD), sizeof(DWORD));
    return length;
}

TEST(Bstr, EmbeddedZerosAreKept) {
    const wchar_t text[] = {L'a', L'\0', L'b', L'\0'};
    BSTR b = SysAllocStringLen(text, 3);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(SysStringLen(b), 3u);
    EXPECT_EQ(SysStringByteLen(b), 3 * sizeof(OLECHAR));
    EXPECT_EQ(PrefixOf(b), 3 * sizeof(OLECHAR));
    EXPECT_EQ(b[0], L'a');
    EXPECT_EQ(b[1], L'\0');
    EXPECT_EQ(b[2], L'b');
    EXPECT_EQ(b[3], L'\0');  // terminator
    SysFreeString(b);
}

TEST(Bstr, NonAsciiTextRoundTripsThroughTheCodec) {
    // Latin-1, a BMP symbol and a character beyond the BMP (one wchar_t here).
    const std::string utf8 =
        "Gr\xC3\xBC\xC3\x9F"
        "e \xE2\x82\xAC \xF0\x9D\x84\x9E";
    const std::wstring wide = tevo::win::Utf8ToWide(utf8);
    ASSERT_EQ(wide.size(), 9u);
    BSTR b = SysAllocString(wide.c_str());
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(SysStringLen(b), 9u);
    EXPECT_EQ(SysStringByteLen(b), 9 * sizeof(OLECHAR));
    EXPECT_EQ(b[8], wchar_t(0x1D11E));
    EXPECT_EQ(tevo::win::WideToUtf8(std::wstring_view(b, SysStringLen(b))), utf8);
    SysFreeString(b);
}

TEST(Bstr, ByteLengthAllocationsOfOddLengthsArePaddedWithZeros) {
    const char bytes[] = "ABCDEFGHIJ";
    for (UINT len : {0u, 1u, 3u, 5u, 7u, 9u}) {
        BSTR b = SysAllocStringByteLen(bytes, len);
        ASSERT_NE(b, nullptr) << len;
        EXPECT_EQ(SysStringByteLen(b), len);
        EXPECT_EQ(SysStringLen(b), len / sizeof(OLECHAR));
        const auto* raw = reinterpret_cast<const unsigned char*>(b);
        EXPECT_EQ(std::memcmp(raw, bytes, len), 0);
        // Zero bytes up to the next OLECHAR boundary, then a whole zero OLECHAR.
        const std::size_t padded = (len + sizeof(OLECHAR) - 1) / sizeof(OLECHAR) * sizeof(OLECHAR);
        for (std::size_t i = len; i < padded + sizeof(OLECHAR); ++i) {
            EXPECT_EQ(raw[i], 0) << "length " << len << " byte " << i;
        }
        SysFreeString(b);
    }
}

TEST(Bstr, NullSourcesGiveZeroedStrings) {
    BSTR chars = SysAllocStringLen(nullptr, 4);
    ASSERT_NE(chars, nullptr);
    EXPECT_EQ(SysStringLen(chars), 4u);
    for (int i = 0; i <= 4; ++i) {
        EXPECT_EQ(chars[i], L'\0');
    }
    SysFreeString(chars);
    BSTR bytes = SysAllocStringByteLen(nullptr, 3);
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(SysStringByteLen(bytes), 3u);
    EXPECT_EQ(std::memcmp(bytes, "\0\0\0", 3), 0);
    SysFreeString(bytes);
}

TEST(Bstr, NullIsTheEmptyString) {
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysStringByteLen(nullptr), 0u);
    SysFreeString(nullptr);
    BSTR empty = SysAllocString(L"");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(SysStringLen(empty), 0u);
    EXPECT_EQ(empty[0], L'\0');
    SysFreeString(empty);
}

TEST(Bstr, LengthsBeyondThe32BitPrefixFail) {
    EXPECT_EQ(SysAllocStringLen(nullptr, 0x40000000u), nullptr);  // 2^32 bytes
    EXPECT_EQ(SysAllocStringByteLen(nullptr, 0xFFFFFFFFu), nullptr);
}

TEST(Bstr, ReallocationMayCopyFromTheStringItself) {
    BSTR b = SysAllocString(L"hello world");
    ASSERT_TRUE(SysReAllocString(&b, b + 6));
    EXPECT_STREQ(b, L"world");
    EXPECT_EQ(SysStringLen(b), 5u);
    ASSERT_TRUE(SysReAllocStringLen(&b, b, 3));
    EXPECT_EQ(SysStringLen(b), 3u);
    EXPECT_STREQ(b, L"wor");
    ASSERT_TRUE(SysReAllocStringLen(&b, nullptr, 6));
    EXPECT_EQ(SysStringLen(b), 6u);
    ASSERT_TRUE(SysReAllocString(&b, nullptr));
    EXPECT_EQ(b, nullptr);
    EXPECT_FALSE(SysReAllocString(nullptr, L"x"));
    EXPECT_FALSE(SysReAllocStringLen(nullptr, L"x", 1));
}

}  // namespace

#include "ansi_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

namespace tevo::quill {
namespace {

TEST(AnsiTextTest, CopyTextCutHonoursSizeAndNeverSplitsACharacter) {
    char buffer[8];
    std::fill(std::begin(buffer), std::end(buffer), 'X');
    EXPECT_TRUE(CopyTextCut("abc", buffer, 4));
    EXPECT_STREQ(buffer, "abc");

    std::fill(std::begin(buffer), std::end(buffer), 'X');
    EXPECT_FALSE(CopyTextCut("abcdef", buffer, 4));
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(buffer[4], 'X');  // nothing written past the size

    // "a" followed by "é" (two bytes): with room for two bytes only "a" fits.
    std::fill(std::begin(buffer), std::end(buffer), 'X');
    EXPECT_FALSE(CopyTextCut("a\xC3\xA9", buffer, 3));
    EXPECT_STREQ(buffer, "a");

    std::fill(std::begin(buffer), std::end(buffer), 'X');
    EXPECT_FALSE(CopyTextCut("abc", buffer, 0));
    EXPECT_EQ(buffer[0], 'X');
    EXPECT_FALSE(CopyTextCut("abc", nullptr, 8));
}

TEST(AnsiTextTest, ConvertsThroughUtf8BothWays) {
    EXPECT_EQ(AnsiToWide("K\xC3\xB6ln \xE2\x82\xAC"), L"K\u00f6ln \u20ac");
    EXPECT_EQ(WideToAnsi(L"K\u00f6ln \u20ac"), "K\xC3\xB6ln \xE2\x82\xAC");
    EXPECT_EQ(AnsiToWide(""), L"");
}

}  // namespace
}  // namespace tevo::quill

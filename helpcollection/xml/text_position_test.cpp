#include "text_position.h"

#include <gtest/gtest.h>

namespace tevo::xml {
namespace {

TEST(TextPositionTest, CountsLinesAndCharactersInUtf8) {
    const std::string text = "ab\ncd\r\n\xC3\xA9x\ry";
    const auto at = [&](std::size_t offset) {
        const TextPosition p = PositionOfOffset(text, pugi::encoding_utf8, offset);
        return std::make_pair(p.line, p.column);
    };
    EXPECT_EQ(at(0), std::make_pair(1L, 1L));
    EXPECT_EQ(at(2), std::make_pair(1L, 3L));
    EXPECT_EQ(at(3), std::make_pair(2L, 1L));
    EXPECT_EQ(at(7), std::make_pair(3L, 1L));   // after CR LF: one line break
    EXPECT_EQ(at(9), std::make_pair(3L, 2L));   // "é" is one character of two bytes
    EXPECT_EQ(at(11), std::make_pair(4L, 1L));  // a lone CR ends a line too
    EXPECT_EQ(at(1000), std::make_pair(4L, 2L));
}

TEST(TextPositionTest, MapsUtf8OffsetsBackToOtherEncodings) {
    // "é\n€x" in UTF-16 BE and in UTF-32 LE: offsets count the UTF-8 form (2 + 1 + 3 bytes).
    const std::string utf16("\x00\xE9\x00\n\x20\xAC\x00x", 8);
    const TextPosition p16 = PositionOfOffset(utf16, pugi::encoding_utf16_be, 6);
    EXPECT_EQ(p16.line, 2);
    EXPECT_EQ(p16.column, 2);
    const std::string utf32("\xE9\0\0\0\n\0\0\0\xAC\x20\0\0x\0\0\0", 16);
    const TextPosition p32 = PositionOfOffset(utf32, pugi::encoding_utf32_le, 6);
    EXPECT_EQ(p32.line, 2);
    EXPECT_EQ(p32.column, 2);
    const std::string latin1("\xE9\xE9<", 3);
    EXPECT_EQ(PositionOfOffset(latin1, pugi::encoding_latin1, 4).column, 3);
}

}  // namespace
}  // namespace tevo::xml

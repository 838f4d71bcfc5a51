// The block header checks on their own: each fault named, each accepted header's length.
#include "operations/block_header.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>

namespace tevo::driver::operations {
namespace {

// The start check of the first two bytes of `text` (all of them when shorter).
std::optional<std::string> Start(const std::string& text, size_t* digits) {
    BYTE start[2] = {};
    const size_t received = std::min<size_t>(2, text.size());
    std::copy_n(text.begin(), received, start);
    return CheckBlockStart(start, received, digits);
}

std::optional<std::string> Length(const std::string& field, size_t digits, long long* length) {
    return ParseBlockLength(reinterpret_cast<const BYTE*>(field.data()), field.size(), digits,
                            length);
}

TEST(BlockHeader, StartGivesTheDigitCountOrNamesTheFault) {
    size_t digits = 99;
    EXPECT_EQ(Start("#9", &digits), std::nullopt);
    EXPECT_EQ(digits, 9U);
    EXPECT_EQ(Start("#0", &digits), std::nullopt);
    EXPECT_EQ(digits, 0U);  // indefinite: no length
    EXPECT_EQ(Start("-8", &digits), "the reply starts with \"-8\", not with '#'");
    EXPECT_EQ(Start("\n", &digits), "the reply starts with \"\\x0A\", not with '#'");
    EXPECT_EQ(Start("#A", &digits), "the length digit count \"A\" is not a digit 1 to 9");
    // A reply of "#" alone ends the read: the missing count shows as a zero byte.
    EXPECT_EQ(Start("#", &digits), "the length digit count \"\\x00\" is not a digit 1 to 9");
}

TEST(BlockHeader, LengthFieldIsReadAsDecimal) {
    long long length = -5;
    EXPECT_EQ(Length("0040", 4, &length), std::nullopt);
    EXPECT_EQ(length, 40);
    EXPECT_EQ(Length("999999999", 9, &length), std::nullopt);
    EXPECT_EQ(length, 999999999);
    EXPECT_EQ(Length("12", 3, &length), "the length field has 2 of 3 digits");
    EXPECT_EQ(Length("1 2", 3, &length), "the length field \"1 2\" is not decimal");
    EXPECT_EQ(Length("-12", 3, &length), "the length field \"-12\" is not decimal");
    EXPECT_EQ(length, 999999999);  // untouched by a refused field
}

}  // namespace
}  // namespace tevo::driver::operations

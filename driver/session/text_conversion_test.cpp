#include "session/text_conversion.h"

#include <gtest/gtest.h>

#include <string>

namespace tevo::driver {
namespace {

using namespace std::string_literals;

// ASCII takes a direct path; everything else goes through the code page (UTF-8). Both give
// the same bytes, and a text that is ASCII only in part is converted whole.
TEST(TextConversion, AsciiAndNonAsciiTextConvertTheSameWayBothDirections) {
    const std::wstring command = L"SENS1:FREQ:STAR 1500000000.000000\n";
    EXPECT_EQ(WideToAnsi(command), "SENS1:FREQ:STAR 1500000000.000000\n");
    EXPECT_EQ(AnsiToWide("+1.5E+09\n"), L"+1.5E+09\n");
    // Control characters and an embedded NUL are ASCII too.
    EXPECT_EQ(WideToAnsi(L"a\x01\x7F\0b"s), "a\x01\x7F\0b"s);
    EXPECT_EQ(AnsiToWide("a\x01\x7F\0b"s), L"a\x01\x7F\0b"s);

    EXPECT_EQ(WideToAnsi(L"UNIT:POW \u00B5W"), "UNIT:POW \xC2\xB5W");
    EXPECT_EQ(AnsiToWide("UNIT:POW \xC2\xB5W"), L"UNIT:POW \u00B5W");
    EXPECT_EQ(WideToAnsi(L"\u20AC"), "\xE2\x82\xAC");
    EXPECT_EQ(AnsiToWide("\xE2\x82\xAC"), L"\u20AC");
    // A byte of 0x80 or above is not ASCII, even as a char that is signed.
    EXPECT_EQ(AnsiToWide("\xFF"), L"\uFFFD");
    EXPECT_EQ(WideToAnsi(L"\u0080"), "\xC2\x80");
}

TEST(TextConversion, EmptyTextStaysEmpty) {
    EXPECT_EQ(WideToAnsi(L""), "");
    EXPECT_EQ(AnsiToWide(""), L"");
}

}  // namespace
}  // namespace tevo::driver

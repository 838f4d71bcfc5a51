#include "scpi/program_message.h"

#include <gtest/gtest.h>

#include "scpi/error_codes.h"

namespace scpi = tevo::emulator::scpi;
using scpi::ParameterType;
using scpi::ParseUnit;
using scpi::SplitUnits;

namespace {

int ErrorOf(std::string_view unit) {
    try {
        ParseUnit(unit);
    } catch (const scpi::Error& error) {
        return error.code();
    }
    return 0;
}

}  // namespace

TEST(ProgramMessage, SplitsUnitsOutsideStringsExpressionsAndBlocks) {
    const std::string message =
        "SENS:FREQ:STAR 1;STOP 2;:SYST:PASS 'a;b';CALC:MATH (T1;T2);X #13;;y; ;";
    const auto units = SplitUnits(message);
    ASSERT_EQ(units.size(), 5u);
    EXPECT_EQ(units[0], "SENS:FREQ:STAR 1");
    EXPECT_EQ(units[1], "STOP 2");
    EXPECT_EQ(units[2], ":SYST:PASS 'a;b'");
    EXPECT_EQ(units[3], "CALC:MATH (T1;T2)");
    EXPECT_EQ(units[4], "X #13;;y");  // the block holds ";;y"; empty units are left out
    EXPECT_TRUE(scpi::UnitIsQuery(" TRAC? TRACE1"));
    EXPECT_TRUE(scpi::UnitIsQuery("*OPC?"));
    EXPECT_FALSE(scpi::UnitIsQuery("SYST:PASS '?'"));
}

TEST(ProgramMessage, HeadersAreUpperCasedWithSuffixesAndForms) {
    scpi::ProgramUnit unit = ParseUnit("  :calc2:Mark3:x?  ");
    EXPECT_TRUE(unit.header.absolute);
    EXPECT_TRUE(unit.header.query);
    EXPECT_FALSE(unit.header.common);
    ASSERT_EQ(unit.header.keywords.size(), 3u);
    EXPECT_EQ(unit.header.keywords[0].name, "CALC");
    EXPECT_EQ(unit.header.keywords[0].suffix, 2);
    EXPECT_EQ(unit.header.keywords[1].name, "MARK");
    EXPECT_EQ(unit.header.keywords[1].suffix, 3);
    EXPECT_EQ(unit.header.keywords[2].name, "X");
    EXPECT_FALSE(unit.header.keywords[2].suffix.has_value());
    EXPECT_TRUE(unit.parameters.empty());

    unit = ParseUnit("*esr?");
    EXPECT_TRUE(unit.header.common);
    EXPECT_TRUE(unit.header.query);
    EXPECT_EQ(unit.header.keywords[0].name, "ESR");
}

TEST(ProgramMessage, ParametersOfEveryType) {
    const scpi::ProgramUnit unit = ParseUnit(
        "X 1.5GHZ, 10 MHz,-2.5e-3 , +7,on,'it''s',\"q\"\"\",(TRACE1 + "
        "TRACE2),#205ab\ncd,#HFF,#B101");
    ASSERT_EQ(unit.parameters.size(), 11u);
    EXPECT_EQ(unit.parameters[0].type, ParameterType::kNumeric);
    EXPECT_DOUBLE_EQ(unit.parameters[0].number, 1.5);
    EXPECT_EQ(unit.parameters[0].suffix, "GHZ");
    EXPECT_DOUBLE_EQ(unit.parameters[1].number, 10);
    EXPECT_EQ(unit.parameters[1].suffix, "MHZ");
    EXPECT_DOUBLE_EQ(unit.parameters[2].number, -2.5e-3);
    EXPECT_EQ(unit.parameters[2].suffix, "");
    EXPECT_DOUBLE_EQ(unit.parameters[3].number, 7);
    EXPECT_EQ(unit.parameters[4].type, ParameterType::kCharacter);
    EXPECT_EQ(unit.parameters[4].text, "ON");
    EXPECT_EQ(unit.parameters[5].type, ParameterType::kString);
    EXPECT_EQ(unit.parameters[5].text, "it's");
    EXPECT_EQ(unit.parameters[6].text, "q\"");
    EXPECT_EQ(unit.parameters[7].type, ParameterType::kExpression);
    EXPECT_EQ(unit.parameters[7].text, "(TRACE1 + TRACE2)");
    EXPECT_EQ(unit.parameters[8].type, ParameterType::kBlock);
    EXPECT_EQ(unit.parameters[8].text, "ab\ncd");
    EXPECT_DOUBLE_EQ(unit.parameters[9].number, 255);
    EXPECT_DOUBLE_EQ(unit.parameters[10].number, 5);
    // An exponent needs digits: "1 E" is the number 1 with the suffix E.
    EXPECT_EQ(ParseUnit("X 1 E").parameters[0].suffix, "E");
    EXPECT_DOUBLE_EQ(ParseUnit("X 1 E 3").parameters[0].number, 1000);
}

TEST(ProgramMessage, MalformedUnitsGiveTheirScpiErrors) {
    EXPECT_EQ(ErrorOf("SENS::FREQ"), scpi::kSyntaxError);
    EXPECT_EQ(ErrorOf("SENS:FREQ:"), scpi::kSyntaxError);
    EXPECT_EQ(ErrorOf("SENS:FREQUENCYSTARTX 1"), scpi::kProgramMnemonicTooLong);
    EXPECT_EQ(ErrorOf("SENS@ 1"), scpi::kInvalidCharacter);
    EXPECT_EQ(ErrorOf("SENS:FREQ,1"), scpi::kInvalidSeparator);
    EXPECT_EQ(ErrorOf("X 1.2.3"), scpi::kInvalidCharacterInNumber);
    EXPECT_EQ(ErrorOf("X -"), scpi::kInvalidCharacterInNumber);
    EXPECT_EQ(ErrorOf("X 1e999"), scpi::kExponentTooLarge);
    EXPECT_EQ(ErrorOf("X 'open"), scpi::kInvalidStringData);
    EXPECT_EQ(ErrorOf("X (a + b"), scpi::kExpressionError);
    EXPECT_EQ(ErrorOf("X #3ab"), scpi::kInvalidBlockData);
    EXPECT_EQ(ErrorOf("X 1,"), scpi::kSyntaxError);
    EXPECT_EQ(ErrorOf("X 1 2"), scpi::kInvalidCharacterInNumber);
    EXPECT_EQ(ErrorOf("X ON OFF"), scpi::kInvalidSeparator);
    EXPECT_EQ(ErrorOf("X @"), scpi::kInvalidCharacter);
    EXPECT_EQ(ErrorOf("*IDN:X?"), scpi::kSyntaxError);
    EXPECT_EQ(ErrorOf("X ABCDEFGHIJKLM"), scpi::kCharacterDataTooLong);
}

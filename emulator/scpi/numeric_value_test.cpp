#include "scpi/numeric_value.h"

#include <gtest/gtest.h>

#include "scpi/error_codes.h"

namespace scpi = tevo::emulator::scpi;
using scpi::UnitClass;

namespace {

scpi::Quantity Decode(std::string_view parameter, UnitClass unit_class) {
    return scpi::DecodeNumeric(
        scpi::ParseUnit(std::string("X ") + std::string(parameter)).parameters.at(0), unit_class);
}

int ErrorOf(std::string_view parameter, UnitClass unit_class) {
    try {
        Decode(parameter, unit_class);
    } catch (const scpi::Error& error) {
        return error.code();
    }
    return 0;
}

}  // namespace

TEST(NumericValue, MultipliersAndUnits) {
    EXPECT_DOUBLE_EQ(Decode("1.5GHZ", UnitClass::kFrequency).value, 1.5e9);
    EXPECT_DOUBLE_EQ(Decode("10 MHz", UnitClass::kFrequency).value, 10e6);  // MHZ is mega
    EXPECT_DOUBLE_EQ(Decode("2 MAHZ", UnitClass::kFrequency).value, 2e6);
    EXPECT_DOUBLE_EQ(Decode("300 kHz", UnitClass::kFrequency).value, 300e3);
    EXPECT_DOUBLE_EQ(Decode("7 HZ", UnitClass::kFrequency).value, 7);
    EXPECT_DOUBLE_EQ(Decode("100 MS", UnitClass::kTime).value, 0.1);  // MS is milli
    EXPECT_DOUBLE_EQ(Decode("20US", UnitClass::kTime).value, 20e-6);
    EXPECT_DOUBLE_EQ(Decode("3 DB", UnitClass::kDecibel).value, 3);
    EXPECT_DOUBLE_EQ(Decode("75 OHM", UnitClass::kImpedance).value, 75);
    const scpi::Quantity level = Decode("-20 DBM", UnitClass::kLevel);
    EXPECT_DOUBLE_EQ(level.value, -20);
    EXPECT_EQ(level.unit, "DBM");
    EXPECT_EQ(Decode("5 DBMV", UnitClass::kLevel).unit, "DBMV");
    const scpi::Quantity millivolts = Decode("250 MV", UnitClass::kLevel);
    EXPECT_DOUBLE_EQ(millivolts.value, 0.25);
    EXPECT_EQ(millivolts.unit, "V");
    EXPECT_EQ(Decode("1e6", UnitClass::kFrequency).unit, "");
}

TEST(NumericValue, WrongSuffixesAndTypes) {
    EXPECT_EQ(ErrorOf("5 DB", UnitClass::kNone), scpi::kSuffixNotAllowed);
    EXPECT_EQ(ErrorOf("5 S", UnitClass::kFrequency), scpi::kInvalidSuffix);
    EXPECT_EQ(ErrorOf("5 KDB", UnitClass::kDecibel), scpi::kInvalidSuffix);
    EXPECT_EQ(ErrorOf("5 XHZ", UnitClass::kFrequency), scpi::kInvalidSuffix);
    EXPECT_EQ(ErrorOf("ON", UnitClass::kFrequency), scpi::kDataTypeError);
    EXPECT_EQ(scpi::NumericKeywordOf(scpi::ParseUnit("X maximum").parameters[0]),
              scpi::NumericKeyword::kMaximum);
    EXPECT_EQ(scpi::NumericKeywordOf(scpi::ParseUnit("X MIN").parameters[0]),
              scpi::NumericKeyword::kMinimum);
    EXPECT_EQ(scpi::NumericKeywordOf(scpi::ParseUnit("X DEF").parameters[0]),
              scpi::NumericKeyword::kDefault);
    EXPECT_EQ(scpi::NumericKeywordOf(scpi::ParseUnit("X 'MAX'").parameters[0]),
              scpi::NumericKeyword::kNone);
}

#include "units/engineering_value.h"

#include <gtest/gtest.h>

#include <clocale>

namespace tevo::cli {
namespace {

double Parsed(const char* text, Quantity quantity = Quantity::kAny) {
    const ParsedValue parsed = ParseEngineeringValue(text, quantity);
    EXPECT_TRUE(parsed.value.has_value()) << text << ": " << parsed.error;
    return parsed.value.value_or(-12345);
}

std::string Refused(const char* text, Quantity quantity) {
    const ParsedValue parsed = ParseEngineeringValue(text, quantity);
    EXPECT_FALSE(parsed.value.has_value()) << text << " gave " << parsed.value.value_or(0);
    return parsed.error;
}

TEST(EngineeringValue, ReadsValuesAsUsersTypeThem) {
    EXPECT_EQ(Parsed("1GHz", Quantity::kFrequency), 1e9);
    EXPECT_EQ(Parsed("20 MHz", Quantity::kFrequency), 20e6);
    EXPECT_EQ(Parsed("100k", Quantity::kFrequency), 100e3);
    EXPECT_EQ(Parsed("100 kHz", Quantity::kFrequency), 100e3);
    EXPECT_EQ(Parsed("2.5e9", Quantity::kFrequency), 2.5e9);
    EXPECT_EQ(Parsed(" 1.5 GHZ ", Quantity::kFrequency), 1.5e9);
    EXPECT_EQ(Parsed("300mhz", Quantity::kFrequency), 300e6);  // nobody means millihertz
    EXPECT_EQ(Parsed("-10dBm", Quantity::kLevel), -10);
    EXPECT_EQ(Parsed("+3 dBm", Quantity::kLevel), 3);
    EXPECT_EQ(Parsed("-10", Quantity::kLevel), -10);
    EXPECT_EQ(Parsed("20dB", Quantity::kDecibel), 20);
    EXPECT_EQ(Parsed("10ms", Quantity::kTime), 0.01);
    EXPECT_EQ(Parsed("10m", Quantity::kTime), 0.01);
    EXPECT_EQ(Parsed("2 s", Quantity::kTime), 2);
    EXPECT_EQ(Parsed("5u"), 5e-6);
    EXPECT_EQ(Parsed("7"), 7);
}

TEST(EngineeringValue, RefusesTextThatIsNoValueOfTheQuantity) {
    EXPECT_NE(Refused("10dBm", Quantity::kFrequency).find("expected a value in Hz"),
              std::string::npos);
    EXPECT_NE(Refused("1GHz", Quantity::kLevel).find("expected a value in dBm"), std::string::npos);
    EXPECT_NE(Refused("1 parsec", Quantity::kAny).find("unknown unit 'parsec'"), std::string::npos);
    EXPECT_NE(Refused("GHz", Quantity::kFrequency).find("is not a number"), std::string::npos);
    Refused("", Quantity::kAny);
    Refused("1x", Quantity::kAny);
    Refused("1e999", Quantity::kAny);
    Refused("inf", Quantity::kAny);
    Refused("nan", Quantity::kAny);
    Refused("++1", Quantity::kAny);
    Refused("1 kdBm", Quantity::kLevel);  // dB units take no prefix
}

TEST(EngineeringValue, IgnoresTheProcessLocale) {
    const char* previous = std::setlocale(LC_ALL, nullptr);
    const std::string saved = previous != nullptr ? previous : "C";
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
        GTEST_SKIP() << "no de_DE.UTF-8 locale";
    }
    EXPECT_EQ(Parsed("1.5GHz", Quantity::kFrequency), 1.5e9);
    EXPECT_EQ(FormatNumber(0.25), "0.25");
    EXPECT_EQ(FormatFrequency(1.5e9), "1.5 GHz");
    std::setlocale(LC_ALL, saved.c_str());
}

TEST(EngineeringValue, FormatsNumbersAndFrequenciesForPeople) {
    EXPECT_EQ(FormatNumber(1e9), "1000000000");
    EXPECT_EQ(FormatNumber(-29.999996), "-29.999996");
    EXPECT_EQ(FormatNumber(0), "0");
    EXPECT_EQ(FormatNumber(1e20), "1e+20");
    EXPECT_EQ(Parsed(FormatNumber(0.1 + 0.2).c_str()), 0.1 + 0.2);  // reads back exactly
    EXPECT_EQ(FormatFixed(-20.0, 2), "-20.00");
    EXPECT_EQ(FormatFrequency(1e9), "1 GHz");
    EXPECT_EQ(FormatFrequency(97.6e6), "97.6 MHz");
    EXPECT_EQ(FormatFrequency(5.7977e9, 7), "5.7977 GHz");
    EXPECT_EQ(FormatFrequency(12.5e3), "12.5 kHz");
    EXPECT_EQ(FormatFrequency(0), "0 Hz");
    EXPECT_EQ(FormatFrequency(-3e6), "-3 MHz");
}

}  // namespace
}  // namespace tevo::cli

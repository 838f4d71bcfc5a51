#include "scpi/response_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>

namespace scpi = tevo::emulator::scpi;

TEST(ResponseFormat, RealsUseTheShortestNr3ThatReadsBack) {
    EXPECT_EQ(scpi::FormatReal(1.5e9), "1.5E+09");
    EXPECT_EQ(scpi::FormatReal(-20), "-2E+01");
    EXPECT_EQ(scpi::FormatReal(0.0), "0E+00");
    EXPECT_EQ(scpi::FormatReal(-0.0), "0E+00");
    EXPECT_EQ(scpi::FormatReal(2.5e-3), "2.5E-03");
    EXPECT_EQ(scpi::FormatReal(std::numeric_limits<double>::quiet_NaN()), "9.91E+37");
    EXPECT_EQ(scpi::FormatReal(-std::numeric_limits<double>::infinity()), "-9.9E+37");
    for (const double value : {1.0 / 3, 123456789.123, -1e-300, 13.6e9}) {
        EXPECT_EQ(std::strtod(scpi::FormatReal(value).c_str(), nullptr), value);
    }
    const float f = -85.17508f;
    EXPECT_EQ(std::strtof(scpi::FormatFloat(f).c_str(), nullptr), f);
    EXPECT_EQ(scpi::FormatFloat(-20.0f), "-2E+01");
}

TEST(ResponseFormat, IntegersBooleansStringsAndBlocks) {
    EXPECT_EQ(scpi::FormatInteger(501), "501");
    EXPECT_EQ(scpi::FormatInteger(-350), "-350");
    EXPECT_EQ(scpi::FormatBoolean(true), "1");
    EXPECT_EQ(scpi::FormatBoolean(false), "0");
    EXPECT_EQ(scpi::FormatString("No error"), "\"No error\"");
    EXPECT_EQ(scpi::FormatString("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(scpi::FormatDefiniteBlock(""), "#10");
    EXPECT_EQ(scpi::FormatDefiniteBlock("abc"), "#13abc");
    EXPECT_EQ(scpi::FormatDefiniteBlock(std::string(2004, 'x')).substr(0, 6), "#42004");
    EXPECT_EQ(scpi::FormatDefiniteBlock(std::string(2004, 'x')).size(), 2010u);
}

// The option-string text rules.
#include "session/option_string.h"

#include <gtest/gtest.h>

namespace tevo::driver {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

TEST(OptionString, SplitsAtEqualsAndCommas) {
    EXPECT_EQ(SplitOptionString("Simulate=true, Cache = false"),
              (Pairs{{"Simulate", "true"}, {" Cache ", " false"}}));
    // A comma before the "=" stays in the name; text without "=" at the end is ignored.
    EXPECT_EQ(SplitOptionString("DriverSetup=Model:KLC, trailing words"),
              (Pairs{{"DriverSetup", "Model:KLC"}}));
    EXPECT_EQ(SplitOptionString("a,b=1"), (Pairs{{"a,b", "1"}}));
    // A value never holds a comma; an "=" inside a value is part of it.
    EXPECT_EQ(SplitOptionString("x=1=2,y="), (Pairs{{"x", "1=2"}, {"y", ""}}));
    EXPECT_TRUE(SplitOptionString("").empty());
    EXPECT_TRUE(SplitOptionString("no pairs here").empty());
}

TEST(OptionString, NormalizingTrimsBlanksAndLowersCase) {
    EXPECT_EQ(NormalizeOptionText(" \tSIMULATE \r\n"), "simulate");
    EXPECT_EQ(NormalizeOptionText("Model:KLC"), "model:klc");
    EXPECT_EQ(NormalizeOptionText(" \t "), "");
    // Inner blanks stay.
    EXPECT_EQ(NormalizeOptionText(" A B "), "a b");
}

TEST(OptionString, BooleansAreTheWordsTrueAndFalseOnly) {
    EXPECT_EQ(ParseOptionBoolean("true"), true);
    EXPECT_EQ(ParseOptionBoolean("false"), false);
    EXPECT_FALSE(ParseOptionBoolean("yes"));
    EXPECT_FALSE(ParseOptionBoolean("1"));
    EXPECT_FALSE(ParseOptionBoolean(""));
}

TEST(OptionString, DriverTimeoutTakesDigitsBlanksAndTabsOnly) {
    EXPECT_EQ(ParseDriverTimeout("5000"), 5000);
    EXPECT_EQ(ParseDriverTimeout(" \t250 "), 250);
    // Digits separated by blanks: the first group counts.
    EXPECT_EQ(ParseDriverTimeout("12 34"), 12);
    EXPECT_EQ(ParseDriverTimeout("   "), 0);
    EXPECT_FALSE(ParseDriverTimeout("10s"));
    EXPECT_FALSE(ParseDriverTimeout("-5"));
    EXPECT_FALSE(ParseDriverTimeout("1.5"));
    // Far too many digits saturate instead of wrapping round to a small or negative value.
    EXPECT_EQ(ParseDriverTimeout("99999999999999999999"), 2147483647);
}

}  // namespace
}  // namespace tevo::driver

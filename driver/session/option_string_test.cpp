// The option-string text rules.
#include "session/option_string.h"

#include <gtest/gtest.h>

#include "testing/driver_test_support.h"

namespace tevo::driver {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

TEST(OptionString, SplitsAtEqualsAndCommas) {
    EXPECT_EQ(SplitOptionString("Simulate=true, Cache = false"),
              (Pairs{{"Simulate", "true"}, {"Cache", " false"}}));
    // Text without "=" is an item of its own and skipped, at the end or before a pair.
    EXPECT_EQ(SplitOptionString("DriverSetup=Model:KLC, trailing words"),
              (Pairs{{"DriverSetup", "Model:KLC"}}));
    EXPECT_EQ(SplitOptionString("a,b=1"), (Pairs{{"b", "1"}}));
    EXPECT_EQ(SplitOptionString("Cache=true, junk words, Simulate=true"),
              (Pairs{{"Cache", "true"}, {"Simulate", "true"}}));
    // A value never holds a comma; an "=" inside a value is part of it.
    EXPECT_EQ(SplitOptionString("x=1=2,y="), (Pairs{{"x", "1=2"}, {"y", ""}}));
    EXPECT_TRUE(SplitOptionString("").empty());
    EXPECT_TRUE(SplitOptionString("no pairs here").empty());
}

TEST(OptionString, EmptyItemsNeitherStickToNorHideTheNextName) {
    EXPECT_EQ(SplitOptionString("Cache=true,,Simulate=true"),
              (Pairs{{"Cache", "true"}, {"Simulate", "true"}}));
    EXPECT_EQ(SplitOptionString(",Simulate=true"), (Pairs{{"Simulate", "true"}}));
    EXPECT_EQ(SplitOptionString("Cache=false, ,\t,\r\n, Simulate =true"),
              (Pairs{{"Cache", "false"}, {"Simulate", "true"}}));
    // A comma between name and "=" is an empty item too.
    EXPECT_EQ(SplitOptionString("Simulate,=true"), (Pairs{{"Simulate", "true"}}));
    // Pairs without a name are skipped; what follows them still counts.
    EXPECT_EQ(SplitOptionString("=x,, =,Simulate=true"), (Pairs{{"Simulate", "true"}}));
    EXPECT_TRUE(SplitOptionString(",,,").empty());
}

// What the stray comma used to cost: the driver took ",simulate" for an unknown name and
// opened the instrument instead of simulating.
TEST(OptionString, DoubledCommaBeforeSimulateStillSimulates) {
    auto driver = testing::NewDriver();
    // No instrument answers at this address: only a simulated session opens.
    ASSERT_EQ(driver->Initialize(testing::Bstr(L"GPIB0::20::INSTR").Get(), VARIANT_FALSE,
                                 VARIANT_FALSE, testing::Bstr(L"Cache=true,,Simulate=true").Get()),
              S_OK);
    auto operation = testing::As<IIviDriverOperation>(driver.Get());
    VARIANT_BOOL simulate = VARIANT_FALSE;
    ASSERT_EQ(operation->get_Simulate(&simulate), S_OK);
    EXPECT_EQ(simulate, VARIANT_TRUE);
    EXPECT_EQ(driver->Close(), S_OK);
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

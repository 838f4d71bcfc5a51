// Splitting the *IDN? answer and checking the instrument.
#include "session/identification.h"

#include <gtest/gtest.h>

namespace tevo::driver {
namespace {

IdentityFields Parse(std::string_view answer, int expected_count) {
    IdentityFields fields;
    EXPECT_EQ(ParseIdentity(answer, fields), expected_count) << answer;
    return fields;
}

TEST(Identification, FourFieldsOfAnInstrumentAnswer) {
    const auto fields = Parse("Valdacor,KLC,100482,3.12", 4);
    EXPECT_EQ(fields.manufacturer, "Valdacor");
    EXPECT_EQ(fields.model, "KLC");
    EXPECT_EQ(fields.serial_number, "100482");
    EXPECT_EQ(fields.firmware_revision, "3.12");
    // The fourth field ends at a further comma.
    EXPECT_EQ(Parse("A,B,C,D,E", 4).firmware_revision, "D");
}

TEST(Identification, NothingReadableIsNoIdentity) {
    Parse("", 0);
    Parse(",KLC,1,2", 0);
    Parse("'quoted'", 0);
}

TEST(Identification, ShortAnswersAreSplitAtCommas) {
    // An apostrophe stops the scan after the first field; the comma split keeps it whole.
    const auto fields = Parse("Val'dacor,KL'C,1,2", 1);
    EXPECT_EQ(fields.manufacturer, "Val'dacor");
    EXPECT_EQ(fields.model, "KL'C");
    EXPECT_EQ(fields.serial_number, "1");
    EXPECT_EQ(fields.firmware_revision, "2");
    // Missing commas leave what was read.
    const auto two = Parse("Valdacor,KLC", 2);
    EXPECT_EQ(two.manufacturer, "Valdacor");
    EXPECT_EQ(two.model, "KLC");
    EXPECT_EQ(two.serial_number, "");
    EXPECT_EQ(two.firmware_revision, "");
    // An empty third field: the scan stops, the split gives the rest.
    const auto gap = Parse("Valdacor,KLD,,9.9", 2);
    EXPECT_EQ(gap.serial_number, "");
    EXPECT_EQ(gap.firmware_revision, "9.9");
}

TEST(Identification, OnlyValdacorKlInstrumentsPass) {
    EXPECT_EQ(IdentityMismatch({"Valdacor", "KLC", "", ""}), nullptr);
    EXPECT_EQ(IdentityMismatch({"Valdacor Inc.", "KLx Simulated Driver", "", ""}), nullptr);
    EXPECT_STREQ(IdentityMismatch({"Valdaco", "KLC", "", ""}), "Instrument manufacturer");
    EXPECT_STREQ(IdentityMismatch({"valdacor", "KLC", "", ""}), "Instrument manufacturer");
    EXPECT_STREQ(IdentityMismatch({"Valdacor", "XK9", "", ""}), "Instrument model");
    EXPECT_STREQ(IdentityMismatch({"Valdacor", "kl1", "", ""}), "Instrument model");
    EXPECT_STREQ(IdentityMismatch({"Valdacor", "K", "", ""}), "Instrument model");
}

}  // namespace
}  // namespace tevo::driver

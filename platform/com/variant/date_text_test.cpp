#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "tevo/com/bstr.h"
#include "tevo/com/variant.h"

namespace {

constexpr DATE kDec8th2026 = 46364.0;  // days since 30 Dec 1899
constexpr DATE kFeb29th2024 = 45351.0;
constexpr double kSecond = 1.0 / 86400.0;

std::wstring Format(DATE date, ULONG flags = 0) {
    BSTR text = nullptr;
    HRESULT hr = VarBstrFromDate(date, LOCALE_USER_DEFAULT, flags, &text);
    if (FAILED(hr)) {
        return L"<failed>";
    }
    std::wstring result(text, SysStringLen(text));
    SysFreeString(text);
    return result;
}

TEST(DateText, FullDateAndTimeInTheUsForm) {
    EXPECT_EQ(Format(kDec8th2026 + (18 * 3600 + 9 * 60 + 20) * kSecond), L"12/8/2026 6:09:20 PM");
    EXPECT_EQ(Format(kDec8th2026 + 0.5), L"12/8/2026 12:00:00 PM");
    EXPECT_EQ(Format(kDec8th2026 + 5 * kSecond), L"12/8/2026 12:00:05 AM");
    EXPECT_EQ(Format(kFeb29th2024 + 0.75), L"2/29/2024 6:00:00 PM");
}

TEST(DateText, DateOnlyAtMidnightAndTimeOnlyOnDayZero) {
    EXPECT_EQ(Format(kDec8th2026), L"12/8/2026");
    EXPECT_EQ(Format(0.25), L"6:00:00 AM");
    EXPECT_EQ(Format(0.0), L"12:00:00 AM");
    EXPECT_EQ(Format(1.0), L"12/31/1899");
    EXPECT_EQ(Format(kDec8th2026 + 0.25, VAR_DATEVALUEONLY), L"12/8/2026");
    EXPECT_EQ(Format(kDec8th2026 + 0.25, VAR_TIMEVALUEONLY), L"6:00:00 AM");
    EXPECT_EQ(Format(kDec8th2026, VAR_TIMEVALUEONLY), L"12:00:00 AM");
}

TEST(DateText, BeforeDayZeroTheFractionIsStillTheTimeOfDay) {
    EXPECT_EQ(Format(-1.25), L"12/29/1899 6:00:00 AM");
    EXPECT_EQ(Format(-1.0), L"12/29/1899");
    EXPECT_EQ(Format(-657434.0), L"1/1/0100");
    EXPECT_EQ(Format(2958465.0 + 86399 * kSecond), L"12/31/9999 11:59:59 PM");
}

TEST(DateText, SecondsAreRoundedAndMayCarryIntoTheNextDay) {
    EXPECT_EQ(Format(kDec8th2026 + 59.4 * kSecond), L"12/8/2026 12:00:59 AM");
    EXPECT_EQ(Format(kDec8th2026 + 59.6 * kSecond), L"12/8/2026 12:01:00 AM");
    EXPECT_EQ(Format(0.9999999), L"12/31/1899");
    EXPECT_EQ(Format(-1.9999999), L"12:00:00 AM");  // 29 Dec + 24 h is day zero
}

TEST(DateText, OutOfRangeDatesAreRejected) {
    EXPECT_EQ(Format(-657435.0), L"<failed>");
    EXPECT_EQ(Format(2958466.0), L"<failed>");
    EXPECT_EQ(Format(2958465.9999999), L"<failed>");  // rounds into the year 10000
    EXPECT_EQ(Format(std::numeric_limits<double>::quiet_NaN()), L"<failed>");
}

HRESULT Parse(const wchar_t* text, DATE* date, ULONG flags = 0) {
    return VarDateFromStr(text, LOCALE_USER_DEFAULT, flags, date);
}

TEST(DateText, ParsesTheCommonForms) {
    const DATE evening = kDec8th2026 + (18 * 3600 + 9 * 60 + 20) * kSecond;
    const struct {
        const wchar_t* text;
        DATE expected;
    } cases[] = {
        {L"12/8/2026 6:09:20 PM", evening},
        {L"12/8/2026 18:09:20", evening},
        {L"  12/08/2026   6:09:20 pm ", evening},
        {L"2026-12-08T18:09:20", evening},
        {L"2026-12-08 18:09:20", evening},
        {L"12-8-2026", kDec8th2026},
        {L"12/8/26", kDec8th2026},
        {L"12/8/95", 35041.0},
        {L"Dec 8, 2026", kDec8th2026},
        {L"December 8 2026 6:09:20 PM", evening},
        {L"8 December 2026", kDec8th2026},
        {L"8-Dec-2026", kDec8th2026},
        {L"6:09:20 PM 12/8/2026", evening},
        {L"2/29/2024", kFeb29th2024},
        {L"18:09:20", (18 * 3600 + 9 * 60 + 20) * kSecond},
        {L"6:09 PM", (18 * 3600 + 9 * 60) * kSecond},
        {L"12:00 AM", 0.0},
        {L"12:30 PM", 0.5 + 30 * 60 * kSecond},
        {L"6 AM", 0.25},
        {L"12/29/1899 6:00 AM", -1.25},
        {L"1/1/100", -657434.0},
    };
    for (const auto& c : cases) {
        DATE date = -1;
        ASSERT_EQ(Parse(c.text, &date), S_OK) << c.text;
        EXPECT_NEAR(date, c.expected, 1e-9) << c.text;
    }
}

TEST(DateText, RejectsWhatIsNoDate) {
    const wchar_t* bad[] = {L"",
                            L"hello",
                            L"2/30/2026",
                            L"2/29/2023",
                            L"13/1/2026",
                            L"0/1/2026",
                            L"12/8",
                            L"25:00",
                            L"12:60",
                            L"13:00 PM",
                            L"12/8/2026 6:09:20 XM",
                            L"12/8/2026 12/9/2026",
                            L"42",
                            L"12.8.2026",
                            L"12/8-2026",
                            L"1/1/99999",
                            L"Foo 8, 2026",
                            L"12/8/2026 ;"};
    for (const wchar_t* text : bad) {
        DATE date = 0;
        EXPECT_EQ(Parse(text, &date), DISP_E_TYPEMISMATCH) << text;
    }
    DATE date = 0;
    EXPECT_EQ(Parse(nullptr, &date), E_INVALIDARG);
}

TEST(DateText, ValueOnlyFlagsKeepOnePart) {
    DATE date = 0;
    ASSERT_EQ(Parse(L"12/8/2026 6:00 PM", &date, VAR_DATEVALUEONLY), S_OK);
    EXPECT_EQ(date, kDec8th2026);
    ASSERT_EQ(Parse(L"12/8/2026 6:00 PM", &date, VAR_TIMEVALUEONLY), S_OK);
    EXPECT_NEAR(date, 0.75, 1e-9);
}

TEST(DateText, FormattedDatesParseBackToTheSameSecond) {
    for (DATE date : {kDec8th2026 + 0.123456, -700.75, 2958465.5, 36526.0 + 86399 * kSecond,
                      12.0 / 86400.0 * 3600}) {
        DATE parsed = 0;
        ASSERT_EQ(Parse(Format(date).c_str(), &parsed), S_OK) << Format(date);
        EXPECT_NEAR(parsed, date, 0.5 * kSecond) << Format(date);
    }
}

}  // namespace

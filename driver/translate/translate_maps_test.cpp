// The token tables: every entry of every map, exact and case-sensitive lookups, the first
// entry of a repeated key, the misuse message box, and the window suffix.
#include "translate/translate_maps.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tevo/Tevo.h"
#include "tevo/testing/temp_dir.h"
#include "translate/trace_names.h"

namespace tevo::driver {
namespace {

using M = TranslateMap;

struct Entry {
    M map;
    LONG value;
    const wchar_t* token;
};

// clang-format off
const std::vector<Entry> kForwardEntries = {
    {M::kDetectorForward, 1, L"APE"}, {M::kDetectorForward, 2, L"AVER"}, {M::kDetectorForward, 3, L"MAX"},
    {M::kDetectorForward, 4, L"MIN"}, {M::kDetectorForward, 5, L"SAMP"}, {M::kDetectorForward, 6, L"RMS"},
    {M::kOnOffForward, 0, L"FF"}, {M::kOnOffForward, -1, L"N"},
    {M::kVerticalScaleForward, 1, L"IN"}, {M::kVerticalScaleForward, 2, L"OG"},
    {M::kScreenSelectForward, 0, L"1:SEL"}, {M::kScreenSelectForward, 1, L"2:SEL"},
    {M::kWindowForward, 0, L"1"}, {M::kWindowForward, 1, L"2"},
    {M::kDisplayFormatForward, 0, L"ING"}, {M::kDisplayFormatForward, 1, L"PL"},
    {M::kAmplitudeUnitsForward, 1, L"DBM"}, {M::kAmplitudeUnitsForward, 2, L"DBMV"},
    {M::kAmplitudeUnitsForward, 3, L"DBUV"}, {M::kAmplitudeUnitsForward, 4, L"V"},
    {M::kAmplitudeUnitsForward, 5, L"W"},
    {M::kMarkerSearchForward, 1, L"AX"}, {M::kMarkerSearchForward, 2, L"AX:NEXT"},
    {M::kMarkerSearchForward, 3, L"AX:LEFT"}, {M::kMarkerSearchForward, 4, L"AX:RIGHT"},
    {M::kMarkerSearchForward, 10, L"IN"},
    {M::kInstrumentSettingForward, 3, L"CENT"}, {M::kInstrumentSettingForward, 5, L"REF"},
    {M::kCounterOnOffForward, 0, L"FF;RES"}, {M::kCounterOnOffForward, -1, L"N;RES"},
    {M::kServicePasswordForward, 0, L"0"}, {M::kServicePasswordForward, -1, L"573018"},
    {M::kInputCalForward, 0, L"RF"}, {M::kInputCalForward, -1, L"CAL"},
    {M::kTriggerSourceForward, 1, L"EXT"}, {M::kTriggerSourceForward, 2, L"IMM"},
    {M::kTriggerSourceForward, 3, L"VID"}, {M::kTriggerSourceForward, 5, L"TV"},
    {M::kTriggerSourceForward, 1001, L"IFP"}, {M::kTriggerSourceForward, 1002, L"RFP"},
    {M::kExternalSlopeForward, 1, L"POS"}, {M::kExternalSlopeForward, 2, L"NEG"},
    {M::kVideoSlopeForward, 1, L"POS"}, {M::kVideoSlopeForward, 2, L"NEG"},
    {M::kMarkerTraceEnableForward, 0, L""}, {M::kMarkerTraceEnableForward, -1, L""},
    {M::kTraceTypeForward, 1, L"WRIT"}, {M::kTraceTypeForward, 2, L"MAXH"},
    {M::kTraceTypeForward, 3, L"MINH"}, {M::kTraceTypeForward, 4, L"AVER"},
    {M::kTraceTypeForward, 5, L"VIEW"}, {M::kTraceTypeForward, 6, L"BLAN"},
};

const std::vector<Entry> kReverseEntries = {
    {M::kDetectorReverse, 1, L"APE"}, {M::kDetectorReverse, 2, L"AVER"}, {M::kDetectorReverse, 3, L"MAX"},
    {M::kDetectorReverse, 4, L"MIN"}, {M::kDetectorReverse, 5, L"SAMP"}, {M::kDetectorReverse, 6, L"RMS"},
    {M::kVerticalScaleReverse, 1, L"LIN"}, {M::kVerticalScaleReverse, 2, L"LOG"},
    {M::kDisplayFormatReverse, 0, L"SING"}, {M::kDisplayFormatReverse, 1, L"SPL"},
    {M::kAmplitudeUnitsReverse, 1, L"DBM"}, {M::kAmplitudeUnitsReverse, 2, L"DBMV"},
    {M::kAmplitudeUnitsReverse, 3, L"DBUV"}, {M::kAmplitudeUnitsReverse, 4, L"V"},
    {M::kAmplitudeUnitsReverse, 5, L"W"},
    {M::kOnOffTextReverse, 0, L"OFF"}, {M::kOnOffTextReverse, -1, L"ON"},
    {M::kMarkerTypeReverse, 1, L"0"}, {M::kMarkerTypeReverse, 2, L"1"},
    {M::kInputCalReverse, 0, L"RF"}, {M::kInputCalReverse, -1, L"CAL"},
    {M::kTriggerSourceReverse, 1, L"EXT"}, {M::kTriggerSourceReverse, 2, L"IMM"},
    {M::kTriggerSourceReverse, 3, L"VID"}, {M::kTriggerSourceReverse, 5, L"TV"},
    {M::kTriggerSourceReverse, 1001, L"IFP"}, {M::kTriggerSourceReverse, 1002, L"RFP"},
    {M::kExternalSlopeReverse, 1, L"POS"}, {M::kExternalSlopeReverse, 2, L"NEG"},
    {M::kVideoSlopeReverse, 1, L"POS"}, {M::kVideoSlopeReverse, 2, L"NEG"},
    {M::kTraceTypeReverse, 1, L"WRIT"}, {M::kTraceTypeReverse, 2, L"MAXH"},
    {M::kTraceTypeReverse, 3, L"MINH"}, {M::kTraceTypeReverse, 4, L"AVER"},
    {M::kTraceTypeReverse, 5, L"VIEW"}, {M::kTraceTypeReverse, 6, L"BLAN"},
};
// clang-format on

std::string MessagesLog() {
    const auto path = tevo::testing::CurrentSystemRoot() / "messages.log";
    return std::filesystem::exists(path) ? tevo::testing::ReadFile(path) : std::string();
}

TEST(TranslateMaps, EveryForwardEntryGivesItsToken) {
    const TranslateMaps maps;
    for (const Entry& entry : kForwardEntries) {
        std::wstring token = L"unchanged";
        EXPECT_TRUE(maps.ToToken(entry.map, entry.value, &token))
            << static_cast<int>(entry.map) << " " << entry.value;
        EXPECT_EQ(token, entry.token) << static_cast<int>(entry.map) << " " << entry.value;
    }
}

TEST(TranslateMaps, EveryReverseEntryGivesItsValue) {
    const TranslateMaps maps;
    for (const Entry& entry : kReverseEntries) {
        LONG value = 12345;
        EXPECT_TRUE(maps.FromToken(entry.map, entry.token, &value)) << static_cast<int>(entry.map);
        EXPECT_EQ(value, entry.value) << static_cast<int>(entry.map);
    }
}

TEST(TranslateMaps, LookupsAreExactAndMissingEntriesFail) {
    const TranslateMaps maps;
    std::wstring token;
    LONG value = 7;
    EXPECT_TRUE(maps.ToToken(M::kDetectorForward, 5, &token));
    EXPECT_EQ(token, L"SAMP");
    EXPECT_TRUE(maps.FromToken(M::kDetectorReverse, L"SAMP", &value));
    EXPECT_EQ(value, 5);
    value = 7;
    EXPECT_FALSE(maps.FromToken(M::kDetectorReverse, L"samp", &value));
    EXPECT_FALSE(maps.FromToken(M::kDetectorReverse, L"SAMP\n", &value));
    EXPECT_FALSE(maps.FromToken(M::kDetectorReverse, L"", &value));
    EXPECT_FALSE(maps.FromToken(M::kDetectorReverse, L"SAM", &value));
    EXPECT_EQ(value, 7);
    EXPECT_FALSE(maps.ToToken(M::kDetectorForward, 0, &token));
    EXPECT_FALSE(maps.ToToken(M::kDetectorForward, 7, &token));
    // A map of one direction is not found under the other's identifier.
    EXPECT_FALSE(maps.FromToken(M::kDetectorForward, L"SAMP", &value));
    EXPECT_FALSE(maps.ToToken(M::kDetectorReverse, 5, &token));
    // A VARIANT_BOOL true is -1 only.
    EXPECT_FALSE(maps.ToToken(M::kOnOffForward, 1, &token));
    EXPECT_EQ(token, L"SAMP");
}

TEST(TranslateMaps, EmptyTokensAreNeverAccepted) {
    const TranslateMaps maps;
    LONG value = 3;
    // The acquisition-status placeholder holds only the empty token.
    EXPECT_FALSE(maps.FromToken(M::kAcquisitionStatusReverse, L"", &value));
    EXPECT_EQ(value, 3);
}

TEST(TranslateMaps, FirstEntryOfARepeatedKeyStays) {
    TranslateMaps maps;
    const auto scratch = static_cast<TranslateMap>(1000);
    maps.AddForward(1, L"FIRST");
    maps.AddForward(1, L"SECOND");
    maps.AddForward(2, L"OTHER");
    maps.Commit(scratch);
    std::wstring token;
    ASSERT_TRUE(maps.ToToken(scratch, 1, &token));
    EXPECT_EQ(token, L"FIRST");
    ASSERT_TRUE(maps.ToToken(scratch, 2, &token));
    EXPECT_EQ(token, L"OTHER");

    const auto reverse = static_cast<TranslateMap>(1001);
    maps.AddReverse(L"X", 1);
    maps.AddReverse(L"X", 2);
    maps.Commit(reverse);
    LONG value = 0;
    ASSERT_TRUE(maps.FromToken(reverse, L"X", &value));
    EXPECT_EQ(value, 1);
    // Commit emptied the pending tables: the reverse entries did not join the forward map.
    EXPECT_FALSE(maps.FromToken(scratch, L"X", &value));
}

TEST(TranslateMaps, CommitWithNothingPendingShowsTheMessageAndFilesNothing) {
    TranslateMaps maps;
    EXPECT_EQ(MessagesLog(), "");  // the fixed build sequence never misuses Commit
    maps.Commit(M::kDetectorForward);
    maps.Commit(static_cast<TranslateMap>(1002));
    EXPECT_EQ(MessagesLog(),
              "Error: Bad use of translate maps\nError: Bad use of translate maps\n");
    std::wstring token;
    EXPECT_TRUE(maps.ToToken(M::kDetectorForward, 1, &token));  // the existing map stays
    EXPECT_EQ(token, L"APE");
    LONG value = 0;
    EXPECT_FALSE(maps.ToToken(static_cast<TranslateMap>(1002), 0, &token));
    EXPECT_FALSE(maps.FromToken(static_cast<TranslateMap>(1002), L"1", &value));
}

TEST(TranslateMaps, WindowSuffixFollowsTheScreen) {
    const TranslateMaps maps;
    std::wstring suffix;
    ASSERT_TRUE(maps.WindowSuffix(TevoActiveScreenA, &suffix));
    EXPECT_EQ(suffix, L"1");
    ASSERT_TRUE(maps.WindowSuffix(TevoActiveScreenB, &suffix));
    EXPECT_EQ(suffix, L"2");
    EXPECT_FALSE(maps.WindowSuffix(2, &suffix));
    EXPECT_FALSE(maps.WindowSuffix(-1, &suffix));
}

TEST(TraceNames, ListsAndNumbers) {
    EXPECT_EQ(std::wstring(kSpecAnTraceNames[2]), L"SpecAnTrace3");
    EXPECT_EQ(std::wstring(kTevoTraceNames[0]), L"Trace1");
    EXPECT_EQ(std::wstring(kTevoTraceNames[5]), L"Trace6");
    EXPECT_EQ(TraceNumberOfIndex(2), 3);
}

}  // namespace
}  // namespace tevo::driver

#include "instrument/peak_search.h"

#include <gtest/gtest.h>

#include <vector>

using namespace tevo::emulator;

namespace {

//                                  0    1    2    3    4    5    6    7    8    9   10   11
const std::vector<float> kTrace = {-90, -60, -90, -89, -87, -89, -90, -40, -90, -70, -70, -90};

}  // namespace

TEST(PeakSearch, PeaksNeedTheExcursionOnBothSides) {
    EXPECT_EQ(FindPeaks(kTrace, PeakCriteria{6, std::nullopt}), (std::vector<size_t>{1, 7, 9}));
    // -87 rises only 3 dB above its valleys.
    EXPECT_EQ(FindPeaks(kTrace, PeakCriteria{2, std::nullopt}), (std::vector<size_t>{1, 4, 7, 9}));
    EXPECT_EQ(FindPeaks(kTrace, PeakCriteria{6, -65.0}), (std::vector<size_t>{1, 7}));
    EXPECT_EQ(FindPeaks(kTrace, PeakCriteria{40, std::nullopt}), (std::vector<size_t>{7}));
    EXPECT_TRUE(FindPeaks({}, PeakCriteria{}).empty());
}

TEST(PeakSearch, HighestLowestNextLowerLeftAndRight) {
    const PeakCriteria criteria{6, std::nullopt};
    EXPECT_EQ(FindHighest(kTrace, criteria), 7u);
    EXPECT_EQ(FindHighest(kTrace, PeakCriteria{6, -30.0}), std::nullopt);
    EXPECT_EQ(FindLowest(kTrace), 0u);
    EXPECT_EQ(FindNextLower(kTrace, 7, criteria), 1u);  // -60 is the next below -40
    EXPECT_EQ(FindNextLower(kTrace, 1, criteria), 9u);  // then the -70 plateau
    EXPECT_EQ(FindNextLower(kTrace, 9, criteria), std::nullopt);
    EXPECT_EQ(FindNextLeft(kTrace, 7, criteria), 1u);
    EXPECT_EQ(FindNextLeft(kTrace, 1, criteria), std::nullopt);
    EXPECT_EQ(FindNextRight(kTrace, 7, criteria), 9u);
    EXPECT_EQ(FindNextRight(kTrace, 9, criteria), std::nullopt);
    EXPECT_EQ(FindHighest({}, criteria), std::nullopt);
}

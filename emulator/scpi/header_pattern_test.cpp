#include "scpi/header_pattern.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace scpi = tevo::emulator::scpi;
using Outcome = scpi::HeaderPattern::Outcome;
using scpi::HeaderPattern;

namespace {

std::vector<scpi::Keyword> Keywords(std::string_view header) {
    return scpi::ParseUnit(header).header.keywords;
}

}  // namespace

TEST(HeaderPattern, ShortAndLongFormsOptionalNodesAndSuffixRoles) {
    const HeaderPattern pattern("[SENSe<w>]:FREQuency:CENTer");
    EXPECT_EQ(pattern.MatchKeywords(Keywords("SENS:FREQ:CENT")).outcome, Outcome::kMatched);
    EXPECT_EQ(pattern.MatchKeywords(Keywords("sense:frequency:center")).outcome, Outcome::kMatched);
    EXPECT_EQ(pattern.MatchKeywords(Keywords("FREQ:CENT")).outcome, Outcome::kMatched);
    // Forms between short and long are not mnemonics of the node.
    EXPECT_EQ(pattern.MatchKeywords(Keywords("SENS:FREQU:CENT")).outcome, Outcome::kNoMatch);
    EXPECT_EQ(pattern.MatchKeywords(Keywords("SENS:FREQ")).outcome, Outcome::kNoMatch);

    const auto match = pattern.MatchKeywords(Keywords("SENS2:FREQ:CENT"));
    EXPECT_EQ(match.suffixes.window, 2);
    EXPECT_EQ(pattern.MatchKeywords(Keywords("FREQ:CENT")).suffixes.window, 1);
    EXPECT_EQ(pattern.MatchKeywords(Keywords("SENS3:FREQ:CENT")).outcome,
              Outcome::kSuffixOutOfRange);
    EXPECT_EQ(pattern.MatchKeywords(Keywords("SENS0:FREQ:CENT")).outcome,
              Outcome::kSuffixOutOfRange);
    // A suffix where the node takes none.
    EXPECT_EQ(pattern.MatchKeywords(Keywords("SENS:FREQ2:CENT")).outcome,
              Outcome::kSuffixOutOfRange);

    const HeaderPattern marker("CALCulate<w>:MARKer<m>[:STATe]");
    const auto m = marker.MatchKeywords(Keywords("CALC2:MARK4"));
    ASSERT_EQ(m.outcome, Outcome::kMatched);
    EXPECT_EQ(m.suffixes.window, 2);
    EXPECT_EQ(m.suffixes.marker, 4);
    EXPECT_EQ(marker.MatchKeywords(Keywords("CALC:MARK5")).outcome, Outcome::kSuffixOutOfRange);
}

TEST(HeaderPattern, ThePathEndsAtTheParentOfTheResolvedLeaf) {
    // With an implied leaf the path keeps the last written node: "COUN ON;RES 10" is
    // CALC:MARK:COUN:RES.
    const HeaderPattern state("CALCulate<w>:MARKer<m>:COUNt[:STATe]");
    const auto match = state.MatchKeywords(Keywords("CALC2:MARK:COUN"));
    ASSERT_EQ(match.outcome, Outcome::kMatched);
    ASSERT_EQ(match.path.size(), 3u);
    EXPECT_EQ(match.path[0].name, "CALCULATE");
    EXPECT_EQ(match.path[0].suffix, 2);
    EXPECT_TRUE(match.path[0].canonical);
    EXPECT_EQ(match.path[2].name, "COUNT");

    std::vector<scpi::Keyword> relative = match.path;
    relative.push_back(scpi::Keyword{"RES", std::nullopt, false});
    const HeaderPattern resolution("CALCulate<w>:MARKer<m>:COUNt:RESolution");
    const auto next = resolution.MatchKeywords(relative);
    EXPECT_EQ(next.outcome, Outcome::kMatched);
    EXPECT_EQ(next.suffixes.window, 2);  // the suffix travels with the path

    // An omitted optional node is part of the path too.
    const HeaderPattern center("[SENSe<w>]:FREQuency:CENTer");
    const auto implied = center.MatchKeywords(Keywords("FREQ:CENT"));
    ASSERT_EQ(implied.path.size(), 2u);
    EXPECT_EQ(implied.path[0].name, "SENSE");
    // A canonical keyword matches only the long name it stands for.
    EXPECT_EQ(center
                  .MatchKeywords({scpi::Keyword{"SENS", std::nullopt, true},
                                  scpi::Keyword{"FREQ", std::nullopt, false},
                                  scpi::Keyword{"CENT", std::nullopt, false}})
                  .outcome,
              Outcome::kNoMatch);
}

TEST(HeaderPattern, CommonCommandsAndMalformedPatterns) {
    const HeaderPattern idn("*IDN");
    EXPECT_TRUE(idn.common());
    EXPECT_EQ(idn.MatchKeywords(scpi::ParseUnit("*idn?").header.keywords).outcome,
              Outcome::kMatched);
    EXPECT_EQ(idn.MatchKeywords(scpi::ParseUnit("*IDNX?").header.keywords).outcome,
              Outcome::kNoMatch);
    EXPECT_THROW(HeaderPattern("[SENSe"), std::invalid_argument);
    EXPECT_THROW(HeaderPattern("SENSe<q>:X"), std::invalid_argument);
    EXPECT_THROW(HeaderPattern("sense:x"), std::invalid_argument);  // no short form
    EXPECT_THROW(HeaderPattern(""), std::invalid_argument);
}

#include "session/query_scanner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tevo::visa {
namespace {

bool IsQueryInPieces(const std::vector<std::string>& pieces) {
    QueryScanner scanner;
    for (const std::string& piece : pieces) {
        scanner.Scan(reinterpret_cast<const ViByte*>(piece.data()), piece.size());
    }
    return scanner.SawQuery();
}

bool IsQuery(const std::string& message) {
    return IsQueryInPieces({message});
}

TEST(QueryScanner, FindsQueryHeaders) {
    EXPECT_TRUE(IsQuery("*IDN?"));
    EXPECT_TRUE(IsQuery("INIT;*OPC?"));
    EXPECT_TRUE(IsQuery(":SENS1:FREQ:CENT?"));
    EXPECT_TRUE(IsQuery("TRAC? TRACE1"));
    EXPECT_FALSE(IsQuery("*RST"));
    EXPECT_FALSE(IsQuery("SENS1:FREQ:CENT 1000000.000000"));
    EXPECT_FALSE(IsQuery(""));
}

TEST(QueryScanner, IgnoresQuestionMarksInStringsAndBlockData) {
    EXPECT_FALSE(IsQuery("DISP:TEXT \"Ready?\""));
    EXPECT_FALSE(IsQuery("DISP:TEXT 'Ready?'"));
    EXPECT_FALSE(IsQuery("DISP:TEXT \"say \"\"why?\"\"\""));
    EXPECT_TRUE(IsQuery("DISP:TEXT \"a\";:DISP:TEXT?"));
    EXPECT_FALSE(IsQuery("TRAC:DATA TRACE1,#14a?b?"));
    EXPECT_TRUE(IsQuery("TRAC:DATA TRACE1,#14a?b?;*OPC?"));
    EXPECT_TRUE(IsQuery("CALC:DATA #H1F;*ESR?"));  // "#H" numbers are not blocks
}

TEST(QueryScanner, KeepsItsPlaceAcrossPiecesOfOneMessage) {
    EXPECT_FALSE(IsQueryInPieces({"TRAC:DATA TRACE1,#2", "10????", "????"}));
    EXPECT_TRUE(IsQueryInPieces({"TRAC:DATA TRACE1,#2", "10????", "????", ";*OPC?"}));
    EXPECT_FALSE(IsQueryInPieces({"DISP:TEXT \"one", "?two\""}));
    EXPECT_TRUE(IsQueryInPieces({"SENS:FREQ", ":CENT?"}));
}

TEST(QueryScanner, ResetStartsANewMessage) {
    QueryScanner scanner;
    const std::string open_string = "DISP:TEXT \"unfinished";
    scanner.Scan(reinterpret_cast<const ViByte*>(open_string.data()), open_string.size());
    scanner.Reset();
    const std::string query = "*IDN?";
    scanner.Scan(reinterpret_cast<const ViByte*>(query.data()), query.size());
    EXPECT_TRUE(scanner.SawQuery());
}

}  // namespace
}  // namespace tevo::visa

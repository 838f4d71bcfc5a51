#include "scpi/message_framer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using tevo::emulator::scpi::MessageFramer;

namespace {

std::vector<std::string> Drain(MessageFramer& framer) {
    std::vector<std::string> out;
    MessageFramer::Message message;
    while (framer.Next(message))
        out.push_back(message.overrun ? "<overrun>" : message.text);
    return out;
}

}  // namespace

TEST(MessageFramer, EndsMessagesAtLineFeedAndDropsCarriageReturn) {
    MessageFramer framer;
    framer.Append("*IDN?\nSENS:FREQ:STAR 1e6\r\nINIT");
    EXPECT_EQ(Drain(framer), (std::vector<std::string>{"*IDN?", "SENS:FREQ:STAR 1e6"}));
    EXPECT_TRUE(framer.HasPartial());
    framer.Append(";*OPC?\n");
    EXPECT_EQ(Drain(framer), (std::vector<std::string>{"INIT;*OPC?"}));
    EXPECT_FALSE(framer.HasPartial());
}

TEST(MessageFramer, ByteByByteArrivalGivesTheSameMessages) {
    const std::string stream = "A 1\nTRAC:DATA TRACE1,#15ab\ncd\nB\n";
    MessageFramer framer;
    std::vector<std::string> got;
    for (const char c : stream) {
        framer.Append(std::string(1, c));
        for (const std::string& m : Drain(framer))
            got.push_back(m);
    }
    EXPECT_EQ(got, (std::vector<std::string>{"A 1", "TRAC:DATA TRACE1,#15ab\ncd", "B"}));
}

TEST(MessageFramer, BlockDataMayHoldLineFeedsButQuotesAndBadHeadersDoNot) {
    MessageFramer framer;
    // A definite-length block with 0x0A and 0x00 inside; its header split over two appends.
    framer.Append(std::string("X #2", 4));
    framer.Append(std::string("05\n\0\n\n\n\nY\n", 10));
    EXPECT_EQ(Drain(framer), (std::vector<std::string>{std::string("X #205\n\0\n\n\n", 11), "Y"}));
    // '#' inside a string is text; "#5" followed by a non-digit is no block header.
    framer.Append("S '#3ab'\nT #5\nU\n");
    EXPECT_EQ(Drain(framer), (std::vector<std::string>{"S '#3ab'", "T #5", "U"}));
    // An unterminated string ends at the line feed all the same.
    framer.Append("P 'open\nQ\n");
    EXPECT_EQ(Drain(framer), (std::vector<std::string>{"P 'open", "Q"}));
}

TEST(MessageFramer, OverlongMessagesAreDroppedUpToTheirEnd) {
    MessageFramer framer(16);
    framer.Append("SHORT\n" + std::string(10, 'a'));
    framer.Append(std::string(10, 'b'));  // now over the limit without a terminator
    framer.Append(std::string(5, 'c') + "\nNEXT\n");
    EXPECT_EQ(Drain(framer), (std::vector<std::string>{"SHORT", "<overrun>", "NEXT"}));
    // A block that announces more than the limit is an overrun too.
    framer.Append("D #9999999999\nAFTER\n");
    EXPECT_EQ(Drain(framer), (std::vector<std::string>{"<overrun>", "AFTER"}));
}

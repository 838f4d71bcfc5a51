// Replies of the analyzer emulator delivered in two TCP segments, cut at every byte
// position in turn by a relay: every read returns what an uncut reply gives.
#include <gtest/gtest.h>

#include <string>

#include "emulator_session.h"
#include "splitting_relay.h"
#include "tevo/visa.h"

namespace tevo::visa::emulator_tests {
namespace {

TEST(EmulatorSplitDelivery, ReplyCutAtEveryByteReadsTheSameAsWhole) {
    Emulator emulator(InstantSweeps());
    emulator.Start(0);
    SplittingRelay relay(emulator.port());
    TestSession session(relay.Resource());
    int delivered = 0;

    // A short frozen trace (101 points, 404 data bytes) holding a line feed in its data.
    ASSERT_EQ(session.Write("FORM REAL,32;:SENS:SWE:POIN 101;:INIT:CONT OFF"), VI_SUCCESS);
    std::string block;
    for (int sweep = 0; sweep < 50 && block.empty(); ++sweep) {
        ASSERT_EQ(session.Query("INIT;*OPC?").bytes, "1\n");
        ASSERT_TRUE(relay.WaitDelivered(++delivered));
        const std::string reply = emulator.Execute("TRAC? TRACE1") + "\n";
        if (SplitBlock(reply).data.find('\n') != std::string::npos) {
            block = reply;
        }
    }
    ASSERT_FALSE(block.empty()) << "no sweep of 50 put a line feed into the trace data";
    ASSERT_EQ(SplitBlock(block).header, "#3404");

    struct Case {
        const char* query;
        std::string reply;
    };
    const Case cases[] = {
        {"SENS:FREQ:CENT?", emulator.Execute("SENS:FREQ:CENT?") + "\n"},
        {"TRAC? TRACE1", block},
    };
    for (const Case& c : cases) {
        const bool is_block = c.reply[0] == '#';
        // Position 0 sends the reply whole: the reference every cut is compared with.
        for (size_t split = 0; split < c.reply.size(); ++split) {
            relay.SplitRepliesAt(split);
            const ReadOutcome outcome = session.Query(c.query);
            ASSERT_TRUE(relay.WaitDelivered(++delivered)) << c.query << " cut at " << split;
            if (is_block && split == c.reply.size() - 1) {
                // The block was complete before its line feed came: the read does not wait
                // for it, and the late line feed is dropped before the next query.
                EXPECT_EQ(outcome.status, VI_SUCCESS) << split;
                EXPECT_EQ(outcome.bytes, c.reply.substr(0, split)) << split;
            } else {
                EXPECT_EQ(outcome.status, VI_SUCCESS_TERM_CHAR) << c.query << " cut at " << split;
                EXPECT_EQ(outcome.bytes, c.reply) << c.query << " cut at " << split;
            }
        }
    }
    relay.SplitRepliesAt(0);
    EXPECT_EQ(session.Query("*IDN?").bytes, std::string(kIdentity) + "\n");
    EXPECT_EQ(relay.SplitsNotSeen(), 0);
    EXPECT_EQ(relay.Failures(), 0);
}

}  // namespace
}  // namespace tevo::visa::emulator_tests

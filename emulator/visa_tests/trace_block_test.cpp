// Binary traces and long replies from the analyzer emulator through SOCKET sessions:
// definite-length blocks whose data holds line feeds, and reads limited by their count.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "emulator_session.h"
#include "tevo/visa.h"

namespace tevo::visa::emulator_tests {
namespace {

constexpr int kPoints = 625;
constexpr const char* kTraceQuery = "TRAC? TRACE1";

// Sets a frozen 625-point FORM REAL,32 trace whose data holds at least one 0x0A byte: new
// sweeps are taken until one does (the noise is pseudo-random, so a handful is plenty).
// Returns the emulator's own reply to the trace query, line feed included.
std::string PrepareTraceWithLineFeeds(EmulatorSession& s) {
    EXPECT_EQ(s.session.Write("FORM REAL,32;:SENS:SWE:POIN " + std::to_string(kPoints) +
                              ";:INIT:CONT OFF"),
              VI_SUCCESS);
    for (int sweep = 0; sweep < 50; ++sweep) {
        EXPECT_EQ(s.Query("INIT;*OPC?").bytes, "1\n");
        std::string reply = s.emulator.Execute(kTraceQuery) + "\n";
        if (SplitBlock(reply).data.find('\n') != std::string::npos) {
            return reply;
        }
    }
    ADD_FAILURE() << "no sweep of 50 put a line feed into the trace data";
    return {};
}

TEST(EmulatorTrace, RealTraceOf625PointsArrivesWholeWithTheLineFeedsInIt) {
    EmulatorSession s;
    const std::string expected = PrepareTraceWithLineFeeds(s);
    ASSERT_FALSE(expected.empty());

    const ReadOutcome trace = s.Query(kTraceQuery, 8192);
    EXPECT_EQ(trace.status, VI_SUCCESS_TERM_CHAR);
    const BlockReply block = SplitBlock(trace.bytes);
    EXPECT_EQ(block.header, "#42500");
    ASSERT_EQ(block.data.size(), 4u * kPoints);
    EXPECT_EQ(block.rest, "\n");
    EXPECT_NE(block.data.find('\n'), std::string::npos);
    EXPECT_EQ(trace.bytes, expected);
    // The values are the analyzer's levels: finite and within what it can display.
    for (float level : LittleEndianFloats(block.data)) {
        ASSERT_TRUE(std::isfinite(level));
        EXPECT_GT(level, -200.0f);
        EXPECT_LT(level, 30.0f);
    }

    // The session goes on with the next reply, not with a piece of the block.
    const ReadOutcome points = s.Query("SENS:SWE:POIN?");
    EXPECT_EQ(points.status, VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(points.bytes, std::to_string(kPoints) + "\n");
}

TEST(EmulatorTrace, LargestTraceArrivesWholeInOneRead) {
    // 32001 points of FORM REAL,64: a block of 256008 bytes, several times any socket or
    // receive chunk.
    EmulatorSession s;
    ASSERT_EQ(s.session.Write("FORM REAL,64;:SENS:SWE:POIN 32001;:INIT:CONT OFF"), VI_SUCCESS);
    ASSERT_EQ(s.Query("INIT;*OPC?").bytes, "1\n");
    const std::string expected = s.emulator.Execute(kTraceQuery) + "\n";
    ASSERT_EQ(SplitBlock(expected).header, "#6256008");

    const ReadOutcome trace = s.Query(kTraceQuery, 300000);
    EXPECT_EQ(trace.status, VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(trace.bytes.size(), expected.size());
    EXPECT_TRUE(trace.bytes == expected);  // not printed: a quarter of a megabyte
    EXPECT_EQ(s.Query("*OPC?").bytes, "1\n");
}

TEST(EmulatorTrace, CountLimitedReadsReturnTheReplyInPiecesAndKeepTheRest) {
    EmulatorSession s;
    const std::string identity = std::string(kIdentity) + "\n";

    // Text, five bytes at a time: every piece but the last reports the count.
    ASSERT_EQ(s.session.Write("*IDN?"), VI_SUCCESS);
    std::string joined;
    ReadOutcome piece;
    do {
        piece = s.session.Read(5);
        joined += piece.bytes;
        if (joined.size() < identity.size()) {
            EXPECT_EQ(piece.status, VI_SUCCESS_MAX_CNT) << joined;
            EXPECT_EQ(piece.bytes.size(), 5u);
        }
    } while (piece.status == VI_SUCCESS_MAX_CNT && joined.size() < identity.size());
    EXPECT_EQ(piece.status, VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(joined, identity);

    // A block, 1000 bytes at a time: the line feeds in its data end no piece.
    const std::string expected = PrepareTraceWithLineFeeds(s);
    ASSERT_FALSE(expected.empty());
    ASSERT_EQ(s.session.Write(kTraceQuery), VI_SUCCESS);
    joined.clear();
    for (int i = 0; i < 2; ++i) {
        piece = s.session.Read(1000);
        EXPECT_EQ(piece.status, VI_SUCCESS_MAX_CNT);
        EXPECT_EQ(piece.bytes.size(), 1000u);
        joined += piece.bytes;
    }
    piece = s.session.Read(1000);
    EXPECT_EQ(piece.status, VI_SUCCESS_TERM_CHAR);
    joined += piece.bytes;
    EXPECT_EQ(joined, expected);

    // A count that ends exactly with the block data: the reply is complete, and its line
    // feed is not taken for the next reply.
    const ReadOutcome exact = s.Query(kTraceQuery, expected.size() - 1);
    EXPECT_EQ(exact.status, VI_SUCCESS);
    EXPECT_EQ(exact.bytes, expected.substr(0, expected.size() - 1));
    EXPECT_EQ(s.Query("*IDN?").bytes, identity);

    // A count of zero moves nothing and loses nothing.
    ASSERT_EQ(s.session.Write("*OPC?"), VI_SUCCESS);
    piece = s.session.Read(0);
    EXPECT_EQ(piece.status, VI_SUCCESS_MAX_CNT);
    EXPECT_TRUE(piece.bytes.empty());
    EXPECT_EQ(s.session.Read(100).bytes, "1\n");
}

}  // namespace
}  // namespace tevo::visa::emulator_tests

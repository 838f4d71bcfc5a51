// Time-outs of SOCKET sessions to the analyzer emulator: how long they take, what they
// leave behind, late replies, and the time-out attribute itself.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "emulator_session.h"
#include "splitting_relay.h"
#include "tevo/visa.h"

namespace tevo::visa::emulator_tests {
namespace {

using namespace std::chrono_literals;

// A query that timed out after `timeout`, within the margin, with `partial` received.
void ExpectTimedOut(const ReadOutcome& outcome, std::chrono::milliseconds elapsed,
                    std::chrono::milliseconds timeout, size_t partial = 0) {
    EXPECT_EQ(outcome.status, VI_ERROR_TMO);
    EXPECT_EQ(outcome.bytes.size(), partial);
    EXPECT_GE(elapsed, timeout);
    EXPECT_LE(elapsed, timeout + kLateMargin);
}

TEST(EmulatorTimeOut, ReadsEndOnTimeAndTheNextQueryGetsItsOwnReply) {
    // Sweeps last until the test moves the clock: a query that waits for one never ends.
    EmulatorOptions options;
    options.manual_clock = true;
    EmulatorSession s(options);
    constexpr auto kTimeout = 300ms;
    ASSERT_EQ(s.session.SetTimeout(kTimeout.count()), VI_SUCCESS);
    ASSERT_EQ(s.session.Write("FORM REAL,32;:INIT:CONT OFF"), VI_SUCCESS);
    ASSERT_TRUE(s.emulator.WaitForMessages(1, 5s));
    const std::string center = s.emulator.Execute("SENS:FREQ:CENT?") + "\n";
    const std::string trace = s.emulator.Execute("TRAC? TRACE1") + "\n";
    ASSERT_EQ(SplitBlock(trace).header, "#42004");

    // The analyzer runs the query but never answers.
    s.emulator.InjectFault(Fault::NoReply("*IDN?"));
    Clock::time_point start = Clock::now();
    ReadOutcome outcome = s.Query("*IDN?");
    ExpectTimedOut(outcome, Since(start), kTimeout);
    outcome = s.Query("SENS:FREQ:CENT?");
    EXPECT_EQ(outcome.status, VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(outcome.bytes, center);

    // A block cut short: what came is returned with the time-out, and the next read starts
    // afresh instead of inside the unfinished block.
    s.emulator.InjectFault(Fault::CutReply("TRAC? TRACE1", 1000));
    start = Clock::now();
    outcome = s.Query("TRAC? TRACE1");
    ExpectTimedOut(outcome, Since(start), kTimeout, 1000);
    EXPECT_EQ(outcome.bytes, trace.substr(0, 1000));
    outcome = s.Query("TRAC? TRACE1");
    EXPECT_EQ(outcome.status, VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(outcome.bytes, trace);

    // A query that waits for a sweep that never ends: the next query gets its own reply,
    // and so does the one after it.
    start = Clock::now();
    outcome = s.Query("INIT;*OPC?");
    ExpectTimedOut(outcome, Since(start), kTimeout);
    outcome = s.Query("*IDN?");
    EXPECT_EQ(outcome.status, VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(outcome.bytes, std::string(kIdentity) + "\n");
    outcome = s.Query("SYST:ERR?");
    EXPECT_EQ(outcome.status, VI_SUCCESS_TERM_CHAR);
    EXPECT_NE(outcome.bytes.find(",\""), std::string::npos) << outcome.bytes;  // <code>,"<text>"

    EXPECT_EQ(s.emulator.ReceivedMessages(),
              (std::vector<std::string>{"FORM REAL,32;:INIT:CONT OFF", "*IDN?", "SENS:FREQ:CENT?",
                                        "TRAC? TRACE1", "TRAC? TRACE1", "INIT;*OPC?", "*IDN?",
                                        "SYST:ERR?"}));
    // Each query after a timed-out read went out on a new connection, so that the late
    // reply, should it still come, goes with the old one.
    EXPECT_EQ(s.emulator.ConnectionCount(), 4u);
}

TEST(EmulatorTimeOut, WriteEndsOnTimeWhileTheAnalyzerHoldsItsInputBack) {
    EmulatorOptions options;
    options.manual_clock = true;
    EmulatorSession s(options);
    // While a sweep holds *WAI, the analyzer takes in one more message and no further byte.
    ASSERT_EQ(s.session.Write("INIT:CONT OFF;:SENS:SWE:TIME 1;:INIT;*WAI"), VI_SUCCESS);
    ASSERT_EQ(s.session.Write("*OPC"), VI_SUCCESS);
    ASSERT_TRUE(s.emulator.WaitForMessages(1, 5s));

    constexpr auto kTimeout = 300ms;
    ASSERT_EQ(s.session.SetTimeout(kTimeout.count()), VI_SUCCESS);
    const std::string huge = "SYST:PASS '" + std::string(64 * 1024 * 1024, 'x') + "'";
    ViUInt32 sent = 0;
    const Clock::time_point start = Clock::now();
    const ViStatus status = viWrite(s.session.vi, reinterpret_cast<const ViByte*>(huge.data()),
                                    static_cast<ViUInt32>(huge.size()), &sent);
    const auto elapsed = Since(start);
    EXPECT_EQ(status, VI_ERROR_TMO);
    EXPECT_GT(sent, 0u);
    EXPECT_LT(sent, huge.size());
    EXPECT_GE(elapsed, kTimeout);
    EXPECT_LE(elapsed, kTimeout + kLateMargin);

    // The half-sent message goes with the connection. Once the sweep is over, the analyzer
    // finishes with the old connection and serves the new one.
    EXPECT_EQ(viClear(s.session.vi), VI_SUCCESS);
    ASSERT_EQ(s.session.SetTimeout(5000), VI_SUCCESS);
    s.emulator.AdvanceClock(1.5s);
    const ReadOutcome outcome = s.Query("*IDN?");
    EXPECT_EQ(outcome.status, VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(outcome.bytes, std::string(kIdentity) + "\n");
    const std::vector<std::string> received = s.emulator.ReceivedMessages();
    ASSERT_GE(received.size(), 3u);
    EXPECT_EQ(received[1], "*OPC");
    EXPECT_EQ(received.back(), "*IDN?");
    EXPECT_EQ(s.emulator.ConnectionCount(), 2u);
}

TEST(EmulatorTimeOut, LateReplyAfterClearNeverReachesALaterRead) {
    EmulatorSession s;
    ASSERT_EQ(s.session.SetTimeout(200), VI_SUCCESS);
    // The reply to the centre frequency comes 600 ms after the query.
    s.emulator.InjectFault(Fault::DelayReply("SENS:FREQ:CENT?", 600ms));
    const Clock::time_point start = Clock::now();
    const ReadOutcome timed_out = s.Query("SENS:FREQ:CENT?");
    ExpectTimedOut(timed_out, Since(start), 200ms);
    EXPECT_EQ(viClear(s.session.vi), VI_SUCCESS);

    // The next reply is held back until well after the late one was due, so the read
    // below is waiting when the late reply would come.
    ASSERT_EQ(s.session.SetTimeout(5000), VI_SUCCESS);
    s.emulator.InjectFault(Fault::DelayReply("*IDN?", 800ms));
    ReadOutcome outcome = s.Query("*IDN?");
    EXPECT_EQ(outcome.status, VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(outcome.bytes, std::string(kIdentity) + "\n");
    EXPECT_GE(Since(start), 600ms);
    outcome = s.Query("*OPC?");
    EXPECT_EQ(outcome.status, VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(outcome.bytes, "1\n");

    // The clear itself sent nothing to the analyzer.
    EXPECT_EQ(s.emulator.ReceivedMessages(),
              (std::vector<std::string>{"SENS:FREQ:CENT?", "*IDN?", "*OPC?"}));
}

TEST(EmulatorTimeOut, LateReplyAlreadyReceivedIsDroppedBeforeTheNextQuery) {
    Emulator emulator(InstantSweeps());
    emulator.Start(0);
    SplittingRelay relay(emulator.port());
    TestSession session(relay.Resource());
    ASSERT_EQ(session.SetTimeout(150), VI_SUCCESS);
    emulator.InjectFault(Fault::DelayReply("SENS:FREQ:CENT?", 400ms));
    EXPECT_EQ(session.Query("SENS:FREQ:CENT?").status, VI_ERROR_TMO);
    // The late reply is in the client's socket before the next query is written.
    ASSERT_TRUE(relay.WaitDelivered(1));

    ASSERT_EQ(session.SetTimeout(2000), VI_SUCCESS);
    ReadOutcome outcome = session.Query("*IDN?");
    EXPECT_EQ(outcome.status, VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(outcome.bytes, std::string(kIdentity) + "\n");
    EXPECT_EQ(session.Query("*OPC?").bytes, "1\n");
    EXPECT_EQ(relay.Failures(), 0);
    // The query after the time-out went out on a new connection; the late reply went with
    // the old one.
    EXPECT_EQ(emulator.ConnectionCount(), 2u);
}

TEST(EmulatorTimeOut, AttributeRoundTripsAndGovernsEveryRead) {
    Emulator emulator(InstantSweeps());
    emulator.Start(0);
    SplittingRelay relay(emulator.port());
    TestSession session(relay.Resource());
    ViUInt32 timeout = 0;
    ASSERT_EQ(viGetAttribute(session.vi, VI_ATTR_TMO_VALUE, &timeout), VI_SUCCESS);
    EXPECT_EQ(timeout, 2000u);
    for (ViUInt32 value : {VI_TMO_IMMEDIATE, 1u, 300u, 30000u, VI_TMO_INFINITE, 2000u}) {
        ASSERT_EQ(viSetAttribute(session.vi, VI_ATTR_TMO_VALUE, value), VI_SUCCESS);
        ASSERT_EQ(viGetAttribute(session.vi, VI_ATTR_TMO_VALUE, &timeout), VI_SUCCESS);
        EXPECT_EQ(timeout, value);
    }

    // Immediate: a read with nothing received fails at once ...
    ASSERT_EQ(session.SetTimeout(VI_TMO_IMMEDIATE), VI_SUCCESS);
    Clock::time_point start = Clock::now();
    ReadOutcome outcome = session.Read(100);
    EXPECT_EQ(outcome.status, VI_ERROR_TMO);
    EXPECT_TRUE(outcome.bytes.empty());
    EXPECT_LE(Since(start), kLateMargin);
    // ... a read of a reply already received succeeds, and so does a short write.
    EXPECT_EQ(session.Write("*IDN?"), VI_SUCCESS);
    ASSERT_TRUE(relay.WaitDelivered(1));
    outcome = session.Read(100);
    EXPECT_EQ(outcome.status, VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(outcome.bytes, std::string(kIdentity) + "\n");

    // Infinite: a reply that takes longer than any time-out used here still arrives.
    ASSERT_EQ(session.SetTimeout(300), VI_SUCCESS);
    emulator.InjectFault(Fault::DelayReply("SENS:FREQ:CENT?", 700ms));
    start = Clock::now();
    outcome = session.Query("SENS:FREQ:CENT?");
    ExpectTimedOut(outcome, Since(start), 300ms);
    ASSERT_TRUE(relay.WaitDelivered(2));  // the late reply, dropped before the next query
    ASSERT_EQ(session.SetTimeout(VI_TMO_INFINITE), VI_SUCCESS);
    emulator.InjectFault(Fault::DelayReply("SENS:FREQ:CENT?", 700ms));
    start = Clock::now();
    outcome = session.Query("SENS:FREQ:CENT?");
    EXPECT_GE(Since(start), 700ms);
    EXPECT_EQ(outcome.status, VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(outcome.bytes, emulator.Execute("SENS:FREQ:CENT?") + "\n");
    EXPECT_EQ(relay.Failures(), 0);
}

}  // namespace
}  // namespace tevo::visa::emulator_tests

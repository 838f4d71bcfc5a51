// The VISA library against the analyzer emulator over each transport (SOCKET, VXI-11, ...):
// time-outs and recovery, device clear, large blocks, count-limited reads and many threads
// on one session behave the same whichever protocol carries the messages.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <latch>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "emulator_session.h"
#include "testing/transports.h"
#include "tevo/visa.h"

namespace tevo::visa::emulator_tests {
namespace {

using namespace std::chrono_literals;
using testing::EmulatorTransport;
using testing::WholeReplyStatus;

class EveryTransport : public ::testing::TestWithParam<EmulatorTransport> {
  protected:
    void Open(EmulatorOptions options = InstantSweeps()) {
        emulator_ = std::make_unique<Emulator>(testing::Serving(std::move(options), GetParam()));
        emulator_->Start(0);
        session_ = std::make_unique<TestSession>(emulator_->ResourceName(GetParam()));
    }
    Emulator& emulator() { return *emulator_; }
    TestSession& session() { return *session_; }
    ViStatus Whole() const { return WholeReplyStatus(GetParam()); }

    // Reads a reply in pieces of `piece` bytes until a read ends it; the status of that read.
    ViStatus ReadInPieces(size_t piece, std::string* reply) {
        ReadOutcome outcome;
        do {
            outcome = session().Read(piece);
            *reply += outcome.bytes;
        } while (outcome.status == VI_SUCCESS_MAX_CNT);
        return outcome.status;
    }

  private:
    std::unique_ptr<Emulator> emulator_;
    std::unique_ptr<TestSession> session_;
};

void ExpectTimedOut(const ReadOutcome& outcome, std::chrono::milliseconds elapsed,
                    std::chrono::milliseconds timeout) {
    EXPECT_EQ(outcome.status, VI_ERROR_TMO);
    EXPECT_GE(elapsed, timeout);
    EXPECT_LE(elapsed, timeout + kLateMargin);
}

TEST_P(EveryTransport, TimedOutQueriesAreFollowedByTheRightReplies) {
    EmulatorOptions options;
    options.manual_clock = true;
    Open(options);
    constexpr auto kTimeout = 300ms;
    ASSERT_EQ(session().SetTimeout(kTimeout.count()), VI_SUCCESS);
    ASSERT_EQ(session().Write("FORM REAL,32;:INIT:CONT OFF"), VI_SUCCESS);
    ASSERT_TRUE(emulator().WaitForMessages(1, 5s));
    const std::string center = emulator().Execute("SENS:FREQ:CENT?") + "\n";
    const std::string trace = emulator().Execute("TRAC? TRACE1") + "\n";

    emulator().InjectFault(Fault::NoReply("*IDN?"));
    Clock::time_point start = Clock::now();
    ReadOutcome outcome = session().Query("*IDN?");
    ExpectTimedOut(outcome, Since(start), kTimeout);
    outcome = session().Query("SENS:FREQ:CENT?");
    EXPECT_EQ(outcome.status, Whole());
    EXPECT_EQ(outcome.bytes, center);

    // A reply cut short: a SOCKET read waits for the rest until the time-out; a gateway
    // passes the analyzer's replies on whole, so there the short reply ends with END. The
    // next query's reply is whole either way.
    emulator().InjectFault(Fault::CutReply("TRAC? TRACE1", 1000));
    start = Clock::now();
    outcome = session().Query("TRAC? TRACE1");
    if (GetParam() == EmulatorTransport::kSocket) {
        ExpectTimedOut(outcome, Since(start), kTimeout);
    } else {
        EXPECT_EQ(outcome.status, VI_SUCCESS);
    }
    EXPECT_TRUE(outcome.bytes == trace.substr(0, 1000));
    outcome = session().Query("TRAC? TRACE1");
    EXPECT_EQ(outcome.status, Whole());
    EXPECT_TRUE(outcome.bytes == trace) << outcome.bytes.size() << " bytes";

    // A query waiting for a sweep that never ends.
    start = Clock::now();
    outcome = session().Query("INIT;*OPC?");
    ExpectTimedOut(outcome, Since(start), kTimeout);
    outcome = session().Query("*IDN?");
    EXPECT_EQ(outcome.status, Whole());
    EXPECT_EQ(outcome.bytes, std::string(kIdentity) + "\n");

    EXPECT_EQ(emulator().ReceivedMessages(),
              (std::vector<std::string>{"FORM REAL,32;:INIT:CONT OFF", "*IDN?", "SENS:FREQ:CENT?",
                                        "TRAC? TRACE1", "TRAC? TRACE1", "INIT;*OPC?", "*IDN?"}));
}

TEST_P(EveryTransport, LateReplyAfterClearNeverReachesALaterRead) {
    Open();
    ASSERT_EQ(session().SetTimeout(200), VI_SUCCESS);
    emulator().InjectFault(Fault::DelayReply("SENS:FREQ:CENT?", 600ms));
    const Clock::time_point start = Clock::now();
    const ReadOutcome timed_out = session().Query("SENS:FREQ:CENT?");
    ExpectTimedOut(timed_out, Since(start), 200ms);
    EXPECT_EQ(viClear(session().vi), VI_SUCCESS);

    // The next reply is held back until after the late one was due.
    ASSERT_EQ(session().SetTimeout(5000), VI_SUCCESS);
    emulator().InjectFault(Fault::DelayReply("*IDN?", 800ms));
    ReadOutcome outcome = session().Query("*IDN?");
    EXPECT_EQ(outcome.status, Whole());
    EXPECT_EQ(outcome.bytes, std::string(kIdentity) + "\n");
    EXPECT_GE(Since(start), 600ms);
    outcome = session().Query("*OPC?");
    EXPECT_EQ(outcome.bytes, "1\n");
    EXPECT_EQ(emulator().ReceivedMessages(),
              (std::vector<std::string>{"SENS:FREQ:CENT?", "*IDN?", "*OPC?"}));
}

TEST_P(EveryTransport, ClearDropsAReplyNotYetRead) {
    Open();
    ASSERT_EQ(session().Write("*IDN?"), VI_SUCCESS);
    ASSERT_TRUE(emulator().WaitForMessages(1, 5s));
    EXPECT_EQ(viClear(session().vi), VI_SUCCESS);
    const ReadOutcome outcome = session().Query("*OPC?");
    EXPECT_EQ(outcome.status, Whole());
    EXPECT_EQ(outcome.bytes, "1\n");
}

TEST_P(EveryTransport, LargeBlocksGoBothWaysWhole) {
    Open();
    ASSERT_EQ(session().Write("FORM REAL,64;:SENS:SWE:POIN 32001;:INIT:CONT OFF"), VI_SUCCESS);
    ASSERT_TRUE(emulator().WaitForMessages(1, 5s));
    const std::string trace = emulator().Execute("TRAC? TRACE1") + "\n";
    ASSERT_EQ(SplitBlock(trace).header, "#6256008");
    ReadOutcome outcome = session().Query("TRAC? TRACE1", trace.size() + 100);
    EXPECT_EQ(outcome.status, Whole());
    EXPECT_TRUE(outcome.bytes == trace) << outcome.bytes.size() << " bytes";

    // One message far longer than a VXI-11 link's largest write arrives as one message.
    std::string message = "*ESE 4";
    while (message.size() < 20000) {
        message += ";*ESE 4";
    }
    ASSERT_EQ(session().Write(message), VI_SUCCESS);
    outcome = session().Query("*ESE?");
    EXPECT_EQ(outcome.status, Whole());
    EXPECT_EQ(outcome.bytes, "4\n");
    const std::vector<std::string> received = emulator().ReceivedMessages();
    ASSERT_EQ(received.size(), 4u);
    EXPECT_EQ(received[2], message);
}

TEST_P(EveryTransport, CountLimitedReadsLeaveTheRestForTheNextRead) {
    Open();
    ASSERT_EQ(session().Write("FORM REAL,32;:SENS:SWE:POIN 1001;:INIT:CONT OFF"), VI_SUCCESS);
    ASSERT_TRUE(emulator().WaitForMessages(1, 5s));
    const std::string trace = emulator().Execute("TRAC? TRACE1") + "\n";
    ASSERT_EQ(session().Write("TRAC? TRACE1"), VI_SUCCESS);
    std::string reply;
    ReadOutcome first = session().Read(1000);
    EXPECT_EQ(first.status, VI_SUCCESS_MAX_CNT);
    EXPECT_EQ(first.bytes.size(), 1000u);
    reply = first.bytes;
    EXPECT_EQ(ReadInPieces(1000, &reply), Whole());
    EXPECT_TRUE(reply == trace) << reply.size() << " bytes";

    // A count that ends on the reply's last byte still reports the end of the message.
    const std::string identity = std::string(kIdentity) + "\n";
    ReadOutcome exact = session().Query("*IDN?", identity.size());
    EXPECT_EQ(exact.status, Whole());
    EXPECT_EQ(exact.bytes, identity);

    // A reply read only in part is not read by the next query.
    ReadOutcome part = session().Query("*IDN?", 5);
    EXPECT_EQ(part.status, VI_SUCCESS_MAX_CNT);
    EXPECT_EQ(part.bytes, identity.substr(0, 5));
    const ReadOutcome next = session().Query("*OPC?");
    EXPECT_EQ(next.status, Whole());
    EXPECT_EQ(next.bytes, "1\n");
}

TEST_P(EveryTransport, EveryThreadGetsTheReplyToItsOwnQuery) {
    Open();
    ASSERT_EQ(session().Write("FORM REAL,32;:SENS:SWE:POIN 201;:INIT:CONT OFF"), VI_SUCCESS);
    ASSERT_EQ(session().Query("INIT;*OPC?").bytes, "1\n");
    struct Worker {
        std::string query;
        std::string reply;
        size_t piece;
    };
    const std::vector<Worker> workers = {
        {"*IDN?", std::string(kIdentity) + "\n", 4096},
        {"SENS:SWE:POIN?", "201\n", 4096},
        {"SENS:FREQ:CENT?", emulator().Execute("SENS:FREQ:CENT?") + "\n", 3},
        {"TRAC? TRACE1", emulator().Execute("TRAC? TRACE1") + "\n", 4096},
        {"TRAC? TRACE1", emulator().Execute("TRAC? TRACE1") + "\n", 300},
    };
    constexpr int kRounds = 20;
    std::latch start(static_cast<std::ptrdiff_t>(workers.size()));
    std::atomic<int> wrong_replies{0};
    std::atomic<int> failed_operations{0};
    std::mutex mutex;
    std::condition_variable finished_changed;
    size_t finished = 0;
    std::vector<std::thread> threads;
    for (const Worker& worker : workers) {
        threads.emplace_back([&, worker] {
            start.arrive_and_wait();
            for (int round = 0; round < kRounds; ++round) {
                if (session().Write(worker.query) != VI_SUCCESS) {
                    ++failed_operations;
                    continue;
                }
                std::string reply;
                if (ReadInPieces(worker.piece, &reply) != Whole()) {
                    ++failed_operations;
                }
                if (reply != worker.reply) {
                    ++wrong_replies;
                }
            }
            std::lock_guard<std::mutex> lock(mutex);
            ++finished;
            finished_changed.notify_all();
        });
    }
    {
        // Watchdog: a deadlock fails the test, and closing the session wakes every thread.
        std::unique_lock<std::mutex> lock(mutex);
        const bool all_done =
            finished_changed.wait_for(lock, 60s, [&] { return finished == workers.size(); });
        EXPECT_TRUE(all_done) << "threads still blocked after 60 s";
        if (!all_done) {
            lock.unlock();
            viClose(session().vi);
        }
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failed_operations.load(), 0);
    EXPECT_EQ(wrong_replies.load(), 0);
}

INSTANTIATE_TEST_SUITE_P(, EveryTransport, ::testing::ValuesIn(testing::kEmulatorTransports),
                         testing::TransportParamName());

}  // namespace
}  // namespace tevo::visa::emulator_tests

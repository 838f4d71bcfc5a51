#include "session/exchange_gate.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "testing/scripted_peer.h"
#include "testing/session_fixture.h"

namespace tevo::visa {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Runs f in another thread and returns its result; the gate is per thread.
template <typename F>
auto InOtherThread(F f) {
    return std::async(std::launch::async, f).get();
}

TEST(ExchangeGate, ReservationKeepsOtherThreadsOutUntilReleased) {
    ExchangeGate gate;
    ASSERT_EQ(gate.Enter(Deadline::AfterMilliseconds(1000)), VI_SUCCESS);
    gate.Leave(true, Deadline::Never());  // a query was sent

    // The owner goes on; another thread waits until its own deadline.
    ASSERT_EQ(gate.Enter(Deadline::AfterMilliseconds(0)), VI_SUCCESS);
    gate.Leave(true, Deadline::Never());
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(InOtherThread([&] { return gate.Enter(Deadline::AfterMilliseconds(100)); }),
              VI_ERROR_TMO);
    EXPECT_GE(Clock::now() - start, 100ms);

    // Once the owner has read its reply, anyone may enter.
    ASSERT_EQ(gate.Enter(Deadline::AfterMilliseconds(0)), VI_SUCCESS);
    gate.Leave(false, Deadline::Never());
    EXPECT_EQ(InOtherThread([&] {
                  const ViStatus status = gate.Enter(Deadline::AfterMilliseconds(0));
                  gate.Leave(false, Deadline::Never());
                  return status;
              }),
              VI_SUCCESS);
}

TEST(ExchangeGate, WaitingThreadGetsInWhenTheOwnerReleases) {
    ExchangeGate gate;
    ASSERT_EQ(gate.Enter(Deadline::Never()), VI_SUCCESS);
    gate.Leave(true, Deadline::Never());
    std::promise<void> waiting;
    auto other = std::async(std::launch::async, [&] {
        waiting.set_value();
        const ViStatus status = gate.Enter(Deadline::AfterMilliseconds(10000));
        gate.Leave(false, Deadline::Never());
        return status;
    });
    waiting.get_future().wait();
    ASSERT_EQ(gate.Enter(Deadline::Never()), VI_SUCCESS);
    gate.Leave(false, Deadline::Never());
    EXPECT_EQ(other.get(), VI_SUCCESS);
}

TEST(ExchangeGate, AnExpiredLeaseLetsOthersIn) {
    ExchangeGate gate;
    ASSERT_EQ(gate.Enter(Deadline::Never()), VI_SUCCESS);
    gate.Leave(true, Deadline::AfterMilliseconds(150));  // a query never read
    const Clock::time_point start = Clock::now();
    bool took_over = false;
    EXPECT_EQ(InOtherThread([&] {
                  const ViStatus status = gate.Enter(Deadline::AfterMilliseconds(5000), &took_over);
                  gate.Leave(false, Deadline::Never());
                  return status;
              }),
              VI_SUCCESS);
    EXPECT_TRUE(took_over);
    const auto waited = Clock::now() - start;
    EXPECT_GE(waited, 140ms);
    EXPECT_LE(waited, 150ms + 1500ms);
}

TEST(ExchangeGate, ClosingFailsWaitersAndLaterCallers) {
    ExchangeGate gate;
    ASSERT_EQ(gate.Enter(Deadline::Never()), VI_SUCCESS);
    gate.Leave(true, Deadline::Never());
    std::promise<void> waiting;
    auto other = std::async(std::launch::async, [&] {
        waiting.set_value();
        return gate.Enter(Deadline::Never());
    });
    waiting.get_future().wait();
    gate.CloseAndWaitIdle();
    EXPECT_EQ(other.get(), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(gate.Enter(Deadline::Never()), VI_ERROR_INV_OBJECT);
}

TEST(SessionThreads, SeveralThreadsNeverInterleaveAQueryWithAnother) {
    using testing::PeerConnection;
    using testing::ScriptedPeer;
    // Answers "Q<thread>-<n>?" with "R<thread>-<n>" at once, in the order received; commands
    // get nothing.
    ScriptedPeer peer(testing::Answering([](const std::string& line) -> std::optional<std::string> {
        if (line.size() > 1 && line[0] == 'Q' && line.back() == '?') {
            return "R" + line.substr(1, line.size() - 2) + "\n";
        }
        return std::nullopt;
    }));
    testing::TestSession session(peer.Resource());
    constexpr int kThreads = 4;
    constexpr int kQueries = 40;
    std::atomic<int> mismatches{0};
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    threads.reserve(kThreads + 1);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int n = 0; n < kQueries; ++n) {
                const std::string id = std::to_string(t) + "-" + std::to_string(n);
                testing::ReadOutcome reply = session.Query("Q" + id + "?");
                if (reply.status < VI_SUCCESS) {
                    ++failures;
                } else if (reply.bytes != "R" + id + "\n") {
                    ++mismatches;
                }
            }
        });
    }
    // A thread that only sends commands never holds the others up.
    threads.emplace_back([&] {
        for (int n = 0; n < kQueries; ++n) {
            if (session.Write("DISP:TEXT \"step " + std::to_string(n) + "?\"") < VI_SUCCESS) {
                ++failures;
            }
        }
    });
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(mismatches.load(), 0);
}

TEST(SessionThreads, AQueryThatIsNeverReadHoldsOthersOnlyForItsLease) {
    testing::ScriptedPeer peer(testing::Answering(
        [](const std::string& line) -> std::optional<std::string> { return line + "\n"; }));
    testing::TestSession session(peer.Resource());
    ASSERT_EQ(session.SetTimeout(300), VI_SUCCESS);
    // This thread asks and walks away without reading.
    ASSERT_EQ(session.Write("FORGOTTEN?"), VI_SUCCESS);
    const Clock::time_point start = Clock::now();
    testing::ReadOutcome reply = InOtherThread([&] { return session.Query("MINE?"); });
    const auto waited = Clock::now() - start;
    EXPECT_GE(waited, 250ms);
    EXPECT_LE(waited, 300ms + 1500ms);
    // The abandoned reply never reaches the other thread.
    EXPECT_EQ(reply.status, VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(reply.bytes, "MINE?\n");
}

}  // namespace
}  // namespace tevo::visa

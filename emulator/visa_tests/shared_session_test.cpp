// Several threads sharing one SOCKET session to the analyzer emulator: each query's reply
// goes to the thread that sent it, whole, also when that thread reads it in pieces.
#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <string>
#include <thread>
#include <vector>

#include "emulator_session.h"
#include "tevo/visa.h"

namespace tevo::visa::emulator_tests {
namespace {

TEST(EmulatorSharedSession, EveryThreadGetsTheReplyToItsOwnQuery) {
    EmulatorSession s;
    ASSERT_EQ(s.session.Write("FORM REAL,32;:SENS:SWE:POIN 201;:INIT:CONT OFF"), VI_SUCCESS);
    ASSERT_EQ(s.Query("INIT;*OPC?").bytes, "1\n");
    s.emulator.ClearReceivedMessages();

    struct Worker {
        std::string query;
        std::string reply;
        size_t piece;  // the count of each read
    };
    const std::vector<Worker> workers = {
        {"*IDN?", std::string(kIdentity) + "\n", 4096},
        {"FORM?", "REAL,32\n", 4096},
        {"SENS:SWE:POIN?", "201\n", 4096},
        {"SENS:FREQ:CENT?", s.emulator.Execute("SENS:FREQ:CENT?") + "\n", 3},
        {"TRAC? TRACE1", s.emulator.Execute("TRAC? TRACE1") + "\n", 4096},
        {"TRAC? TRACE1", s.emulator.Execute("TRAC? TRACE1") + "\n", 300},
    };
    ASSERT_EQ(SplitBlock(workers[4].reply).header, "#3804");
    constexpr int kRounds = 30;

    std::latch start(static_cast<std::ptrdiff_t>(workers.size()));
    std::atomic<int> wrong_replies{0};
    std::atomic<int> failed_operations{0};
    std::vector<std::thread> threads;
    threads.reserve(workers.size());
    for (const Worker& worker : workers) {
        threads.emplace_back([&, worker] {
            start.arrive_and_wait();
            for (int round = 0; round < kRounds; ++round) {
                if (s.session.Write(worker.query) != VI_SUCCESS) {
                    ++failed_operations;
                    continue;
                }
                std::string reply;
                ReadOutcome piece;
                do {
                    piece = s.session.Read(worker.piece);
                    reply += piece.bytes;
                } while (piece.status == VI_SUCCESS_MAX_CNT);
                if (piece.status != VI_SUCCESS_TERM_CHAR) {
                    ++failed_operations;
                }
                if (reply != worker.reply) {
                    ++wrong_replies;
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failed_operations.load(), 0);
    EXPECT_EQ(wrong_replies.load(), 0);
    EXPECT_EQ(s.emulator.ReceivedMessages().size(), workers.size() * kRounds);
    EXPECT_EQ(s.emulator.ConnectionCount(), 1u);
}

}  // namespace
}  // namespace tevo::visa::emulator_tests

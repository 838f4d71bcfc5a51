// The whole-reply link that the protocol gateways use: replies come out whole even when a
// binary block holds line feeds, the analyzer sees an ordinary client, faults apply, and a
// blocked wait can be interrupted or bounded.
#include "gateway/instrument_link.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tevo/emulator/emulator.h"

using namespace std::chrono_literals;
using tevo::emulator::Emulator;
using tevo::emulator::EmulatorOptions;
using tevo::emulator::Fault;
using tevo::emulator::InstrumentLink;

namespace {

InstrumentLink::Clock::time_point In(std::chrono::milliseconds wait) {
    return InstrumentLink::Clock::now() + wait;
}

EmulatorOptions Instant() {
    EmulatorOptions options;
    options.time_scale = 0;
    return options;
}

}  // namespace

TEST(InstrumentLink, RepliesArriveWholeAndInOrderWithBlocksThatHoldLineFeeds) {
    Emulator emulator(Instant());
    emulator.Start(0);
    auto link = emulator.OpenLink("test");
    // Two queries in one write: two replies, each whole.
    ASSERT_TRUE(link->Send("*IDN?\nFORM REAL,32;:TRAC? TRACE1\n"));
    EXPECT_EQ(link->NextReply(In(5s)), "Valdacor,KLC,100482,3.12\n");
    const std::optional<std::string> block = link->NextReply(In(5s));
    ASSERT_TRUE(block.has_value());
    // "#" digit count, length, 4 bytes per point, then the line feed.
    ASSERT_GE(block->size(), 3u);
    EXPECT_EQ((*block)[0], '#');
    const size_t digits = static_cast<size_t>((*block)[1] - '0');
    const size_t length = std::stoul(block->substr(2, digits));
    EXPECT_EQ(block->size(), 2 + digits + length + 1);
    EXPECT_EQ(block->back(), '\n');
    EXPECT_EQ(length % 4, 0u);
    EXPECT_EQ(emulator.ReceivedMessages(),
              (std::vector<std::string>{"*IDN?", "FORM REAL,32;:TRAC? TRACE1"}));
}

TEST(InstrumentLink, FaultsApplyAndAMissingReplyEndsAtTheDeadline) {
    Emulator emulator(Instant());
    emulator.Start(0);
    auto link = emulator.OpenLink("test");
    emulator.InjectFault(Fault::CutReply("*IDN?", 7));
    ASSERT_TRUE(link->Send("*IDN?\n"));
    EXPECT_EQ(link->NextReply(In(5s)), "Valdaco");
    emulator.InjectFault(Fault::NoReply("*IDN?"));
    ASSERT_TRUE(link->Send("*IDN?\n"));
    EXPECT_EQ(link->NextReply(In(50ms)), std::nullopt);
    EXPECT_FALSE(link->closed());
    ASSERT_TRUE(link->Send("*OPC?\n"));
    EXPECT_EQ(link->NextReply(In(5s)), "1\n");
}

TEST(InstrumentLink, InterruptWakesABlockedWaitAndTheLinkEndsWithTheEmulator) {
    Emulator emulator(Instant());
    emulator.Start(0);
    auto link = emulator.OpenLink("test");
    std::thread interrupter([&] {
        // The wait below may start before or after this: either way it returns.
        link->Interrupt();
    });
    EXPECT_EQ(link->NextReply(In(60s)), std::nullopt);
    interrupter.join();
    EXPECT_FALSE(link->closed());
    ASSERT_TRUE(emulator.WaitForConnectedClients(1, 5s));
    emulator.Stop();
    EXPECT_EQ(link->NextReply(In(5s)), std::nullopt);
    EXPECT_TRUE(link->closed());
    EXPECT_FALSE(link->Send("*IDN?\n"));
}

TEST(InstrumentLink, ClosingTheLinkDisconnectsItsClient) {
    Emulator emulator(Instant());
    emulator.Start(0);
    {
        auto link = emulator.OpenLink("test");
        ASSERT_TRUE(link->Send("*OPC?\n"));
        EXPECT_EQ(link->NextReply(In(5s)), "1\n");
        EXPECT_EQ(emulator.ConnectedClients(), 1u);
    }
    EXPECT_TRUE(emulator.WaitForDisconnect(5s));
    EXPECT_THROW(Emulator().OpenLink("x"), std::logic_error);
}

TEST(InstrumentLink, ShutdownEndsEveryWaitNowAndLater) {
    Emulator emulator(Instant());
    emulator.Start(0);
    auto link = emulator.OpenLink("test");
    std::atomic<bool> returned{false};
    std::thread waiter([&] {
        EXPECT_EQ(link->NextReply(InstrumentLink::Clock::time_point::max()), std::nullopt);
        returned = true;
    });
    // Taken by nobody, an interruption would be left for the next wait; a shutdown is seen by
    // the waiter whenever it starts waiting.
    link->Shutdown();
    waiter.join();
    EXPECT_TRUE(returned);
    EXPECT_TRUE(link->closed());
    EXPECT_EQ(link->NextReply(InstrumentLink::Clock::time_point::max()), std::nullopt);
    EXPECT_FALSE(link->Send("*IDN?\n"));
    EXPECT_TRUE(emulator.WaitForDisconnect(5s));
}

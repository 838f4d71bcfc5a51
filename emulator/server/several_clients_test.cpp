// Several clients on one emulator: each connection is served on its own, a client that
// stays silent or never reads holds up nobody else, idle clients are dropped, and the test
// hooks and the log work across connections.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "client/connected_emulator.h"
#include "tevo/emulator/emulator.h"
#include "tevo/testing/temp_dir.h"

using namespace std::chrono_literals;
using tevo::emulator::ConnectedEmulator;
using tevo::emulator::Emulator;
using tevo::emulator::EmulatorOptions;
using tevo::emulator::Fault;
using tevo::emulator::ScpiClient;

namespace {

constexpr const char* kIdn = "Valdacor,KLC,100482,3.12";

// Sends queries whose replies (ASCII traces of 32001 points, about 14 MB in all) are more
// than the socket buffers of both ends hold, so that a client that does not read leaves
// replies queued in the emulator.
constexpr int kLargeReplies = 32;
void QueueLargeReplies(ScpiClient& client) {
    ASSERT_TRUE(client.Send("FORM ASC;:INIT:CONT OFF;:SENS:SWE:POIN 32001"));
    std::string queries;
    for (int i = 0; i < kLargeReplies; ++i)
        queries += "TRAC? TRACE1\n";
    ASSERT_TRUE(client.SendRaw(queries));
}

// The emulator with its sweeps instant and idle clients dropped after the given time.
EmulatorOptions DroppingIdleClientsAfter(std::chrono::milliseconds timeout) {
    EmulatorOptions options = tevo::emulator::InstantOptions();
    options.idle_timeout = timeout;
    return options;
}

}  // namespace

TEST(SeveralClients, ASilentClientHoldsUpNobody) {
    ConnectedEmulator e;  // e.client connects and says nothing
    ScpiClient half(e.port);
    ASSERT_TRUE(half.SendRaw("SENS:FREQ:STAR 4e6;"));  // a message without its end
    ScpiClient other(e.port);
    EXPECT_EQ(other.Query("*IDN?"), kIdn);
    ASSERT_TRUE(half.SendRaw(":SENS:FREQ:STAR?\n"));
    EXPECT_EQ(half.ReadLine(), "4E+06");
    EXPECT_EQ(e.Query("SENS:FREQ:STAR?"), "4E+06");  // one analyzer for all
    EXPECT_EQ(e.emulator.ConnectionCount(), 3u);
}

TEST(SeveralClients, AClientThatNeverReadsHoldsUpNobody) {
    ConnectedEmulator e;
    QueueLargeReplies(e.client);
    ScpiClient other(e.port);
    EXPECT_EQ(other.Query("*IDN?"), kIdn);
    EXPECT_EQ(other.Query("SENS:SWE:POIN?"), "32001");
    // The queued replies are all there, whole and in order, once the client reads them.
    for (int i = 0; i < kLargeReplies; ++i) {
        const std::optional<std::string> trace = e.client.ReadLine(10s);
        ASSERT_TRUE(trace.has_value()) << "reply " << i;
        EXPECT_EQ(std::count(trace->begin(), trace->end(), ','), 32000) << "reply " << i;
    }
    EXPECT_EQ(e.Query("*OPC?"), "1");
}

TEST(SeveralClients, ClientsQueryingAtOnceEachGetTheirOwnReplies) {
    ConnectedEmulator e;
    constexpr int kClients = 4;
    constexpr int kRounds = 50;
    constexpr int kPipelined = 4;  // queries sent before their replies are read
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    std::atomic<int> mismatches{0};
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    threads.reserve(kClients);
    for (int id = 0; id < kClients; ++id) {
        threads.emplace_back([&, id] {
            try {
                ScpiClient client(e.port);
                for (int round = 0; round < kRounds; ++round) {
                    // Each message sets a value and reads it back in one go: a reply that
                    // reached the wrong client or came out of order shows another value.
                    std::vector<int> sent;
                    for (int k = 0; k < kPipelined; ++k) {
                        const int value = id * 60 + (round * kPipelined + k) % 60;
                        sent.push_back(value);
                        if (!client.Send("*ESE " + std::to_string(value) + ";*ESE?"))
                            throw std::runtime_error("send failed");
                    }
                    for (const int value : sent) {
                        const std::optional<std::string> reply = client.ReadLine();
                        if (!reply)
                            throw std::runtime_error("no reply");
                        if (*reply != std::to_string(value))
                            ++mismatches;
                    }
                    // A watchdog: the test fails instead of running on.
                    if (std::chrono::steady_clock::now() > deadline)
                        throw std::runtime_error("out of time");
                }
            } catch (const std::exception&) {
                ++failures;
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(mismatches.load(), 0);
    EXPECT_EQ(e.emulator.ReceivedMessages().size(), size_t{kClients * kRounds * kPipelined});
}

TEST(SeveralClients, AMessageThatWaitsHoldsBackOnlyItsOwnConnection) {
    ConnectedEmulator e(tevo::emulator::ManualClockOptions());
    ASSERT_TRUE(e.Send("INIT:CONT OFF;:SENS:SWE:TIME 10;:INIT;*OPC?"));
    ASSERT_TRUE(e.emulator.WaitForMessages(1, 5s));
    ScpiClient other(e.port);
    EXPECT_EQ(other.Query("STAT:OPER:COND?"), "8");  // sweeping
    EXPECT_TRUE(e.client.Quiet(50ms));
    e.emulator.AdvanceClock(11s);
    EXPECT_EQ(e.client.ReadLine(), "1");

    // Another client ends the operation that the first one waits for.
    ASSERT_TRUE(e.Send("INIT;*OPC?"));
    ASSERT_TRUE(e.emulator.WaitForMessages(3, 5s));
    EXPECT_TRUE(e.client.Quiet(50ms));
    ASSERT_TRUE(other.Send("ABOR"));
    EXPECT_EQ(e.client.ReadLine(), "1");
}

TEST(SeveralClients, IdleClientsAreDroppedButNotThoseTheAnalyzerOwesAnAnswer) {
    EmulatorOptions options = DroppingIdleClientsAfter(300ms);
    options.manual_clock = true;
    options.time_scale = 1;
    Emulator emulator(options);
    const uint16_t port = emulator.Start();
    // The analyzer owes this one the end of a sweep that takes (manual) ages.
    ScpiClient waiting(port);
    ASSERT_TRUE(waiting.Send("INIT:CONT OFF;:SENS:SWE:TIME 10;:INIT;*OPC?"));
    ASSERT_TRUE(emulator.WaitForMessages(1, 5s));
    ScpiClient silent(port);
    ScpiClient half(port);
    ASSERT_TRUE(half.SendRaw("*IDN"));  // and never the rest
    ScpiClient not_reading(port);
    QueueLargeReplies(not_reading);
    ASSERT_TRUE(emulator.WaitForConnections(4, 5s));

    EXPECT_TRUE(silent.WaitForClose(5s));
    EXPECT_TRUE(half.WaitForClose(5s));
    EXPECT_TRUE(emulator.WaitForConnectedClients(1, 5s));  // the one that does not read too
    emulator.AdvanceClock(11s);
    EXPECT_EQ(waiting.ReadLine(), "1");
    // Once answered, it has the timeout to say something before it goes too.
    EXPECT_TRUE(waiting.WaitForClose(5s));
    EXPECT_TRUE(emulator.WaitForDisconnect(5s));
}

TEST(SeveralClients, AClientThatKeepsTalkingStays) {
    ConnectedEmulator e(DroppingIdleClientsAfter(500ms));
    ScpiClient silent(e.port);
    ASSERT_TRUE(e.emulator.WaitForConnectedClients(2, 5s));
    const auto start = std::chrono::steady_clock::now();
    // Talks more often than the timeout until the silent one is gone.
    while (e.emulator.ConnectedClients() == 2 && std::chrono::steady_clock::now() - start < 5s)
        ASSERT_EQ(e.Query("*OPC?"), "1");
    EXPECT_EQ(e.Query("*IDN?"), kIdn);
    EXPECT_EQ(e.emulator.ConnectedClients(), 1u);
    EXPECT_TRUE(silent.WaitForClose(5s));
}

TEST(SeveralClients, ZeroKeepsIdleClientsAndAFullHouseRefusesNewcomers) {
    EmulatorOptions options = DroppingIdleClientsAfter(0ms);
    options.max_clients = 2;
    Emulator emulator(options);
    const uint16_t port = emulator.Start();
    ScpiClient first(port);
    ScpiClient second(port);
    ASSERT_TRUE(emulator.WaitForConnections(2, 5s));
    ScpiClient third(port);  // accepted by the kernel, closed by the emulator
    EXPECT_TRUE(third.WaitForClose(5s));
    EXPECT_EQ(emulator.ConnectionCount(), 2u);
    EXPECT_EQ(first.Query("*OPC?"), "1");
    EXPECT_EQ(second.Query("*OPC?"), "1");
    second.Close();
    ASSERT_TRUE(emulator.WaitForConnectedClients(1, 5s));
    ScpiClient fourth(port);
    EXPECT_EQ(fourth.Query("*IDN?"), kIdn);
}

TEST(SeveralClients, FaultsAndTheScriptApplyToEveryClientInTheOrderOfArrival) {
    ConnectedEmulator e;
    ScpiClient other(e.port);
    e.emulator.ExpectQuery("*IDN?", "scripted 1");
    e.emulator.ExpectQuery("*IDN?", "scripted 2");
    EXPECT_EQ(other.Query("*IDN?"), "scripted 1");
    EXPECT_EQ(e.Query("*IDN?"), "scripted 2");
    EXPECT_TRUE(e.emulator.VerifyScript().empty());
    e.emulator.ClearScript();

    // A fault hits whoever sends the message; closing closes that connection only.
    e.emulator.InjectFault(Fault::ReplaceReply("*OPC?", "faulted\n"));
    EXPECT_EQ(other.Query("*OPC?"), "faulted");
    EXPECT_EQ(e.Query("*OPC?"), "1");
    e.emulator.InjectFault(Fault::CloseConnection("*RST"));
    ASSERT_TRUE(other.Send("*RST"));
    EXPECT_TRUE(other.WaitForClose());
    EXPECT_EQ(e.Query("*IDN?"), kIdn);
    EXPECT_EQ(e.emulator.ReceivedMessages(),
              (std::vector<std::string>{"*IDN?", "*IDN?", "*OPC?", "*OPC?", "*RST", "*IDN?"}));

    // CloseConnection closes every client.
    ScpiClient third(e.port);
    EXPECT_EQ(third.Query("*OPC?"), "1");
    e.emulator.CloseConnection();
    EXPECT_TRUE(e.client.WaitForClose());
    EXPECT_TRUE(third.WaitForClose());
    EXPECT_TRUE(e.emulator.WaitForDisconnect(5s));
}

TEST(SeveralClients, TheLogTagsEveryLineWithItsConnection) {
    tevo::testing::TempDir dir;
    EmulatorOptions options = tevo::emulator::InstantOptions();
    options.log_path = (dir / "emulator.log").string();
    {
        ConnectedEmulator e(options);
        ScpiClient other(e.port);
        EXPECT_EQ(other.Query("*OPC?"), "1");
        EXPECT_EQ(e.Query("*IDN?"), kIdn);
        other.Close();
        ASSERT_TRUE(e.emulator.WaitForConnectedClients(1, 5s));
    }
    const std::string log = tevo::testing::ReadFile(dir / "emulator.log");
    EXPECT_NE(log.find("[2] << *OPC?\n[2] >> 1\\n\n"), std::string::npos) << log;
    EXPECT_NE(log.find("[1] << *IDN?\n[1] >> " + std::string(kIdn) + "\\n\n"), std::string::npos)
        << log;
    EXPECT_LT(log.find("[2] -- connection closed"), log.find("[1] -- connection closed")) << log;
}

TEST(SeveralClients, OptionsThatCannotWorkAreRefused) {
    const auto refused = [](auto change) {
        EmulatorOptions options;
        change(options);
        EXPECT_THROW(Emulator{options}, std::invalid_argument);
    };
    refused([](EmulatorOptions& o) { o.serial = "1,2"; });
    refused([](EmulatorOptions& o) { o.firmware = "3.12\n"; });
    refused([](EmulatorOptions& o) { o.serial = ""; });
    refused([](EmulatorOptions& o) { o.idle_timeout = -1ms; });
    refused([](EmulatorOptions& o) { o.max_clients = 0; });
    refused([](EmulatorOptions& o) { o.log_limit_bytes = 100; });
}

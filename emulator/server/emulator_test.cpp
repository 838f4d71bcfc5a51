// The emulator's server and test hooks over real TCP: received messages, clients side by
// side, the scripted protocol, injected faults, local execution, restart and the log.
#include "tevo/emulator/emulator.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "client/connected_emulator.h"
#include "tevo/testing/temp_dir.h"

using namespace std::chrono_literals;
using tevo::emulator::ConnectedEmulator;
using tevo::emulator::Emulator;
using tevo::emulator::EmulatorOptions;
using tevo::emulator::Fault;
using tevo::emulator::ScpiClient;

namespace {

constexpr auto kQuiet = 100ms;  // how long "nothing arrives" is watched
constexpr const char* kIdn = "Valdacor,KLC,100482,3.12";

}  // namespace

TEST(Emulator, RecordsEveryMessageExactlyAndRunsItBeforeReportingIt) {
    ConnectedEmulator e;
    EXPECT_EQ(e.Query("*IDN?"), kIdn);
    ASSERT_TRUE(e.client.SendRaw("SENS:FREQ:STAR 7e6\r\nSENS2:FREQ:STAR 1e6;STOP 2e6\n"));
    ASSERT_TRUE(e.emulator.WaitForMessages(3, 5s));
    // A recorded command has run: its effect is visible at once.
    EXPECT_EQ(e.emulator.Execute("SENS:FREQ:STAR?;:SENS2:FREQ:STOP?"), "7E+06;2E+06");
    EXPECT_EQ(
        e.emulator.ReceivedMessages(),
        (std::vector<std::string>{"*IDN?", "SENS:FREQ:STAR 7e6", "SENS2:FREQ:STAR 1e6;STOP 2e6"}));
    e.emulator.ClearReceivedMessages();
    EXPECT_TRUE(e.emulator.ReceivedMessages().empty());
    EXPECT_FALSE(e.emulator.WaitForMessages(1, 10ms));
    // Execute bypasses the network: nothing is recorded.
    EXPECT_EQ(e.emulator.Execute("*OPC?"), "1");
    EXPECT_TRUE(e.emulator.ReceivedMessages().empty());
    EXPECT_EQ(e.emulator.ResourceName(),
              "TCPIP::127.0.0.1::" + std::to_string(e.port) + "::SOCKET");
}

TEST(Emulator, ServesClientsSideBySideOnOneAnalyzer) {
    ConnectedEmulator e;
    ASSERT_TRUE(e.emulator.WaitForConnections(1, 5s));
    ASSERT_TRUE(e.Send("SENS:FREQ:STAR 3e6"));
    ScpiClient second(e.port);                            // served while the first one is connected
    EXPECT_EQ(second.Query("SENS:FREQ:STAR?"), "3E+06");  // the analyzer's state is shared
    EXPECT_EQ(e.emulator.ConnectionCount(), 2u);
    EXPECT_EQ(e.emulator.ConnectedClients(), 2u);
    e.client.Close();
    ASSERT_TRUE(e.emulator.WaitForConnectedClients(1, 5s));
    EXPECT_TRUE(e.emulator.connected());
    EXPECT_EQ(second.Query("*IDN?"), kIdn);
    second.Close();
    ASSERT_TRUE(e.emulator.WaitForDisconnect(5s));
    EXPECT_FALSE(e.emulator.connected());
    ScpiClient third(e.port);
    EXPECT_EQ(third.Query("SENS:FREQ:STAR?"), "3E+06");  // the state outlives its clients
    EXPECT_EQ(e.emulator.ConnectionCount(), 3u);
}

TEST(Emulator, ScriptedRepliesAreAnOrderedProtocol) {
    ConnectedEmulator e;
    e.emulator.ExpectQuery("*IDN?", "Valdacor,KLX,1,2");
    e.emulator.ExpectCommand("SENS:FREQ:STAR 2e6");
    e.emulator.ExpectQuery("SENS:FREQ:STAR?", "12345");
    EXPECT_EQ(e.Query("*IDN?"), "Valdacor,KLX,1,2");
    ASSERT_TRUE(e.Send("SENS:FREQ:STAR 2e6"));  // expected commands run as usual
    EXPECT_EQ(e.Query("SENS:FREQ:STAR?"), "12345");
    EXPECT_TRUE(e.emulator.VerifyScript().empty());
    EXPECT_EQ(e.emulator.Execute("SENS:FREQ:STAR?"), "2E+06");

    e.emulator.ClearScript();
    e.emulator.ExpectQuery("SYST:ERR?", "0,\"No error\"");
    e.emulator.ExpectQuery("*OPC?", "1");
    EXPECT_EQ(e.Query("*TST?"), "0");  // out of order: run by the analyzer, reported
    EXPECT_EQ(e.Query("SYST:ERR?"), "0,\"No error\"");
    const std::vector<std::string> problems = e.emulator.VerifyScript();
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_EQ(problems[0], "unexpected message \"*TST?\" (expected \"SYST:ERR?\")");
    EXPECT_EQ(problems[1], "expected message \"*OPC?\" never arrived");
    EXPECT_EQ(e.Query("*OPC?"), "1");
    ASSERT_TRUE(e.Send("*CLS"));
    ASSERT_TRUE(e.emulator.WaitForMessages(7, 5s));
    ASSERT_EQ(e.emulator.VerifyScript().size(), 2u);
    EXPECT_EQ(e.emulator.VerifyScript()[1],
              "unexpected message \"*CLS\" after the end of the script");
}

TEST(Emulator, LateMissingCutAndMalformedReplies) {
    ConnectedEmulator e;
    // Late: the reply comes after the delay, and later messages wait for it.
    e.emulator.InjectFault(Fault::DelayReply("*IDN?", 1000ms));
    ASSERT_TRUE(e.Send("*IDN?"));
    ASSERT_TRUE(e.Send("*OPC?"));
    EXPECT_TRUE(e.client.Quiet(50ms));
    EXPECT_EQ(e.client.ReadLine(), kIdn);
    EXPECT_EQ(e.client.ReadLine(), "1");

    // Missing: the query runs (*ESR? clears the register) but its reply is never sent.
    e.emulator.InjectFault(Fault::NoReply("*ESR?"));
    ASSERT_TRUE(e.Send("*ESR?"));
    EXPECT_TRUE(e.client.Quiet(kQuiet));
    EXPECT_EQ(e.EventStatus(), 0);  // 128 was read by the unanswered query

    // Cut: a block that stops after 100 bytes.
    ASSERT_TRUE(e.Send("FORM REAL,32"));
    e.emulator.InjectFault(Fault::CutReply("TRAC? TRACE1", 100));
    ASSERT_TRUE(e.Send("TRAC? TRACE1"));
    const auto head = e.client.ReadBytes(100);
    ASSERT_TRUE(head.has_value());
    EXPECT_EQ(head->substr(0, 6), "#42004");
    EXPECT_TRUE(e.client.Quiet(kQuiet));

    // Malformed: exactly the given bytes.
    e.emulator.InjectFault(Fault::ReplaceReply("SENS:SWE:POIN?", "5O1\r\n#9x\n"));
    EXPECT_EQ(e.Query("SENS:SWE:POIN?"), "5O1\r");
    EXPECT_EQ(e.client.ReadLine(), "#9x");

    // A fault without a message hits the next messages, as many times as asked.
    Fault twice = Fault::NoReply("");
    twice.times = 2;
    e.emulator.InjectFault(twice);
    ASSERT_TRUE(e.Send("*OPC?"));
    ASSERT_TRUE(e.Send("*TST?"));
    EXPECT_EQ(e.Query("*IDN?"), kIdn);
    Fault always = Fault::ReplaceReply("*TST?", "1\n");
    always.times = Fault::kEveryTime;
    e.emulator.InjectFault(always);
    EXPECT_EQ(e.Query("*TST?"), "1");
    EXPECT_EQ(e.Query("*TST?"), "1");
    e.emulator.ClearFaults();
    EXPECT_EQ(e.Query("*TST?"), "0");
}

TEST(Emulator, ClosedConnectionsAndInjectedStatus) {
    ConnectedEmulator e;
    // Closing on a message: it is recorded but not run.
    e.emulator.InjectFault(Fault::CloseConnection("SENS:FREQ:STAR 5e6"));
    ASSERT_TRUE(e.Send("SENS:FREQ:STAR 5e6"));
    EXPECT_TRUE(e.client.WaitForClose());
    ASSERT_TRUE(e.emulator.WaitForDisconnect(5s));
    EXPECT_EQ(e.emulator.ReceivedMessages().back(), "SENS:FREQ:STAR 5e6");
    EXPECT_EQ(e.emulator.Execute("SENS:FREQ:STAR?"), "0E+00");

    // Closing now.
    ScpiClient next(e.port);
    EXPECT_EQ(next.Query("*OPC?"), "1");
    e.emulator.CloseConnection();
    EXPECT_TRUE(next.WaitForClose());

    // Status bits and errors set from outside.
    ScpiClient last(e.port);
    e.emulator.SetEventStatusBits(0x20);
    e.emulator.PushError(-350);
    EXPECT_EQ(last.Query("*ESR?"), std::to_string(128 | 0x20 | 8));
    EXPECT_EQ(last.Query("SYST:ERR?"), "-350,\"Queue overflow\"");
}

TEST(Emulator, StopStartKeepsTheStateAndNeverHangs) {
    EmulatorOptions options = tevo::emulator::ManualClockOptions();
    Emulator emulator(options);
    EXPECT_THROW(Emulator(tevo::emulator::InstantOptions()).AdvanceClock(1s), std::logic_error);
    const uint16_t port = emulator.Start();
    EXPECT_TRUE(emulator.running());
    EXPECT_EQ(emulator.port(), port);
    EXPECT_THROW(emulator.Start(), std::logic_error);
    {
        ScpiClient client(port);
        ASSERT_TRUE(client.Send("SENS:FREQ:STAR 9e6;:INIT:CONT OFF;:SENS:SWE:TIME 10"));
        ASSERT_TRUE(client.Send("INIT;*OPC?"));  // waits for a sweep that will not end
        ASSERT_TRUE(emulator.WaitForMessages(2, 5s));
        // Execute stops at the wait instead of blocking.
        EXPECT_EQ(emulator.Execute("SENS:FREQ:STAR?;*OPC?"), "9E+06");
        emulator.Stop();  // with a client connected and a reply pending
        EXPECT_FALSE(emulator.running());
        EXPECT_TRUE(client.WaitForClose());
    }
    const uint16_t again = emulator.Start();
    ScpiClient client(again);
    EXPECT_EQ(client.Query("SENS:FREQ:STAR?"), "9E+06");
    emulator.AdvanceClock(11s);
    EXPECT_EQ(client.Query("*OPC?"), "1");
    EXPECT_THROW(emulator.AdvanceClock(-1s), std::invalid_argument);
    // Listening on a port that is taken fails.
    Emulator other(options);
    EXPECT_THROW(other.Start(again), std::system_error);
}

TEST(Emulator, LogsMessagesRepliesAndConnections) {
    tevo::testing::TempDir dir;
    EmulatorOptions options = tevo::emulator::InstantOptions();
    options.log_path = (dir / "emulator.log").string();
    {
        ConnectedEmulator e(options);
        EXPECT_EQ(e.Query("*IDN?"), kIdn);
        ASSERT_TRUE(e.Send("FORM REAL,32;:SENS:SWE:POIN 101"));
        ASSERT_TRUE(e.Send("TRAC? TRACE1"));
        ASSERT_TRUE(e.client.ReadBlock().has_value());
    }
    const std::string log = tevo::testing::ReadFile(dir / "emulator.log");
    EXPECT_EQ(log.rfind("[1] -- connection from 127.0.0.1:", 0), 0u) << log;
    EXPECT_NE(log.find("[1] << *IDN?\n[1] >> Valdacor,KLC,100482,3.12\\n\n"), std::string::npos)
        << log;
    EXPECT_NE(log.find("[1] << TRAC? TRACE1\n[1] >> #3404<404 bytes>\\n\n"), std::string::npos)
        << log;
    EXPECT_NE(log.find("[1] -- connection closed\n"), std::string::npos) << log;
}

TEST(Emulator, ListensOnTheIpv6LoopbackToo) {
    ConnectedEmulator e;
    try {
        ScpiClient client(e.port, "::1");
        client.Close();
    } catch (const std::system_error&) {
        GTEST_SKIP() << "no IPv6 loopback on this machine";
    }
    e.client.Close();
    ScpiClient client(e.port, "::1");
    EXPECT_EQ(client.Query("*IDN?"), kIdn);
}

TEST(Emulator, WithoutRecordingMessagesAreStillCounted) {
    EmulatorOptions options = tevo::emulator::InstantOptions();
    options.record_messages = false;
    ConnectedEmulator e(options);
    EXPECT_EQ(e.Query("*OPC?"), "1");
    ASSERT_TRUE(e.Send("*CLS"));
    EXPECT_TRUE(e.emulator.WaitForMessages(2, 5s));
    EXPECT_TRUE(e.emulator.ReceivedMessages().empty());
}

TEST(Emulator, AClientThatFloodsAWaitingAnalyzerIsHeldBackNotBuffered) {
    ConnectedEmulator e(tevo::emulator::ManualClockOptions());
    ASSERT_TRUE(e.Send("INIT:CONT OFF;:SENS:SWE:TIME 1;:INIT;*WAI"));
    ASSERT_TRUE(e.emulator.WaitForMessages(1, 5s));
    // 2 MiB, several times what the two socket buffers hold: the writes stall until the
    // sweep ends, because the emulator takes in no more than one waiting message meanwhile.
    e.client.SetSendBufferSize(64 * 1024);
    constexpr int kMessages = 32;
    const std::string message = "SYST:PASS '" + std::string(64 * 1024, 'x') + "'\n";
    std::atomic<int> sent{0};
    std::thread writer([&] {
        for (int i = 0; i < kMessages && e.client.SendRaw(message); ++i)
            ++sent;
        e.client.Send("*OPC?");
    });
    EXPECT_FALSE(e.emulator.WaitForMessages(2, kQuiet));  // *WAI holds everything back
    EXPECT_LT(sent.load(), kMessages);
    e.emulator.AdvanceClock(1.5s);
    writer.join();
    EXPECT_EQ(sent.load(), kMessages);
    EXPECT_EQ(e.client.ReadLine(10s), "1");
    EXPECT_EQ(e.emulator.ReceivedMessages().size(), 1u + kMessages + 1u);
}

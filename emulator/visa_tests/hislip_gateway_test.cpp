// HiSLIP sessions of the VISA library against the emulator's HiSLIP gateway: queries,
// blocks larger than the negotiated message size in both directions, reads limited by
// their count, time-outs and device clears with late replies, locks between two sessions,
// the status byte, and many threads on one session.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "emulator_session.h"
#include "hislip/hislip_gateway.h"
#include "hislip/hislip_transport.h"
#include "tevo/emulator/emulator.h"
#include "tevo/visa.h"

namespace tevo::visa::emulator_tests {
namespace {

using namespace std::chrono_literals;
using tevo::emulator::EmulatorTransport;

inline EmulatorOptions WithHislip(EmulatorOptions options = InstantSweeps()) {
    options.hislip_port = 0;
    return options;
}

// An emulator served over HiSLIP and a VISA session to it.
class HislipSession {
  public:
    explicit HislipSession(EmulatorOptions options = WithHislip())
        : emulator(std::move(options)), session(Start(emulator)) {}

    static std::string Start(Emulator& emulator) {
        emulator.Start(0);
        return emulator.ResourceName(EmulatorTransport::kHislip);
    }

    ReadOutcome Query(const std::string& message, size_t count = 65536) {
        return session.Query(message, count);
    }

    Emulator emulator;
    TestSession session;
};

// A HiSLIP gateway of its own, with a small maximum message size, in front of an emulator.
class SmallMessageGateway {
  public:
    explicit SmallMessageGateway(uint64_t max_message_size) {
        emulator.Start(0);
        tevo::emulator::GatewayServices services;
        services.open_link = [this](const std::string& peer) { return emulator.OpenLink(peer); };
        services.status_byte = [] { return uint8_t{0}; };
        gateway =
            tevo::emulator::StartHislipGatewayWithLimit("127.0.0.1", 0, services, max_message_size);
    }
    std::string Resource() const {
        return "TCPIP0::127.0.0.1::hislip0," + std::to_string(gateway->port()) + "::INSTR";
    }

    Emulator emulator{InstantSweeps()};
    std::unique_ptr<tevo::emulator::ProtocolGateway> gateway;
};

// A connected HislipTransport for the operations the VISA API does not reach.
std::unique_ptr<HislipTransport> ConnectTransport(uint16_t port,
                                                  uint64_t receive_limit = 1u << 20) {
    auto transport = std::make_unique<HislipTransport>("127.0.0.1", port, "hislip0", receive_limit);
    EXPECT_EQ(transport->Connect(IoSettings{}, Deadline::AfterMilliseconds(5000)), VI_SUCCESS)
        << transport->FailureDetail();
    return transport;
}

std::string TransportQuery(HislipTransport& transport, const std::string& message,
                           ViStatus* status = nullptr) {
    const IoSettings io;
    IoResult written = transport.Write(reinterpret_cast<const ViByte*>(message.data()),
                                       message.size(), io, Deadline::AfterMilliseconds(2000));
    EXPECT_EQ(written.status, VI_SUCCESS) << transport.FailureDetail();
    std::string reply(65536, '\0');
    const IoResult read = transport.Read(reinterpret_cast<ViByte*>(reply.data()), reply.size(), io,
                                         Deadline::AfterMilliseconds(2000));
    if (status != nullptr) {
        *status = read.status;
    }
    reply.resize(read.count);
    return reply;
}

TEST(HislipGateway, QueriesEndWithEndAndTheMessagesReachTheAnalyzer) {
    HislipSession s;
    const ReadOutcome identity = s.Query("*IDN?");
    EXPECT_EQ(identity.status, VI_SUCCESS);
    EXPECT_EQ(identity.bytes, std::string(kIdentity) + "\n");

    // Commands without a line feed of their own are whole messages too.
    EXPECT_EQ(s.session.Write("SENS:FREQ:CENT 1.5E9"), VI_SUCCESS);
    const ReadOutcome center = s.Query("SENS:FREQ:CENT?");
    EXPECT_EQ(center.status, VI_SUCCESS);
    EXPECT_EQ(center.bytes, s.emulator.Execute("SENS:FREQ:CENT?") + "\n");
    EXPECT_EQ(std::stod(center.bytes), 1.5e9);
    const std::vector<std::string> received = s.emulator.ReceivedMessages();
    ASSERT_EQ(received.size(), 3u);
    EXPECT_EQ(received[1], "SENS:FREQ:CENT 1.5E9");
}

TEST(HislipGateway, BothChannelsGoToTheAddressThatAnswered) {
    // The emulator listens on both loopback addresses; an IPv6 resource reaches it there.
    Emulator emulator(WithHislip());
    emulator.Start(0);
    TestSession session("TCPIP0::[::1]::hislip0," + std::to_string(emulator.HislipPort()) +
                        "::INSTR");
    ViChar address[VI_FIND_BUFLEN] = {};
    ASSERT_EQ(viGetAttribute(session.vi, VI_ATTR_TCPIP_ADDR, address), VI_SUCCESS);
    EXPECT_STREQ(address, "::1");
    const ReadOutcome identity = session.Query("*IDN?");
    EXPECT_EQ(identity.status, VI_SUCCESS);
    EXPECT_EQ(identity.bytes, std::string(kIdentity) + "\n");
    ViBoolean is_hislip = VI_FALSE;
    ASSERT_EQ(viGetAttribute(session.vi, VI_ATTR_TCPIP_IS_HISLIP, &is_hislip), VI_SUCCESS);
    EXPECT_EQ(is_hislip, VI_TRUE);
}

TEST(HislipGateway, BlocksLargerThanTheMessageSizeGoBothWays) {
    constexpr uint64_t kMaxMessage = 1000;
    SmallMessageGateway g(kMaxMessage);
    TestSession session(g.Resource());

    // Out: one program message of several thousand bytes, cut into Data messages.
    std::string long_message;
    for (int i = 0; i < 200; ++i) {
        long_message += "SENS:SWE:POIN 625;:";
    }
    long_message += "FORM REAL,32;:INIT:CONT OFF;:INIT;*OPC?";
    ASSERT_GT(long_message.size(), 3 * kMaxMessage);
    const ReadOutcome done = session.Query(long_message);
    EXPECT_EQ(done.bytes, "1\n");
    const std::vector<std::string> received = g.emulator.ReceivedMessages();
    ASSERT_FALSE(received.empty());
    EXPECT_EQ(received.back(), long_message);

    // In: a 2500-byte block in three replies' worth of messages, line feeds inside it.
    const std::string expected = g.emulator.Execute("TRAC? TRACE1") + "\n";
    ASSERT_EQ(SplitBlock(expected).header, "#42500");
    const ReadOutcome trace = session.Query("TRAC? TRACE1", 8192);
    EXPECT_EQ(trace.status, VI_SUCCESS);
    EXPECT_TRUE(trace.bytes == expected);
}

TEST(HislipGateway, CountLimitedReadsKeepTheRestOfTheReply) {
    HislipSession s;
    const std::string identity = std::string(kIdentity) + "\n";
    ASSERT_EQ(s.session.Write("*IDN?"), VI_SUCCESS);
    ReadOutcome piece = s.session.Read(5);
    EXPECT_EQ(piece.status, VI_SUCCESS_MAX_CNT);
    EXPECT_EQ(piece.bytes, identity.substr(0, 5));
    piece = s.session.Read(5);
    EXPECT_EQ(piece.status, VI_SUCCESS_MAX_CNT);
    EXPECT_EQ(piece.bytes, identity.substr(5, 5));
    // The count runs out on the very byte that carries END: the read is complete.
    piece = s.session.Read(identity.size() - 10);
    EXPECT_EQ(piece.status, VI_SUCCESS);
    EXPECT_EQ(piece.bytes, identity.substr(10));

    // A new query gives up a reply read only in part.
    ASSERT_EQ(s.session.Write("*IDN?"), VI_SUCCESS);
    EXPECT_EQ(s.session.Read(3).status, VI_SUCCESS_MAX_CNT);
    const ReadOutcome opc = s.Query("*OPC?");
    EXPECT_EQ(opc.status, VI_SUCCESS);
    EXPECT_EQ(opc.bytes, "1\n");
}

TEST(HislipGateway, TimedOutQueryLeavesNoLateReplyForTheNextQuery) {
    HislipSession s;
    ASSERT_EQ(s.session.SetTimeout(300), VI_SUCCESS);
    s.emulator.InjectFault(Fault::DelayReply("*IDN?", 1500ms));
    const Clock::time_point start = Clock::now();
    const ReadOutcome timed_out = s.Query("*IDN?");
    EXPECT_EQ(timed_out.status, VI_ERROR_TMO);
    EXPECT_TRUE(timed_out.bytes.empty());
    EXPECT_GE(Since(start), 300ms);

    ASSERT_EQ(s.session.SetTimeout(5000), VI_SUCCESS);
    // The late identity would come after 1.5 s; the next queries get their own replies.
    for (int i = 0; i < 3; ++i) {
        const ReadOutcome opc = s.Query("*OPC?");
        EXPECT_EQ(opc.status, VI_SUCCESS);
        EXPECT_EQ(opc.bytes, "1\n");
    }
    EXPECT_EQ(s.Query("*IDN?").bytes, std::string(kIdentity) + "\n");
}

TEST(HislipGateway, DeviceClearDropsTheLateReplyAndRestartsMessageIds) {
    HislipSession s;
    ASSERT_EQ(s.session.SetTimeout(300), VI_SUCCESS);
    s.emulator.InjectFault(Fault::DelayReply("*IDN?", 800ms));
    EXPECT_EQ(s.Query("*IDN?").status, VI_ERROR_TMO);
    ASSERT_EQ(viClear(s.session.vi), VI_SUCCESS);
    ASSERT_EQ(s.session.SetTimeout(3000), VI_SUCCESS);
    // After the clear the MessageIDs start over, so the late reply would carry the same
    // MessageID as this query: only the clear keeps it away.
    const ReadOutcome opc = s.Query("*OPC?");
    EXPECT_EQ(opc.status, VI_SUCCESS);
    EXPECT_EQ(opc.bytes, "1\n");
    EXPECT_EQ(s.Query("SENS:SWE:POIN?").bytes, s.emulator.Execute("SENS:SWE:POIN?") + "\n");
}

TEST(HislipGateway, ExclusiveAndSharedLocksBetweenSessions) {
    Emulator emulator(WithHislip());
    emulator.Start(0);
    auto first = ConnectTransport(emulator.HislipPort());
    auto second = ConnectTransport(emulator.HislipPort());
    ASSERT_NE(first->session_id(), second->session_id());
    const Deadline deadline = Deadline::AfterMilliseconds(5000);

    EXPECT_EQ(second->Unlock(deadline), VI_ERROR_SESN_NLOCKED);
    ASSERT_EQ(first->Lock(0, "", deadline), VI_SUCCESS);
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(second->Lock(200, "", Deadline::AfterMilliseconds(5000)), VI_ERROR_TMO);
    EXPECT_GE(Since(start), 200ms);
    EXPECT_EQ(second->Lock(0, "bench", deadline), VI_ERROR_TMO);

    // A lock that frees up while a request waits is granted to it.
    std::atomic<ViStatus> waited{VI_ERROR_SYSTEM_ERROR};
    std::thread waiter(
        [&] { waited = second->Lock(10000, "", Deadline::AfterMilliseconds(15000)); });
    EXPECT_EQ(first->Unlock(deadline), VI_SUCCESS);
    waiter.join();
    EXPECT_EQ(waited.load(), VI_SUCCESS);
    EXPECT_EQ(first->Lock(0, "", deadline), VI_ERROR_TMO);
    EXPECT_EQ(second->Unlock(deadline), VI_SUCCESS);

    // Shared locks with the same key stand side by side; an exclusive one waits for both.
    EXPECT_EQ(first->Lock(0, "bench", deadline), VI_SUCCESS);
    EXPECT_EQ(second->Lock(0, "bench", deadline), VI_SUCCESS);
    EXPECT_EQ(second->Unlock(deadline), VI_SUCCESS);
    EXPECT_EQ(second->Lock(0, "", deadline), VI_ERROR_TMO);
    // A session that ends gives its locks up.
    first->Close();
    EXPECT_EQ(second->Lock(5000, "", deadline), VI_SUCCESS);
    // Data still flows while locked.
    EXPECT_EQ(TransportQuery(*second, "*OPC?"), "1\n");
}

TEST(HislipGateway, ViLockGoesThroughTheServerBetweenSessions) {
    HislipSession s;
    TestSession other(s.emulator.ResourceName(EmulatorTransport::kHislip));
    EXPECT_EQ(viUnlock(s.session.vi), VI_ERROR_SESN_NLOCKED);
    ASSERT_EQ(viLock(s.session.vi, VI_EXCLUSIVE_LOCK, 0, VI_NULL, VI_NULL), VI_SUCCESS);
    EXPECT_EQ(viLock(other.vi, VI_EXCLUSIVE_LOCK, 100, VI_NULL, VI_NULL), VI_ERROR_TMO);
    ViChar key[VI_FIND_BUFLEN] = {};
    EXPECT_EQ(viLock(other.vi, VI_SHARED_LOCK, 0, VI_NULL, key), VI_ERROR_TMO);
    EXPECT_EQ(viLock(other.vi, VI_NO_LOCK, 0, VI_NULL, VI_NULL), VI_ERROR_INV_LOCK_TYPE);
    ASSERT_EQ(viUnlock(s.session.vi), VI_SUCCESS);

    // Shared: a key made up for the first session lets the second share the lock.
    ASSERT_EQ(viLock(s.session.vi, VI_SHARED_LOCK, 0, VI_NULL, key), VI_SUCCESS);
    EXPECT_GT(std::strlen(key), 0u);
    ViChar same_key[VI_FIND_BUFLEN] = {};
    EXPECT_EQ(viLock(other.vi, VI_SHARED_LOCK, 0, key, same_key), VI_SUCCESS);
    EXPECT_STREQ(same_key, key);
    EXPECT_EQ(viLock(other.vi, VI_EXCLUSIVE_LOCK, 0, VI_NULL, VI_NULL), VI_ERROR_TMO);
    EXPECT_EQ(viUnlock(other.vi), VI_SUCCESS);
    EXPECT_EQ(viUnlock(s.session.vi), VI_SUCCESS);
    EXPECT_EQ(viLock(other.vi, VI_EXCLUSIVE_LOCK, 0, VI_NULL, VI_NULL), VI_SUCCESS);

    // SOCKET sessions have no locks.
    TestSession socket_session(s.emulator.ResourceName());
    EXPECT_EQ(viLock(socket_session.vi, VI_EXCLUSIVE_LOCK, 0, VI_NULL, VI_NULL),
              VI_ERROR_NSUP_OPER);
    EXPECT_EQ(viUnlock(socket_session.vi), VI_ERROR_NSUP_OPER);
}

TEST(HislipGateway, ReadStbAsksTheAsynchronousChannelForTheStatusByte) {
    HislipSession s;
    EXPECT_EQ(s.Query("*CLS;*ESE 1;*OPC;*OPC?").bytes, "1\n");
    ViUInt16 status = 0;
    ASSERT_EQ(viReadSTB(s.session.vi, &status), VI_SUCCESS);
    EXPECT_EQ(status & 0x20, 0x20);  // ESB: operation complete is enabled and set
    EXPECT_EQ(s.Query("*CLS;*OPC?").bytes, "1\n");
    ASSERT_EQ(viReadSTB(s.session.vi, &status), VI_SUCCESS);
    EXPECT_EQ(status & 0x20, 0);
    EXPECT_EQ(viReadSTB(s.session.vi, nullptr), VI_ERROR_INV_PARAMETER);
    // Nothing went through the analyzer's input for it.
    EXPECT_EQ(s.emulator.ReceivedMessages(),
              (std::vector<std::string>{"*CLS;*ESE 1;*OPC;*OPC?", "*CLS;*OPC?"}));

    // A SOCKET session to the same analyzer has no such service.
    TestSession socket_session(s.emulator.ResourceName());
    EXPECT_EQ(viReadSTB(socket_session.vi, &status), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(viReadSTB(VI_NULL, &status), VI_ERROR_INV_OBJECT);
}

TEST(HislipGateway, ManyThreadsShareOneSessionWithoutMixingReplies) {
    HislipSession s;
    ASSERT_EQ(s.session.SetTimeout(10000), VI_SUCCESS);
    constexpr int kThreads = 6;
    constexpr int kQueries = 40;
    const std::string identity = std::string(kIdentity) + "\n";
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    threads.reserve(kThreads);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kQueries; ++i) {
                const bool identity_query = (i + t) % 2 == 0;
                const ReadOutcome outcome = s.Query(identity_query ? "*IDN?" : "*OPC?");
                if (outcome.status != VI_SUCCESS ||
                    outcome.bytes != (identity_query ? identity : std::string("1\n"))) {
                    ++wrong;
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(wrong.load(), 0);
}

TEST(HislipGateway, TheTransportFollowsTheMaximumMessageSizeOfTheServer) {
    SmallMessageGateway g(64);
    auto transport = ConnectTransport(g.gateway->port(), 100);
    EXPECT_EQ(transport->send_limit(), 64u);
    // Writes go in messages of at most 64 bytes, replies in messages of at most 100 bytes,
    // and are joined again.
    const std::string freeze =
        "FORM ASC;:SENS:SWE:POIN 625;:SENS:FREQ:CENT 1.5E9;:INIT:CONT OFF;:INIT;*OPC?";
    ASSERT_GT(freeze.size(), 64u);
    EXPECT_EQ(TransportQuery(*transport, freeze), "1\n");
    EXPECT_EQ(g.emulator.ReceivedMessages().back(), freeze);
    const std::string expected = g.emulator.Execute("TRAC? TRACE1") + "\n";
    ViStatus status = VI_ERROR_SYSTEM_ERROR;
    const std::string trace = TransportQuery(*transport, "TRAC? TRACE1", &status);
    EXPECT_EQ(status, VI_SUCCESS) << transport->FailureDetail();
    EXPECT_EQ(trace.size(), expected.size());
    EXPECT_TRUE(trace == expected);
}

TEST(HislipGateway, StopsWithSessionsThatCameAndWentAndOneStillOpen) {
    Emulator emulator(WithHislip());
    emulator.Start(0);
    const std::string resource = emulator.ResourceName(EmulatorTransport::kHislip);
    for (int i = 0; i < 20; ++i) {
        TestSession session(resource);
        EXPECT_EQ(session.Query("*OPC?\n").bytes, "1\n");
    }
    TestSession open(resource);
    EXPECT_EQ(open.Query("*OPC?\n").bytes, "1\n");
    // Every reply thread must end, also those of sessions closed long before.
    auto stopped = std::async(std::launch::async, [&] { emulator.Stop(); });
    ASSERT_EQ(stopped.wait_for(20s), std::future_status::ready) << "the gateway did not stop";
}

}  // namespace
}  // namespace tevo::visa::emulator_tests

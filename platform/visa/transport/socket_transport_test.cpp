// TCPIP SOCKET sessions against scripted TCP peers on the loopback interface, through the
// library's exported VISA operations.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "testing/scripted_peer.h"
#include "testing/session_fixture.h"
#include "tevo/visa.h"

namespace tevo::visa {
namespace {

using namespace std::chrono_literals;
using testing::Answering;
using testing::Counter;
using testing::PeerConnection;
using testing::ReadOutcome;
using testing::ScriptedPeer;
using testing::Signal;
using testing::TestSession;
using Clock = std::chrono::steady_clock;

// A time-out ends no earlier than its value and, on a loaded two-core machine, no more
// than this much later.
constexpr auto kLateMargin = 1500ms;

std::chrono::milliseconds Since(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
}

// 625 single-precision values (2500 bytes), many of whose bytes are 0x0A.
std::string TraceData() {
    std::string data;
    for (int i = 0; i < 625; ++i) {
        const float value = (i % 3 == 0) ? 1.0e-32f : -10.0f - static_cast<float>(i) / 64.0f;
        char bytes[4];
        std::memcpy(bytes, &value, 4);
        if (i % 5 == 0) {
            bytes[i % 4] = 0x0A;
        }
        data.append(bytes, 4);
    }
    return data;
}

std::string Description(ViObject vi, ViStatus status) {
    ViChar text[VI_FIND_BUFLEN];
    viStatusDesc(vi, status, text);
    return text;
}

TEST(SocketSession, QueryAppendsTheTerminationCharacterAndReadsToIt) {
    std::mutex mutex;
    std::vector<std::string> received;
    ScriptedPeer peer([&](PeerConnection& connection, int) {
        while (std::optional<std::string> line = connection.ReadLine()) {
            {
                std::lock_guard<std::mutex> lock(mutex);
                received.push_back(*line);
            }
            if (*line == "*IDN?") {
                connection.Send("TEVO,KLA,1234,1.0\n");
            }
        }
    });
    TestSession session(peer.Resource());
    ReadOutcome reply = session.Query("*IDN?");
    EXPECT_EQ(reply.status, VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(reply.bytes, "TEVO,KLA,1234,1.0\n");

    // A message in two pieces: only the last one ends it.
    ASSERT_EQ(viSetAttribute(session.vi, VI_ATTR_SEND_END_EN, VI_FALSE), VI_SUCCESS);
    EXPECT_EQ(session.Write("FREQ:CENT "), VI_SUCCESS);
    ASSERT_EQ(viSetAttribute(session.vi, VI_ATTR_SEND_END_EN, VI_TRUE), VI_SUCCESS);
    EXPECT_EQ(session.Write("1E9"), VI_SUCCESS);
    EXPECT_EQ(session.Query("*IDN?").status, VI_SUCCESS_TERM_CHAR);

    std::lock_guard<std::mutex> lock(mutex);
    EXPECT_EQ(received, (std::vector<std::string>{"*IDN?", "FREQ:CENT 1E9", "*IDN?"}));
}

TEST(SocketSession, TraceBlockHoldingLineFeedsArrivesWhole) {
    const std::string block = "#42500" + TraceData();
    ASSERT_NE(TraceData().find('\n'), std::string::npos);
    ScriptedPeer peer(Answering([&](const std::string& line) -> std::optional<std::string> {
        if (line == "TRAC? TRACE1") {
            return block + "\n";
        }
        if (line == "TRAC? BARE") {
            return block;  // some instruments send no line feed after a block
        }
        if (line == "*OPC?") {
            return "1\n";
        }
        return std::nullopt;
    }));
    TestSession session(peer.Resource());

    ReadOutcome trace = session.Query("TRAC? TRACE1", 4096);
    EXPECT_EQ(trace.status, VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(trace.bytes, block + "\n");
    EXPECT_EQ(session.Query("*OPC?").bytes, "1\n");

    // A count that ends exactly with the block: the reply is complete (not VI_SUCCESS_MAX_CNT)
    // and its line feed does not become the next reply.
    trace = session.Query("TRAC? TRACE1", block.size());
    EXPECT_EQ(trace.status, VI_SUCCESS);
    EXPECT_EQ(trace.bytes, block);
    EXPECT_EQ(session.Query("*OPC?").bytes, "1\n");

    trace = session.Query("TRAC? BARE", 4096);
    EXPECT_EQ(trace.status, VI_SUCCESS);
    EXPECT_EQ(trace.bytes, block);
    EXPECT_EQ(session.Query("*OPC?").bytes, "1\n");
}

TEST(SocketSession, CountLimitedReadsReturnMaxCountAndKeepTheRest) {
    ScriptedPeer peer(Answering([](const std::string& line) -> std::optional<std::string> {
        if (line == "TEXT?") {
            return "0123456789\n";
        }
        if (line == "BLOCK?") {
            return "#15ab\nde\n";
        }
        return std::nullopt;
    }));
    TestSession session(peer.Resource());

    ReadOutcome part = session.Query("TEXT?", 4);
    EXPECT_EQ(part.status, VI_SUCCESS_MAX_CNT);
    EXPECT_EQ(part.bytes, "0123");
    part = session.Read(4);
    EXPECT_EQ(part.status, VI_SUCCESS_MAX_CNT);
    EXPECT_EQ(part.bytes, "4567");
    part = session.Read(4);
    EXPECT_EQ(part.status, VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(part.bytes, "89\n");

    part = session.Query("BLOCK?", 4);
    EXPECT_EQ(part.status, VI_SUCCESS_MAX_CNT);
    EXPECT_EQ(part.bytes, "#15a");
    part = session.Read(100);
    EXPECT_EQ(part.status, VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(part.bytes, "b\nde\n");
}

TEST(SocketSession, ReplySplitAtEveryByteBoundaryReadsTheSame) {
    // Text, and a block whose 16 data bytes hold line feeds and header-like bytes.
    const std::string block_data = std::string("\n\x01\n\x02\n\x03\n\x04") + "#1\n\n\n\n#9";
    ASSERT_EQ(block_data.size(), 16u);
    const std::vector<std::string> replies = {"+1.23456789E+09\n", "#216" + block_data + "\n"};
    std::atomic<int> splits_not_seen{0};
    Counter delivered;
    ScriptedPeer peer([&](PeerConnection& connection, int) {
        while (std::optional<std::string> line = connection.ReadLine()) {
            // "SPLIT <reply> <position>"
            const size_t which = std::stoul(line->substr(6, 1));
            const size_t split = std::stoul(line->substr(8));
            if (!connection.SendSplit(replies[which], split)) {
                ++splits_not_seen;
            }
            connection.WaitAcknowledged();
            delivered.Add();
        }
    });
    TestSession session(peer.Resource());
    int queries = 0;
    for (size_t which = 0; which < replies.size(); ++which) {
        const std::string& reply = replies[which];
        const bool is_block = reply[0] == '#';
        for (size_t split = 1; split < reply.size(); ++split) {
            const std::string query =
                "SPLIT " + std::to_string(which) + " " + std::to_string(split);
            ReadOutcome outcome = session.Query(query);
            if (is_block && split == reply.size() - 1) {
                // The block was complete before its line feed came: the read does not wait
                // for it, and the late line feed is dropped before the next query.
                EXPECT_EQ(outcome.status, VI_SUCCESS) << query;
                EXPECT_EQ(outcome.bytes, reply.substr(0, split)) << query;
            } else {
                EXPECT_EQ(outcome.status, VI_SUCCESS_TERM_CHAR) << query;
                EXPECT_EQ(outcome.bytes, reply) << query;
            }
            ASSERT_TRUE(delivered.WaitFor(++queries));
        }
    }
    EXPECT_EQ(splits_not_seen.load(), 0);
}

TEST(SocketSession, DribbledRepliesArriveWhole) {
    const std::string block = "#42500" + TraceData();
    ScriptedPeer peer([&](PeerConnection& connection, int) {
        while (std::optional<std::string> line = connection.ReadLine()) {
            if (*line == "TEXT?") {
                connection.SendDribble("-42.125,+7.5E-03\n", true);
            } else if (*line == "TRAC?") {
                connection.SendDribble(block + "\n", false);
            }
        }
    });
    TestSession session(peer.Resource());
    ReadOutcome text = session.Query("TEXT?");
    EXPECT_EQ(text.status, VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(text.bytes, "-42.125,+7.5E-03\n");
    ReadOutcome trace = session.Query("TRAC?", 8192);
    EXPECT_GE(trace.status, VI_SUCCESS);
    EXPECT_EQ(trace.bytes.substr(0, block.size()), block);
}

TEST(SocketSession, ReadTimeOutEndsWithinItsLimitAndLeavesTheSessionUsable) {
    ScriptedPeer peer(Answering([](const std::string& line) -> std::optional<std::string> {
        if (line == "*OPC?") {
            return "1\n";
        }
        if (line == "HALF?") {
            return "PARTIAL";
        }
        return std::nullopt;  // "NOREPLY?" gets nothing
    }));
    TestSession session(peer.Resource());
    ASSERT_EQ(session.SetTimeout(300), VI_SUCCESS);

    const Clock::time_point start = Clock::now();
    ReadOutcome outcome = session.Query("NOREPLY?");
    const auto elapsed = Since(start);
    EXPECT_EQ(outcome.status, VI_ERROR_TMO);
    EXPECT_TRUE(outcome.bytes.empty());
    EXPECT_GE(elapsed, 300ms);
    EXPECT_LE(elapsed, 300ms + kLateMargin);
    EXPECT_EQ(session.Query("*OPC?").bytes, "1\n");

    // What came before the time-out is returned with it; it never reaches the next query.
    outcome = session.Query("HALF?");
    EXPECT_EQ(outcome.status, VI_ERROR_TMO);
    EXPECT_EQ(outcome.bytes, "PARTIAL");
    EXPECT_EQ(session.Query("*OPC?").bytes, "1\n");
}

TEST(SocketSession, LateReplyAfterClearIsNeverRead) {
    Signal release;
    Signal late_sent;
    ScriptedPeer peer([&](PeerConnection& connection, int index) {
        while (std::optional<std::string> line = connection.ReadLine()) {
            if (*line == "SLOW?" && index == 0) {
                release.Wait();
                connection.Send("LATE\n");
                late_sent.Set();
            } else if (*line == "*IDN?") {
                connection.Send("FRESH\n");
            }
        }
    });
    TestSession session(peer.Resource());
    ASSERT_EQ(session.SetTimeout(200), VI_SUCCESS);
    EXPECT_EQ(session.Query("SLOW?").status, VI_ERROR_TMO);
    EXPECT_EQ(viClear(session.vi), VI_SUCCESS);

    release.Set();
    ASSERT_TRUE(late_sent.Wait());
    ReadOutcome outcome = session.Query("*IDN?");
    EXPECT_EQ(outcome.status, VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(outcome.bytes, "FRESH\n");
    EXPECT_EQ(peer.accepted(), 2);
}

TEST(SocketSession, LateReplyThatArrivesBeforeTheNextQueryIsDiscarded) {
    Signal release;
    Signal late_in_client;
    ScriptedPeer peer([&](PeerConnection& connection, int) {
        while (std::optional<std::string> line = connection.ReadLine()) {
            if (*line == "SLOW?") {
                release.Wait();
                connection.Send("LATE\n");
                connection.WaitAcknowledged();
                late_in_client.Set();
            } else if (*line == "*IDN?") {
                connection.Send("FRESH\n");
            }
        }
    });
    TestSession session(peer.Resource());
    ASSERT_EQ(session.SetTimeout(200), VI_SUCCESS);

    // No viClear: after the time-out the next write connects anew by itself, and the late
    // reply goes with the old connection.
    EXPECT_EQ(session.Query("SLOW?").status, VI_ERROR_TMO);
    release.Set();
    ASSERT_TRUE(late_in_client.Wait());
    EXPECT_EQ(session.Query("*IDN?").bytes, "FRESH\n");
    EXPECT_EQ(peer.accepted(), 2);
}

TEST(SocketSession, WriteTimeOutEndsWithinItsLimit) {
    Signal finished;
    ScriptedPeer peer([&](PeerConnection& connection, int index) {
        if (index == 0) {
            finished.Wait();  // never reads: the client's writes back up
            return;
        }
        while (std::optional<std::string> line = connection.ReadLine()) {
            connection.Send("1\n");
        }
    });
    TestSession session(peer.Resource());
    ASSERT_EQ(session.SetTimeout(300), VI_SUCCESS);
    const std::string huge(64 * 1024 * 1024, 'x');
    ViUInt32 sent = 0;
    const Clock::time_point start = Clock::now();
    const ViStatus status = viWrite(session.vi, reinterpret_cast<const ViByte*>(huge.data()),
                                    static_cast<ViUInt32>(huge.size()), &sent);
    const auto elapsed = Since(start);
    EXPECT_EQ(status, VI_ERROR_TMO);
    EXPECT_LT(sent, huge.size());
    EXPECT_GE(elapsed, 300ms);
    EXPECT_LE(elapsed, 300ms + kLateMargin);

    // The half-sent message is dropped with the connection; the session works again.
    EXPECT_EQ(viClear(session.vi), VI_SUCCESS);
    EXPECT_EQ(session.Query("*OPC?").bytes, "1\n");
    finished.Set();
}

TEST(SocketSession, ImmediateAndInfiniteTimeOuts) {
    Signal release;
    Signal reply_in_client;
    ScriptedPeer peer([&](PeerConnection& connection, int) {
        while (std::optional<std::string> line = connection.ReadLine()) {
            if (*line == "NOW?") {
                connection.Send("NOW\n");
                connection.WaitAcknowledged();
                reply_in_client.Set();
            } else if (*line == "WAIT?") {
                release.Wait();
                connection.Send("WAITED\n");
            }
        }
    });
    TestSession session(peer.Resource());

    ASSERT_EQ(session.SetTimeout(VI_TMO_IMMEDIATE), VI_SUCCESS);
    Clock::time_point start = Clock::now();
    EXPECT_EQ(session.Read(100).status, VI_ERROR_TMO);  // nothing is there
    EXPECT_LE(Since(start), kLateMargin);

    // With the reply already received, an immediate read succeeds.
    ASSERT_EQ(session.SetTimeout(2000), VI_SUCCESS);
    ASSERT_EQ(session.Write("NOW?"), VI_SUCCESS);
    ASSERT_TRUE(reply_in_client.Wait());
    ASSERT_EQ(session.SetTimeout(VI_TMO_IMMEDIATE), VI_SUCCESS);
    ReadOutcome now = session.Read(100);
    EXPECT_EQ(now.status, VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(now.bytes, "NOW\n");

    // An infinite time-out outlasts a short wait for the reply.
    ASSERT_EQ(session.SetTimeout(VI_TMO_INFINITE), VI_SUCCESS);
    std::thread releaser([&] {
        std::this_thread::sleep_for(400ms);  // the reply is late on purpose
        release.Set();
    });
    start = Clock::now();
    ReadOutcome waited = session.Query("WAIT?");
    releaser.join();
    EXPECT_EQ(waited.status, VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(waited.bytes, "WAITED\n");
    EXPECT_GE(Since(start), 400ms);
}

TEST(SocketSession, DroppedConnectionIsConnectionLostUntilClearConnectsAgain) {
    ScriptedPeer peer([](PeerConnection& connection, int index) {
        if (index == 0) {
            connection.ReadLine();
            connection.Close();  // gone without a reply
            return;
        }
        if (index == 1) {
            connection.ReadLine();
            connection.Send("LAST\n");
            connection.Close();  // a reply, then gone
            return;
        }
        while (std::optional<std::string> line = connection.ReadLine()) {
            connection.Send("1\n");
        }
    });
    TestSession session(peer.Resource());
    EXPECT_EQ(session.Query("*IDN?").status, VI_ERROR_CONN_LOST);
    EXPECT_NE(Description(session.vi, VI_ERROR_CONN_LOST).find("closed the connection"),
              std::string::npos);
    EXPECT_EQ(session.Write("*IDN?"), VI_ERROR_CONN_LOST);
    EXPECT_EQ(session.Read(10).status, VI_ERROR_CONN_LOST);

    EXPECT_EQ(viClear(session.vi), VI_SUCCESS);
    ReadOutcome last = session.Query("*IDN?");
    EXPECT_EQ(last.status, VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(last.bytes, "LAST\n");
    EXPECT_EQ(session.Read(10).status, VI_ERROR_CONN_LOST);

    EXPECT_EQ(viClear(session.vi), VI_SUCCESS);
    EXPECT_EQ(session.Query("*OPC?").bytes, "1\n");
}

TEST(SocketSession, NothingListeningIsResourceNotFound) {
    // A bound port without a listener refuses connections, and stays ours for the test.
    const int bound = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(bound, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(bind(bound, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(getsockname(bound, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const std::string resource =
        "TCPIP0::127.0.0.1::" + std::to_string(ntohs(address.sin_port)) + "::SOCKET";

    ViSession rm = VI_NULL;
    ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
    ViSession vi = 12345;
    EXPECT_EQ(viOpen(rm, resource.c_str(), VI_NO_LOCK, 2000, &vi), VI_ERROR_RSRC_NFOUND);
    EXPECT_EQ(vi, static_cast<ViSession>(VI_NULL));
    EXPECT_NE(Description(rm, VI_ERROR_RSRC_NFOUND).find("refused"), std::string::npos);
    viClose(rm);
    close(bound);
}

TEST(SocketSession, HostThatDoesNotResolveIsResourceNotFound) {
    // A label longer than 63 characters fails inside the resolver, without a DNS query.
    const std::string host = std::string(64, 'a') + ".invalid";
    ViSession rm = VI_NULL;
    ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
    ViSession vi = VI_NULL;
    const std::string resource = "TCPIP0::" + host + "::5025::SOCKET";
    EXPECT_EQ(viOpen(rm, resource.c_str(), VI_NO_LOCK, 2000, &vi), VI_ERROR_RSRC_NFOUND);
    EXPECT_NE(Description(rm, VI_ERROR_RSRC_NFOUND).find("does not resolve"), std::string::npos);
    viClose(rm);
}

TEST(SocketSession, OpenTimeOutBoundsTheConnectionSetUp) {
    // A listener whose accept queue is full leaves new connections unanswered.
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(listen(listener, 0), 0);
    ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    std::vector<int> fillers;
    bool saturated = false;
    for (int i = 0; i < 8 && !saturated; ++i) {
        const int filler = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        fillers.push_back(filler);
        // Non-blocking: the connection completes, or stays pending once the queue is full.
        (void)connect(filler, reinterpret_cast<sockaddr*>(&address), length);
        pollfd wait = {filler, POLLOUT, 0};
        saturated = poll(&wait, 1, 200) == 0;
    }
    if (saturated) {
        const std::string resource =
            "TCPIP0::127.0.0.1::" + std::to_string(ntohs(address.sin_port)) + "::SOCKET";
        ViSession rm = VI_NULL;
        ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
        ViSession vi = VI_NULL;
        const Clock::time_point start = Clock::now();
        EXPECT_EQ(viOpen(rm, resource.c_str(), VI_NO_LOCK, 300, &vi), VI_ERROR_TMO);
        EXPECT_GE(Since(start), 300ms);
        EXPECT_LE(Since(start), 300ms + kLateMargin);
        viClose(rm);
    }
    for (int filler : fillers) {
        close(filler);
    }
    close(listener);
    if (!saturated) {
        GTEST_SKIP() << "this network stack answers connections beyond a full accept queue";
    }
}

TEST(SocketSession, ReachesIpv6LiteralsAndHostNames) {
    auto answer = Answering(
        [](const std::string&) -> std::optional<std::string> { return std::string("1\n"); });
    ViChar text[VI_FIND_BUFLEN];
    {
        std::unique_ptr<ScriptedPeer> peer;
        try {
            peer = std::make_unique<ScriptedPeer>(answer, ScriptedPeer::Family::Ipv6);
        } catch (const std::exception&) {
            GTEST_SKIP() << "no IPv6 loopback here";
        }
        ASSERT_EQ(peer->Resource().find("TCPIP0::[::1]::"), 0u);
        TestSession session(peer->Resource());
        EXPECT_EQ(session.Query("*OPC?").bytes, "1\n");
        ASSERT_EQ(viGetAttribute(session.vi, VI_ATTR_TCPIP_ADDR, text), VI_SUCCESS);
        EXPECT_STREQ(text, "::1");
    }
    ScriptedPeer peer(answer);
    TestSession session("TCPIP::localhost::" + std::to_string(peer.port()) + "::SOCKET");
    EXPECT_EQ(session.Query("*OPC?").bytes, "1\n");
    ASSERT_EQ(viGetAttribute(session.vi, VI_ATTR_TCPIP_HOSTNAME, text), VI_SUCCESS);
    EXPECT_STREQ(text, "localhost");
    ASSERT_EQ(viGetAttribute(session.vi, VI_ATTR_TCPIP_ADDR, text), VI_SUCCESS);
    EXPECT_STREQ(text, "127.0.0.1");
}

TEST(SocketSession, ClearSendsClsOnlyWhenTheStringProtocolIsChosen) {
    std::mutex mutex;
    std::map<int, std::string> first_lines;  // by connection
    Counter connections_done;
    ScriptedPeer peer([&](PeerConnection& connection, int index) {
        std::optional<std::string> line = connection.ReadLine();
        {
            std::lock_guard<std::mutex> lock(mutex);
            first_lines[index] = line.value_or("(closed)");
        }
        connections_done.Add();
        while (connection.ReadLine()) {
        }
    });
    TestSession session(peer.Resource());
    EXPECT_EQ(viClear(session.vi), VI_SUCCESS);  // connection 0 ends without a byte
    ASSERT_EQ(viSetAttribute(session.vi, VI_ATTR_IO_PROT, VI_PROT_4882_STRS), VI_SUCCESS);
    EXPECT_EQ(viClear(session.vi), VI_SUCCESS);  // connection 1 ends without a byte
    EXPECT_EQ(session.Write("*IDN?"), VI_SUCCESS);
    ASSERT_TRUE(connections_done.WaitFor(3));
    std::lock_guard<std::mutex> lock(mutex);
    EXPECT_EQ(first_lines,
              (std::map<int, std::string>{{0, "(closed)"}, {1, "(closed)"}, {2, "*CLS"}}));
}

TEST(SocketSession, NagleStaysOffUnlessTheAttributeTurnsItOn) {
    Signal done;
    std::atomic<int> nodelay_first{-1};
    std::atomic<int> nodelay_later{-1};
    ScriptedPeer peer([&](PeerConnection& connection, int) {
        auto nodelay = [&] {
            int value = -1;
            socklen_t length = sizeof value;
            getsockopt(connection.ClientSocket(), IPPROTO_TCP, TCP_NODELAY, &value, &length);
            return value;
        };
        connection.ReadLine();
        nodelay_first = nodelay();
        connection.Send("1\n");
        connection.ReadLine();
        nodelay_later = nodelay();
        connection.Send("1\n");
        done.Wait();
    });
    TestSession session(peer.Resource());
    ViBoolean value = VI_FALSE;
    ASSERT_EQ(viGetAttribute(session.vi, VI_ATTR_TCPIP_NODELAY, &value), VI_SUCCESS);
    EXPECT_EQ(value, VI_TRUE);
    EXPECT_EQ(session.Query("A?").bytes, "1\n");
    ASSERT_EQ(viSetAttribute(session.vi, VI_ATTR_TCPIP_NODELAY, VI_FALSE), VI_SUCCESS);
    EXPECT_EQ(session.Query("B?").bytes, "1\n");
    done.Set();
    EXPECT_EQ(nodelay_first.load(), 1);
    EXPECT_EQ(nodelay_later.load(), 0);
}

TEST(SocketSession, TerminationSettingsTakeEffectAtTheNextRead) {
    ScriptedPeer peer(Answering(
        [](const std::string&) -> std::optional<std::string> { return std::string("A;B\nC\n"); }));
    TestSession session(peer.Resource());
    ASSERT_EQ(session.Write("Q?"), VI_SUCCESS);
    ASSERT_EQ(viSetAttribute(session.vi, VI_ATTR_TERMCHAR, ';'), VI_SUCCESS);
    ReadOutcome outcome = session.Read(100);
    EXPECT_EQ(outcome.status, VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(outcome.bytes, "A;");
    ASSERT_EQ(viSetAttribute(session.vi, VI_ATTR_TERMCHAR_EN, VI_FALSE), VI_SUCCESS);
    outcome = session.Read(4);
    EXPECT_EQ(outcome.status, VI_SUCCESS_MAX_CNT);
    EXPECT_EQ(outcome.bytes, "B\nC\n");
}

}  // namespace
}  // namespace tevo::visa

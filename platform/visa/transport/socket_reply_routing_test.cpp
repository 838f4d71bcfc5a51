// No reply reaches the wrong query on a SOCKET session, whatever the instrument does: a
// block's line feed that comes after the next write, a reply read in part and then given
// up, a reply that comes after its read timed out, a message cut short by a write time-out,
// and a device clear that cannot connect anew. Scripted peers cut their replies where the
// fault needs it and hold them back until the client has made its next move.
#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "testing/scripted_peer.h"
#include "testing/session_fixture.h"
#include "tevo/visa.h"

namespace tevo::visa {
namespace {

using testing::PeerConnection;
using testing::ReadOutcome;
using testing::ScriptedPeer;
using testing::Signal;
using testing::TestSession;

// A definite-length block of n data bytes, every fifth of them a line feed.
std::string Block(size_t n) {
    std::string data(n, '\0');
    for (size_t i = 0; i < n; ++i) {
        data[i] = (i % 5 == 0) ? '\n' : static_cast<char>('A' + i % 26);
    }
    const std::string length = std::to_string(n);
    return "#" + std::to_string(length.size()) + length + data;
}

TEST(SocketReplyRouting, BlockLineFeedThatComesAfterTheNextWriteIsNotAReply) {
    for (const size_t size : {size_t{1000}, size_t{400000}}) {
        const std::string block = Block(size);
        ScriptedPeer peer([&](PeerConnection& connection, int) {
            while (std::optional<std::string> line = connection.ReadLine()) {
                if (*line == "TRAC?") {
                    // The block alone; its line feed goes with the reply to the next
                    // message, which the client sends only once it has read the block.
                    connection.Send(block);
                    std::optional<std::string> next = connection.ReadLine();
                    if (!next) {
                        return;
                    }
                    connection.Send("\n");
                    connection.WaitAcknowledged();
                    connection.Send(*next + "=1\n");
                } else {
                    connection.Send(*line + "=1\n");
                }
            }
        });
        TestSession session(peer.Resource());
        for (int round = 0; round < 3; ++round) {
            ReadOutcome trace = session.Query("TRAC?", block.size() + 100);
            EXPECT_EQ(trace.status, VI_SUCCESS) << size;
            EXPECT_EQ(trace.bytes, block) << size;
            // Every reply after the block is the one to its own query, none shifted.
            for (const std::string query : {"A?", "B?"}) {
                ReadOutcome reply = session.Query(query);
                EXPECT_EQ(reply.status, VI_SUCCESS_TERM_CHAR) << size << " " << query;
                EXPECT_EQ(reply.bytes, query + "=1\n") << size << " " << query;
            }
        }
        EXPECT_EQ(peer.accepted(), 1);
    }
}

TEST(SocketReplyRouting, WriteAfterACountLimitedReadDiscardsTheRestOfThatReply) {
    const std::string text = std::string(147, 'T') + "\n";  // 148 bytes
    const std::string block = Block(300) + "\n";
    ScriptedPeer peer([&](PeerConnection& connection, int) {
        while (std::optional<std::string> line = connection.ReadLine()) {
            if (*line == "TEXT?") {
                connection.Send(text);
            } else if (*line == "BLOCK?") {
                connection.Send(block);
            } else if (*line == "TEXT LATE?" || *line == "BLOCK LATE?") {
                // The first 100 bytes now, the rest only after the next message: the
                // discard has to wait for it.
                const std::string& reply = (*line == "TEXT LATE?") ? text : block;
                connection.Send(reply.substr(0, 100));
                std::optional<std::string> next = connection.ReadLine();
                if (!next) {
                    return;
                }
                connection.Send(reply.substr(100));
                connection.WaitAcknowledged();
                connection.Send(*next + "=1\n");
            } else {
                connection.Send(*line + "=1\n");
            }
        }
    });
    TestSession session(peer.Resource());
    for (const std::string query : {"TEXT?", "BLOCK?", "TEXT LATE?", "BLOCK LATE?"}) {
        const std::string& reply = query.rfind("TEXT", 0) == 0 ? text : block;
        ReadOutcome part = session.Query(query, 100);
        EXPECT_EQ(part.status, VI_SUCCESS_MAX_CNT) << query;
        EXPECT_EQ(part.bytes, reply.substr(0, 100)) << query;
        ReadOutcome next = session.Query("*OPC?");
        EXPECT_EQ(next.status, VI_SUCCESS_TERM_CHAR) << query;
        EXPECT_EQ(next.bytes, "*OPC?=1\n") << query;
        EXPECT_EQ(session.Query("*IDN?").bytes, "*IDN?=1\n") << query;
    }
    // Reading on after a count-limited read, without a write between, still gets the rest.
    ReadOutcome part = session.Query("TEXT?", 100);
    EXPECT_EQ(part.status, VI_SUCCESS_MAX_CNT);
    ReadOutcome rest = session.Read(100);
    EXPECT_EQ(rest.status, VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(part.bytes + rest.bytes, text);
    EXPECT_EQ(peer.accepted(), 1);
}

TEST(SocketReplyRouting, DiscardOfAnAbandonedReplyEndsAtTheReadTimeOut) {
    ScriptedPeer peer(testing::Answering([](const std::string& line) -> std::optional<std::string> {
        if (line == "CUT?") {
            return std::string("0123456789");  // a reply the instrument never ends
        }
        return line + "=1\n";
    }));
    TestSession session(peer.Resource());
    ASSERT_EQ(session.SetTimeout(300), VI_SUCCESS);
    EXPECT_EQ(session.Query("CUT?", 4).status, VI_SUCCESS_MAX_CNT);
    // The discard of CUT?'s rest runs into NEXT?'s reply and takes it for CUT?'s end: the
    // read times out instead of returning the stream's next bytes ...
    ReadOutcome lost = session.Query("NEXT?");
    EXPECT_EQ(lost.status, VI_ERROR_TMO);
    EXPECT_EQ(lost.bytes, "");
    // ... and the next query starts on a new connection.
    ReadOutcome fresh = session.Query("NEXT?");
    EXPECT_EQ(fresh.status, VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(fresh.bytes, "NEXT?=1\n");
    EXPECT_EQ(peer.accepted(), 2);
}

TEST(SocketReplyRouting, ReplyThatComesAfterItsReadTimedOutNeverReachesALaterRead) {
    Signal release;
    ScriptedPeer peer([&](PeerConnection& connection, int) {
        while (std::optional<std::string> line = connection.ReadLine()) {
            if (*line == "SLOW?") {
                release.Wait();
                connection.Send("LATE\n");
            } else {
                connection.Send(*line + "=1\n");
            }
        }
    });
    TestSession session(peer.Resource());
    ASSERT_EQ(session.SetTimeout(200), VI_SUCCESS);
    EXPECT_EQ(session.Query("SLOW?").status, VI_ERROR_TMO);

    // The late reply leaves only after the next query has been written, however long the
    // quiet before that write.
    ASSERT_EQ(session.SetTimeout(2000), VI_SUCCESS);
    ASSERT_EQ(session.Write("*IDN?"), VI_SUCCESS);
    release.Set();
    ReadOutcome reply = session.Read(100);
    EXPECT_EQ(reply.status, VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(reply.bytes, "*IDN?=1\n");
    EXPECT_EQ(session.Query("*OPC?").bytes, "*OPC?=1\n");
    EXPECT_EQ(peer.accepted(), 2);
}

TEST(SocketReplyRouting, WriteThatTimedOutPartWayIsNotContinuedByTheNextWrite) {
    Signal release;
    std::mutex mutex;
    std::vector<size_t> first_connection_lines;  // the length of each line it received
    ScriptedPeer peer([&](PeerConnection& connection, int index) {
        if (index == 0) {
            release.Wait();  // reads nothing until then: the client's write backs up
        }
        while (std::optional<std::string> line = connection.ReadLine()) {
            if (index == 0) {
                std::lock_guard<std::mutex> lock(mutex);
                first_connection_lines.push_back(line->size());
            }
            if (*line == "*OPC?") {
                connection.Send("1\n");
            }
        }
    });
    TestSession session(peer.Resource());
    ASSERT_EQ(session.SetTimeout(300), VI_SUCCESS);
    const std::string huge(64 * 1024 * 1024, 'x');
    ViUInt32 sent = 0;
    EXPECT_EQ(viWrite(session.vi, reinterpret_cast<const ViByte*>(huge.data()),
                      static_cast<ViUInt32>(huge.size()), &sent),
              VI_ERROR_TMO);
    EXPECT_GT(sent, 0u);
    EXPECT_LT(sent, huge.size());
    release.Set();

    // No viClear: the next query is sent whole, on a connection of its own.
    ASSERT_EQ(session.SetTimeout(5000), VI_SUCCESS);
    ReadOutcome reply = session.Query("*OPC?");
    EXPECT_EQ(reply.status, VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(reply.bytes, "1\n");
    EXPECT_EQ(peer.accepted(), 2);
    std::lock_guard<std::mutex> lock(mutex);
    EXPECT_TRUE(first_connection_lines.empty()) << "the cut message got an end on the wire";
}

TEST(SocketReplyRouting, ClearThatCannotConnectAnewKeepsTheWorkingConnection) {
    Signal stale_in_client;
    ScriptedPeer peer([&](PeerConnection& connection, int) {
        while (std::optional<std::string> line = connection.ReadLine()) {
            if (*line == "STALE?") {
                connection.Send("STALE\n");
                connection.WaitAcknowledged();
                stale_in_client.Set();
            } else {
                connection.Send(*line + "=1\n");
            }
        }
    });
    TestSession session(peer.Resource());
    EXPECT_EQ(session.Query("*IDN?").bytes, "*IDN?=1\n");
    peer.StopListening();

    // A reply nobody reads is in the client when the clear fails.
    ASSERT_EQ(session.Write("STALE?"), VI_SUCCESS);
    ASSERT_TRUE(stale_in_client.Wait());
    const ViStatus cleared = viClear(session.vi);
    EXPECT_EQ(cleared, VI_ERROR_CONN_LOST);
    ViChar text[VI_FIND_BUFLEN];
    viStatusDesc(session.vi, cleared, text);
    EXPECT_NE(std::string(text).find("old connection is kept"), std::string::npos) << text;

    // The session still works, on its old connection, and the clear dropped the stale reply.
    ReadOutcome reply = session.Query("*OPC?");
    EXPECT_EQ(reply.status, VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(reply.bytes, "*OPC?=1\n");
    EXPECT_EQ(peer.accepted(), 1);
}

TEST(SocketReplyRouting, WriteThatMustConnectAnewAndCannotSendsNothing) {
    Signal release;
    ScriptedPeer peer([&](PeerConnection& connection, int) {
        while (std::optional<std::string> line = connection.ReadLine()) {
            if (*line == "SLOW?") {
                release.Wait();
            } else {
                connection.Send(*line + "=1\n");
            }
        }
    });
    TestSession session(peer.Resource());
    ASSERT_EQ(session.SetTimeout(200), VI_SUCCESS);
    EXPECT_EQ(session.Query("SLOW?").status, VI_ERROR_TMO);
    peer.StopListening();

    // The time-out calls for a new connection, which cannot be made: nothing is sent on
    // the old one, where the reply to SLOW? may still come.
    EXPECT_EQ(session.Write("*IDN?"), VI_ERROR_CONN_LOST);
    ViChar text[VI_FIND_BUFLEN];
    viStatusDesc(session.vi, VI_ERROR_CONN_LOST, text);
    EXPECT_NE(std::string(text).find("Nothing was sent"), std::string::npos) << text;
    EXPECT_EQ(session.Write("*IDN?"), VI_ERROR_CONN_LOST);  // and not later either
    release.Set();
}

}  // namespace
}  // namespace tevo::visa

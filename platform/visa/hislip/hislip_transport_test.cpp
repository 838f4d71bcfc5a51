// The HiSLIP transport against scripted servers: what goes on the wire at connection,
// write splitting, MessageIDs, replies dribbled byte by byte, stale replies, device clear,
// the status byte and broken servers. (Tests against the emulator's gateway are with the
// emulator's VISA tests.)
#include "hislip/hislip_transport.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "hislip/hislip_message.h"
#include "testing/scripted_peer.h"

namespace tevo::visa {
namespace {

using hislip::Message;
using hislip::MessageType;
using testing::PeerConnection;
using testing::ScriptedPeer;

constexpr uint16_t kSessionId = 7;

std::optional<Message> ReadMessage(PeerConnection& connection) {
    const std::optional<std::string> header = connection.ReadBytes(hislip::kHeaderSize);
    if (!header) {
        return std::nullopt;
    }
    hislip::Header decoded;
    if (hislip::DecodeHeader(reinterpret_cast<const uint8_t*>(header->data()), 1u << 20,
                             &decoded) != hislip::HeaderCheck::kValid) {
        return std::nullopt;
    }
    const std::optional<std::string> payload =
        connection.ReadBytes(static_cast<size_t>(decoded.payload_length));
    if (!payload) {
        return std::nullopt;
    }
    return Message{decoded.type, decoded.control, decoded.parameter, *payload};
}

// The next message of the given type, passing over others; nullopt when none comes.
std::optional<Message> ReadUntil(PeerConnection& connection, MessageType type,
                                 std::vector<Message>* passed = nullptr) {
    while (std::optional<Message> message = ReadMessage(connection)) {
        if (message->type == type) {
            return message;
        }
        if (passed != nullptr) {
            passed->push_back(*message);
        }
    }
    return std::nullopt;
}

void Send(PeerConnection& connection, MessageType type, uint8_t control, uint32_t parameter,
          std::string_view payload = {}) {
    connection.Send(hislip::Encode(type, control, parameter, payload));
}

// What a client sent while setting up the session.
struct SetUpRecord {
    std::optional<Message> initialize;
    std::optional<Message> async_initialize;
    std::optional<Message> max_size_request;
};

// A HiSLIP server made of two scripts: the synchronous channel (the first connection) after
// Initialize was answered, and the asynchronous one after the size exchange. The scripts'
// threads end before the destructor returns, so what they record outside may be read then.
class FakeServer {
  public:
    using ChannelScript = std::function<void(PeerConnection&)>;

    explicit FakeServer(ChannelScript sync_script, ChannelScript async_script = nullptr,
                        uint64_t max_message_size = 1u << 20, SetUpRecord* record = nullptr)
        : peer_([record, sync_script = std::move(sync_script),
                 async_script = std::move(async_script),
                 max_message_size](PeerConnection& c, int index) {
              SetUpRecord ignored;
              SetUpRecord& r = record != nullptr ? *record : ignored;
              if (index == 0) {
                  r.initialize = ReadMessage(c);
                  Send(c, MessageType::kInitializeResponse, 0,
                       hislip::InitializeResponseParameter(hislip::kProtocolVersion, kSessionId));
                  sync_script(c);
                  return;
              }
              r.async_initialize = ReadMessage(c);
              Send(c, MessageType::kAsyncInitializeResponse, 0, 0x5453);
              r.max_size_request = ReadMessage(c);
              Send(c, MessageType::kAsyncMaximumMessageSizeResponse, 0, 0,
                   hislip::EncodeSize(max_message_size));
              if (async_script) {
                  async_script(c);
              } else {
                  c.WaitForClientClose();
              }
          }) {}

    uint16_t port() const { return peer_.port(); }

  private:
    ScriptedPeer peer_;
};

IoResult WriteText(HislipTransport& transport, std::string_view text,
                   const IoSettings& io = IoSettings{}) {
    return transport.Write(reinterpret_cast<const ViByte*>(text.data()), text.size(), io,
                           Deadline::AfterMilliseconds(2000));
}

struct TextRead {
    ViStatus status;
    std::string bytes;
};

TextRead ReadText(HislipTransport& transport, size_t count, ViUInt32 timeout_ms = 2000,
                  const IoSettings& io = IoSettings{}) {
    std::string buffer(count, '\0');
    const IoResult result = transport.Read(reinterpret_cast<ViByte*>(buffer.data()), count, io,
                                           Deadline::AfterMilliseconds(timeout_ms));
    buffer.resize(result.count);
    return {result.status, buffer};
}

TEST(HislipTransportTest, ConnectsBothChannelsAndSplitsWritesAtTheServersSize) {
    std::vector<Message> written;
    testing::Signal all_read;
    {
        FakeServer server(
            [&](PeerConnection& c) {
                // Up to the second DataEnd: the END sent alone.
                int ends = 0;
                while (ends < 2) {
                    std::optional<Message> message = ReadMessage(c);
                    if (!message) {
                        return;
                    }
                    ends += message->type == MessageType::kDataEnd ? 1 : 0;
                    written.push_back(*message);
                }
                all_read.Set();
            },
            nullptr, 10);
        HislipTransport transport("127.0.0.1", server.port(), "hislip3", 4096);
        ASSERT_EQ(transport.Connect(IoSettings{}, Deadline::AfterMilliseconds(5000)), VI_SUCCESS)
            << transport.FailureDetail();
        EXPECT_EQ(transport.session_id(), kSessionId);
        EXPECT_EQ(transport.send_limit(), 10u);
        EXPECT_FALSE(transport.overlap_mode());

        const IoResult result = WriteText(transport, "0123456789abcdefghijKLMNO");
        EXPECT_EQ(result.status, VI_SUCCESS);
        EXPECT_EQ(result.count, 25u);
        IoSettings no_end;
        no_end.send_end = false;
        EXPECT_EQ(WriteText(transport, "xyz", no_end).status, VI_SUCCESS);
        EXPECT_EQ(WriteText(transport, "").status, VI_SUCCESS);  // END alone
        EXPECT_TRUE(all_read.Wait());
        transport.Close();
    }
    ASSERT_TRUE(written.size() == 5u);
    const MessageType expected_types[] = {MessageType::kData, MessageType::kData,
                                          MessageType::kDataEnd, MessageType::kData,
                                          MessageType::kDataEnd};
    const char* expected_payloads[] = {"0123456789", "abcdefghij", "KLMNO", "xyz", ""};
    for (size_t i = 0; i < written.size(); ++i) {
        EXPECT_EQ(written[i].type, expected_types[i]) << i;
        EXPECT_EQ(written[i].payload, expected_payloads[i]) << i;
        EXPECT_EQ(written[i].parameter, hislip::kFirstMessageId + 2 * i) << i;
    }
}

TEST(HislipTransportTest, SetUpMessagesCarryVersionVendorSubAddressAndSizes) {
    SetUpRecord record;
    {
        FakeServer server([](PeerConnection& c) { c.WaitForClientClose(); }, nullptr, 1u << 20,
                          &record);
        HislipTransport transport("127.0.0.1", server.port(), "hislip3", 4096);
        ASSERT_EQ(transport.Connect(IoSettings{}, Deadline::AfterMilliseconds(5000)), VI_SUCCESS);
        transport.Close();
    }
    const std::optional<Message>& initialize = record.initialize;
    const std::optional<Message>& async_initialize = record.async_initialize;
    const std::optional<Message>& size_request = record.max_size_request;
    ASSERT_TRUE(initialize && async_initialize && size_request);
    EXPECT_EQ(initialize->type, MessageType::kInitialize);
    EXPECT_EQ(hislip::HighHalf(initialize->parameter), hislip::kProtocolVersion);
    EXPECT_EQ(hislip::LowHalf(initialize->parameter), 0x5456);  // "TV"
    EXPECT_EQ(initialize->payload, "hislip3");
    EXPECT_EQ(async_initialize->type, MessageType::kAsyncInitialize);
    EXPECT_EQ(async_initialize->parameter, kSessionId);
    EXPECT_EQ(size_request->type, MessageType::kAsyncMaximumMessageSize);
    EXPECT_EQ(hislip::DecodeSize(size_request->payload), 4096u);
}

TEST(HislipTransportTest, DribbledReplyIsJoinedAndStaleMessagesAreDropped) {
    FakeServer server([](PeerConnection& c) {
        const std::optional<Message> query = ReadUntil(c, MessageType::kDataEnd);
        if (!query) {
            return;
        }
        const uint32_t id = query->parameter;
        std::string bytes = hislip::Encode(MessageType::kDataEnd, 0, id - 2, "stale\n") +
                            hislip::Encode(MessageType::kInterrupted, 0, id) +
                            hislip::Encode(MessageType::kData, 0, id, "#15ab") +
                            hislip::Encode(MessageType::kDataEnd, 0, id, "\ncd\n");
        c.SendDribble(bytes, true);
        c.WaitForClientClose();
    });
    HislipTransport transport("127.0.0.1", server.port(), "hislip0");
    ASSERT_EQ(transport.Connect(IoSettings{}, Deadline::AfterMilliseconds(5000)), VI_SUCCESS);
    ASSERT_EQ(WriteText(transport, "TRAC?").status, VI_SUCCESS);
    // The line feed inside the block does not end the read, although the termination
    // character is enabled; END does.
    const TextRead reply = ReadText(transport, 100);
    EXPECT_EQ(reply.status, VI_SUCCESS);
    EXPECT_EQ(reply.bytes, "#15ab\ncd\n");
}

TEST(HislipTransportTest, LateReplyOfATimedOutQueryNeverAnswersTheNext) {
    FakeServer server([](PeerConnection& c) {
        const std::optional<Message> first = ReadUntil(c, MessageType::kDataEnd);
        const std::optional<Message> second = ReadUntil(c, MessageType::kDataEnd);
        if (!first || !second) {
            return;
        }
        Send(c, MessageType::kDataEnd, 0, first->parameter, "late\n");
        Send(c, MessageType::kData, 0, second->parameter, "fre");
        Send(c, MessageType::kDataEnd, 0, second->parameter, "sh\n");
        c.WaitForClientClose();
    });
    HislipTransport transport("127.0.0.1", server.port(), "hislip0");
    ASSERT_EQ(transport.Connect(IoSettings{}, Deadline::AfterMilliseconds(5000)), VI_SUCCESS);
    ASSERT_EQ(WriteText(transport, "FIRST?").status, VI_SUCCESS);
    EXPECT_EQ(ReadText(transport, 100, 100).status, VI_ERROR_TMO);
    ASSERT_EQ(WriteText(transport, "SECOND?").status, VI_SUCCESS);
    TextRead reply = ReadText(transport, 2);
    EXPECT_EQ(reply.status, VI_SUCCESS_MAX_CNT);
    EXPECT_EQ(reply.bytes, "fr");
    reply = ReadText(transport, 100);
    EXPECT_EQ(reply.status, VI_SUCCESS);
    EXPECT_EQ(reply.bytes, "esh\n");
}

TEST(HislipTransportTest, DeviceClearHandshakeDropsOldInputAndRestartsMessageIds) {
    std::optional<Message> clear_complete;
    std::vector<uint32_t> query_ids;
    {
        FakeServer server(
            [&](PeerConnection& c) {
                std::optional<Message> query = ReadUntil(c, MessageType::kDataEnd);
                if (!query) {
                    return;
                }
                query_ids.push_back(query->parameter);
                // A reply the clear must drop, in part before and in part after the
                // client's DeviceClearComplete.
                Send(c, MessageType::kData, 0, query->parameter, "old ");
                clear_complete = ReadUntil(c, MessageType::kDeviceClearComplete);
                Send(c, MessageType::kDataEnd, 0, hislip::kFirstMessageId, "old\n");
                Send(c, MessageType::kDeviceClearAcknowledge, 0, 0);
                query = ReadUntil(c, MessageType::kDataEnd);
                if (!query) {
                    return;
                }
                query_ids.push_back(query->parameter);
                Send(c, MessageType::kDataEnd, 0, query->parameter, "new\n");
                c.WaitForClientClose();
            },
            [](PeerConnection& c) {
                if (ReadUntil(c, MessageType::kAsyncDeviceClear)) {
                    Send(c, MessageType::kAsyncDeviceClearAcknowledge, hislip::kOverlapMode, 0);
                }
                c.WaitForClientClose();
            });
        HislipTransport transport("127.0.0.1", server.port(), "hislip0");
        ASSERT_EQ(transport.Connect(IoSettings{}, Deadline::AfterMilliseconds(5000)), VI_SUCCESS);
        ASSERT_EQ(WriteText(transport, "A?").status, VI_SUCCESS);
        ASSERT_EQ(transport.Clear(IoSettings{}, Deadline::AfterMilliseconds(5000)), VI_SUCCESS)
            << transport.FailureDetail();
        ASSERT_EQ(WriteText(transport, "B?").status, VI_SUCCESS);
        const TextRead reply = ReadText(transport, 100);
        EXPECT_EQ(reply.status, VI_SUCCESS);
        EXPECT_EQ(reply.bytes, "new\n");
        transport.Close();
    }
    ASSERT_TRUE(clear_complete.has_value());
    EXPECT_EQ(clear_complete->control, 0);  // synchronized mode asked for
    EXPECT_EQ(query_ids, (std::vector<uint32_t>{hislip::kFirstMessageId, hislip::kFirstMessageId}));
}

TEST(HislipTransportTest, StatusQueryPassesOverServiceRequests) {
    std::optional<Message> status_query;
    {
        FakeServer server(
            [](PeerConnection& c) {
                const std::optional<Message> query = ReadUntil(c, MessageType::kDataEnd);
                if (query) {
                    Send(c, MessageType::kDataEnd, 0, query->parameter, "1\n");
                }
                c.WaitForClientClose();
            },
            [&](PeerConnection& c) {
                status_query = ReadUntil(c, MessageType::kAsyncStatusQuery);
                Send(c, MessageType::kAsyncServiceRequest, 0x40, 0);
                Send(c, MessageType::kAsyncStatusResponse, 0x42, 0);
                c.WaitForClientClose();
            });
        HislipTransport transport("127.0.0.1", server.port(), "hislip0");
        ASSERT_EQ(transport.Connect(IoSettings{}, Deadline::AfterMilliseconds(5000)), VI_SUCCESS);
        ASSERT_EQ(WriteText(transport, "*OPC?").status, VI_SUCCESS);
        EXPECT_EQ(ReadText(transport, 10).bytes, "1\n");
        ViUInt16 status = 0;
        ASSERT_EQ(transport.ReadStatusByte(&status, Deadline::AfterMilliseconds(5000)), VI_SUCCESS);
        EXPECT_EQ(status, 0x42);
        transport.Close();
    }
    ASSERT_TRUE(status_query.has_value());
    EXPECT_EQ(status_query->parameter, hislip::kFirstMessageId);  // the last message sent
    EXPECT_EQ(status_query->control, hislip::kRmtDelivered);      // its reply was read
}

TEST(HislipTransportTest, BrokenServersAreReportedNotTrusted) {
    {
        // A server that speaks something else than HiSLIP on the synchronous channel.
        FakeServer server([](PeerConnection& c) {
            if (ReadUntil(c, MessageType::kDataEnd)) {
                c.Send("HTTP/1.1 400 Bad Request\r\n\r\n");
            }
            c.WaitForClientClose();
        });
        HislipTransport transport("127.0.0.1", server.port(), "hislip0");
        ASSERT_EQ(transport.Connect(IoSettings{}, Deadline::AfterMilliseconds(5000)), VI_SUCCESS);
        ASSERT_EQ(WriteText(transport, "*IDN?").status, VI_SUCCESS);
        EXPECT_EQ(ReadText(transport, 100).status, VI_ERROR_CONN_LOST);
        EXPECT_NE(transport.FailureDetail().find("not HiSLIP"), std::string::npos);
        EXPECT_EQ(WriteText(transport, "*IDN?").status, VI_ERROR_CONN_LOST);
    }
    {
        // A server that refuses the session.
        ScriptedPeer refusing([](PeerConnection& c, int) {
            if (ReadMessage(c)) {
                Send(c, MessageType::kFatalError, hislip::kFatalTooManyClients, 0, "too many");
            }
            c.WaitForClientClose();
        });
        HislipTransport transport("127.0.0.1", refusing.port(), "hislip0");
        EXPECT_EQ(transport.Connect(IoSettings{}, Deadline::AfterMilliseconds(5000)),
                  VI_ERROR_RSRC_NFOUND);
        EXPECT_NE(transport.FailureDetail().find("too many"), std::string::npos);
    }
    {
        // A server whose reply exceeds the size this side offered.
        FakeServer server([](PeerConnection& c) {
            const std::optional<Message> query = ReadUntil(c, MessageType::kDataEnd);
            if (query) {
                Send(c, MessageType::kDataEnd, 0, query->parameter, std::string(200, 'x'));
            }
            c.WaitForClientClose();
        });
        HislipTransport transport("127.0.0.1", server.port(), "hislip0", 100);
        ASSERT_EQ(transport.Connect(IoSettings{}, Deadline::AfterMilliseconds(5000)), VI_SUCCESS);
        ASSERT_EQ(WriteText(transport, "*IDN?").status, VI_SUCCESS);
        EXPECT_EQ(ReadText(transport, 1000).status, VI_ERROR_CONN_LOST);
    }
}

}  // namespace
}  // namespace tevo::visa

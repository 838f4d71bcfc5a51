// HiSLIP INSTR sessions (IVI-6.1): a synchronous channel that carries the messages and
// their replies, and an asynchronous channel for device clear, locks and the status byte.
//
// - Connect opens the synchronous channel (Initialize: protocol version, vendor id and the
//   sub-address such as "hislip0"; the reply gives the session id and the mode), then the
//   asynchronous channel (AsyncInitialize with that session id), then exchanges the
//   maximum message sizes.
// - A write goes out as Data messages and, while VI_ATTR_SEND_END_EN is on, a final
//   DataEnd (END), each no larger than the server accepts and each with a MessageID of its
//   own (0xFFFFFF00, then +2 per message).
// - A read collects the Data/DataEnd messages that answer the last message sent (they
//   carry its MessageID) and ends at DataEnd (VI_SUCCESS), at the termination character
//   when enabled (never inside an IEEE 488.2 definite-length block at the start of the
//   reply), or at the caller's count (VI_SUCCESS_MAX_CNT; the rest is kept). Messages with
//   any other MessageID belong to a reply that was given up (a time-out, a new message, a
//   clear) and are dropped, so a late reply never reaches the next query and a time-out
//   needs no reconnection.
// - Clear runs the device-clear handshake: AsyncDeviceClear, its acknowledgement with the
//   server's features, then everything still arriving on the synchronous channel is
//   dropped until DeviceClearComplete is acknowledged; MessageIDs start over. Synchronized
//   mode is asked for.
// - ReadStatusByte asks the asynchronous channel (AsyncStatusQuery); Lock and Unlock use
//   AsyncLock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "hislip/hislip_channel.h"
#include "hislip/hislip_message.h"
#include "transport/reply_framer.h"
#include "transport/transport.h"

namespace tevo::visa {

class HislipTransport final : public Transport {
  public:
    // The vendor id sent in Initialize.
    static constexpr std::string_view kVendorId = "TV";

    // receive_limit: the largest message payload this side accepts; it is offered to the
    // server in the maximum-message-size exchange.
    HislipTransport(std::string host, ViUInt16 port, std::string sub_address,
                    uint64_t receive_limit = hislip::kDefaultMaxMessageSize);

    ViStatus Connect(const IoSettings& settings, const Deadline& deadline) override;
    IoResult Write(const ViByte* data, size_t count, const IoSettings& settings,
                   const Deadline& deadline) override;
    IoResult Read(ViByte* buffer, size_t count, const IoSettings& settings,
                  const Deadline& deadline) override;
    ViStatus Clear(const IoSettings& settings, const Deadline& deadline) override;
    void DiscardInput() override;
    void AbandonReply() override;
    void Abort() override;
    void Close() override;
    std::string PeerAddress() const override { return sync_.PeerAddress(); }
    std::string FailureDetail() const override { return detail_; }

    // The IEEE 488.2 status byte, from the server without a message on the synchronous
    // channel.
    ViStatus ReadStatusByte(ViUInt16* status_byte, const Deadline& deadline) override;
    // AsyncLock: an exclusive lock (empty key) or a shared lock with the key. The server
    // waits up to timeout_ms for it. VI_SUCCESS, VI_ERROR_TMO when not granted in time,
    // VI_ERROR_RSRC_LOCKED when the server refused the request.
    ViStatus Lock(ViUInt32 timeout_ms, std::string_view shared_key,
                  const Deadline& deadline) override;
    // Releases the lock held. VI_ERROR_SESN_NLOCKED when none was held.
    ViStatus Unlock(const Deadline& deadline) override;

    // What the server announced: its session id, its mode, the largest payload it takes.
    uint16_t session_id() const { return session_id_; }
    bool overlap_mode() const { return overlap_; }
    uint64_t send_limit() const { return send_limit_; }

  private:
    // Sends a message on the asynchronous channel and waits for the answer of the given
    // type; service requests arriving meanwhile are passed over.
    ViStatus AsyncExchange(hislip::MessageType type, uint8_t control, uint32_t parameter,
                           std::string_view payload, hislip::MessageType answer_type,
                           const Deadline& deadline, hislip::Message* answer);
    // The next message for the current reply, passing over those of replies given up.
    ViStatus NextReplyMessage(const Deadline& deadline);
    // Moves bytes of the current message to the caller; *ended tells whether the reply
    // ended, *status how.
    void TakeFromCurrent(ViByte* buffer, size_t count, const IoSettings& settings, IoResult* result,
                         bool* ended);
    // Forgets the reply being read and any partial message: no reply is expected.
    void ForgetReply();
    ViStatus Failed(ViStatus status);
    uint32_t LastMessageIdSent() const { return next_id_ - 2; }

    std::string host_;
    ViUInt16 port_;
    std::string sub_address_;
    uint64_t receive_limit_;

    hislip::HislipChannel sync_;
    hislip::HislipChannel async_;
    uint16_t session_id_ = 0;
    bool overlap_ = false;
    uint64_t send_limit_ = hislip::kDefaultMaxMessageSize;

    uint32_t next_id_ = hislip::kFirstMessageId;
    std::optional<uint32_t> expected_id_;  // MessageID of the reply wanted; none: drop all
    hislip::Message current_;              // the message being read from
    size_t current_offset_ = 0;
    bool have_current_ = false;
    ReplyFramer framer_;
    bool rmt_delivered_ = false;  // a whole reply reached the caller since the last message
    // A write stopped part-way: the next write clears first, so that it is not taken as
    // the rest of the cut message.
    bool clear_before_write_ = false;
    std::string detail_;
};

}  // namespace tevo::visa

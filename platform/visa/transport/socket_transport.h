// TCPIP SOCKET sessions: raw SCPI over one TCP connection.
//
// - A write sends the caller's bytes and, while VI_ATTR_SEND_END_EN is on, the termination
//   character, in one system call where the socket allows. A query costs three system
//   calls: the send, one wait and one receive.
// - A read ends by block length, termination character, count, time-out or a lost
//   connection (ReplyFramer decides where a reply ends); never on a pause in the data.
// - No reply ever reaches the reader of another:
//   * a block's line feed that has not arrived when the block is complete is owed: the
//     first byte of the next reply is dropped when it is a line feed, whenever it comes;
//   * a write while a reply is partly read (a read stopped at its count) abandons that
//     reply, and the next read first discards its rest, up to its end, within its own
//     time-out;
//   * after a read that timed out, the session cannot know whether or when the reply will
//     still come; after a write that stopped part-way, part of a message is on the wire.
//     In both cases (and when another thread gave up a query it did not read) the next
//     write first connects anew as Clear does; a read before that write reads on as usual
//     (no reply to a cut message can come). When connecting anew fails, the write fails
//     with Clear's status, sends nothing, and the next write tries again.
// - Clear makes a new connection to the same address and only then closes the old one, so
//   that no byte of an earlier reply can be read afterwards, however late the device sends
//   it. When no new connection can be made, the old one is kept, its input is drained
//   until it has been quiet for a short window, and Clear reports the failure.
#pragma once

#include <cstddef>
#include <string>

#include "transport/input_buffer.h"
#include "transport/reply_framer.h"
#include "transport/tcp_connection.h"
#include "transport/transport.h"

namespace tevo::visa {

class SocketTransport final : public Transport {
  public:
    SocketTransport(std::string host, ViUInt16 port);

    ViStatus Connect(const IoSettings& settings, const Deadline& deadline) override;
    IoResult Write(const ViByte* data, size_t count, const IoSettings& settings,
                   const Deadline& deadline) override;
    IoResult Read(ViByte* buffer, size_t count, const IoSettings& settings,
                  const Deadline& deadline) override;
    ViStatus Clear(const IoSettings& settings, const Deadline& deadline) override;
    void DiscardInput() override;
    void AbandonReply() override;
    void Abort() override { connection_.Abort(); }
    void Close() override;
    std::string PeerAddress() const override { return connection_.PeerAddress(); }
    std::string FailureDetail() const override { return detail_; }

  private:
    // Forgets received input and all reply state: for a new connection.
    void ForgetInput();
    // Moves what the socket holds right now into the pending input, without waiting.
    void PullAvailable();
    // Receives once (after a wait said data is there). Data of the current block goes
    // straight to the caller's room, anything after it to the pending input. Returns the
    // bytes that went to the caller's room.
    size_t Receive(ViByte* caller_room, size_t caller_room_size);
    void NotePeerGone(int error);
    // Discards the rest of an abandoned reply. VI_SUCCESS once it is gone, otherwise the
    // status that ends the read.
    ViStatus DiscardAbandonedReply(const IoSettings& settings, const Deadline& deadline);
    // Discards input until the socket has been quiet for a short window, the deadline
    // passes, or a bounded time has gone by.
    void DrainStaleInput(const Deadline& deadline);
    IoResult ConnectionLost(size_t count);
    IoResult TimedOut(size_t count, const char* what);

    std::string host_;
    ViUInt16 port_;
    TcpConnection connection_;
    ReplyFramer framer_;
    InputBuffer pending_;
    bool peer_gone_ = false;  // the peer closed or reset the connection
    int peer_error_ = 0;      // errno of a reset, 0 for an orderly close
    // A read timed out, a query was given up unread, or a write stopped part-way: the next
    // write connects anew first.
    bool clear_before_write_ = false;
    std::string lost_reason_;  // why the connection ended, until viClear connects again
    std::string detail_;
};

}  // namespace tevo::visa

// TCPIP SOCKET sessions: raw SCPI over one TCP connection.
//
// - A write sends the caller's bytes and, while VI_ATTR_SEND_END_EN is on, the termination
//   character, in one system call where the socket allows.
// - A read ends by block length, termination character, count, time-out or a lost
//   connection (ReplyFramer decides where a reply ends); never on a pause in the data.
// - After a read that timed out (or a reply its reader abandoned), input still arriving
//   belongs to that reply: the next write first discards everything received and drains
//   the socket until it has been quiet for a short window.
// - Clear closes the connection and opens a new one to the same address, so that no byte
//   of an earlier reply can be read afterwards, however late the device sends it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

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
    void AbandonReply() override { stale_input_ = true; }
    void Abort() override { connection_.Abort(); }
    void Close() override;
    std::string PeerAddress() const override { return connection_.PeerAddress(); }
    std::string FailureDetail() const override { return detail_; }

  private:
    const ViByte* PendingData() const { return pending_.data() + pending_head_; }
    size_t PendingSize() const { return pending_.size() - pending_head_; }
    void DropPending(size_t count);
    // Forgets received input and any half-read reply.
    void ForgetInput();
    // Moves what the socket holds right now into the pending input, without waiting.
    void PullAvailable();
    // Receives once into the pending input (after a wait said data is there).
    void ReceiveChunk();
    void NotePeerGone(int error);
    // Discards input until the socket has been quiet for a short window or the deadline.
    void DrainStaleInput(const Deadline& deadline);
    IoResult ConnectionLost(size_t count);

    std::string host_;
    ViUInt16 port_;
    TcpConnection connection_;
    ReplyFramer framer_;
    std::vector<ViByte> pending_;
    size_t pending_head_ = 0;
    bool peer_gone_ = false;    // the peer closed or reset the connection
    int peer_error_ = 0;        // errno of a reset, 0 for an orderly close
    bool stale_input_ = false;  // a read timed out: a late reply may still arrive
    std::string lost_reason_;   // why the connection ended, until viClear connects again
    std::string detail_;
};

}  // namespace tevo::visa

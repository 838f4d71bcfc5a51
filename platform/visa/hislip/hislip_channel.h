// One of the two TCP connections of a HiSLIP session (synchronous or asynchronous): whole
// messages sent with a single system call each, and received within a deadline.
#pragma once

#include <string>

#include "hislip/hislip_message.h"
#include "tevo/visa.h"
#include "transport/deadline.h"
#include "transport/tcp_connection.h"

namespace tevo::visa::hislip {

class HislipChannel {
  public:
    // Statuses as TcpConnection::Connect.
    ViStatus Connect(const std::string& host, ViUInt16 port, const Deadline& deadline,
                     std::string* detail);
    bool IsOpen() const { return connection_.IsOpen(); }
    void Disconnect();
    void Abort() { connection_.Abort(); }
    bool Aborted() const { return connection_.Aborted(); }
    void ApplyOptions(bool nodelay, bool keepalive) {
        connection_.ApplyOptions(nodelay, keepalive);
    }
    std::string PeerAddress() const { return connection_.PeerAddress(); }
    // Payloads larger than this are refused as a broken stream.
    void SetReceiveLimit(uint64_t max_payload) { reader_.SetMaxPayload(max_payload); }

    // Sends header and payload in one go. *sent (may be null) counts the payload bytes
    // that went out. Statuses: VI_SUCCESS, VI_ERROR_TMO, VI_ERROR_CONN_LOST, VI_ERROR_ABORT.
    // A message cut off part-way closes the connection (the stream cannot be resumed).
    ViStatus Send(MessageType type, uint8_t control, uint32_t parameter, const void* payload,
                  size_t payload_length, const Deadline& deadline, std::string* detail,
                  size_t* sent = nullptr);
    ViStatus Send(MessageType type, uint8_t control, uint32_t parameter, std::string_view payload,
                  const Deadline& deadline, std::string* detail) {
        return Send(type, control, parameter, payload.data(), payload.size(), deadline, detail);
    }
    // The next message. Statuses: VI_SUCCESS, VI_ERROR_TMO, VI_ERROR_ABORT,
    // VI_ERROR_CONN_LOST (closed, reset, or a stream that is not HiSLIP: the connection is
    // then closed).
    ViStatus Receive(const Deadline& deadline, Message* out, std::string* detail);

  private:
    // Moves what the socket holds into the reader without waiting. False when the peer
    // has gone.
    bool Pull(std::string* detail);

    TcpConnection connection_;
    MessageReader reader_;
};

}  // namespace tevo::visa::hislip

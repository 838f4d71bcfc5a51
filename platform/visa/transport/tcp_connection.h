// A TCP connection to an instrument, shared by the TCP transports: name resolution,
// connection set-up bounded by a deadline, TCP_NODELAY and keep-alive, non-blocking sends
// and receives, and waits that end at a deadline or when another thread aborts them.
#pragma once

#include <poll.h>
#include <sys/socket.h>
#include <sys/types.h>

#include <atomic>
#include <cstddef>
#include <string>

#include "tevo/visa.h"
#include "transport/deadline.h"

namespace tevo::visa {

class TcpConnection {
  public:
    TcpConnection();
    ~TcpConnection();
    TcpConnection(const TcpConnection&) = delete;
    TcpConnection& operator=(const TcpConnection&) = delete;

    // Resolves host and connects to the first of its addresses that accepts. Statuses:
    // VI_ERROR_RSRC_NFOUND (does not resolve, refused, unreachable), VI_ERROR_TMO,
    // VI_ERROR_ABORT, VI_ERROR_SYSTEM_ERROR. *detail says what happened.
    ViStatus Connect(const std::string& host, ViUInt16 port, const Deadline& deadline,
                     std::string* detail);
    // Closes the current connection and connects again to the address that worked last.
    ViStatus Reconnect(const Deadline& deadline, std::string* detail);
    bool IsOpen() const { return fd_ >= 0; }
    void Disconnect();

    // Thread-safe: wakes a wait in another thread; every later wait reports Aborted.
    void Abort();
    bool Aborted() const { return aborted_.load(); }

    enum class Wait { Ready, TimedOut, Aborted };
    Wait WaitReadable(const Deadline& deadline) { return WaitFor(POLLIN, deadline); }
    Wait WaitWritable(const Deadline& deadline) { return WaitFor(POLLOUT, deadline); }

    // One non-blocking receive. Returns the byte count (> 0), 0 when nothing is there yet,
    // or -1 when the peer has closed or reset the connection (*error = errno, 0 for an
    // orderly close).
    ssize_t ReceiveSome(ViByte* buffer, size_t length, int* error);

    // Sends head and then tail (tail may be empty) with as few system calls as the socket
    // allows: normally one. *head_sent counts the bytes of head that went out. Statuses:
    // VI_SUCCESS, VI_ERROR_TMO, VI_ERROR_CONN_LOST, VI_ERROR_ABORT.
    ViStatus SendAll(const ViByte* head, size_t head_length, const ViByte* tail, size_t tail_length,
                     const Deadline& deadline, size_t* head_sent, std::string* detail);

    void ApplyOptions(bool nodelay, bool keepalive);
    std::string PeerAddress() const { return peer_address_; }

  private:
    Wait WaitFor(short events, const Deadline& deadline);
    ViStatus ConnectTo(const sockaddr* address, socklen_t length, const Deadline& deadline,
                       int* error);

    int fd_ = -1;
    int wake_read_ = -1;
    int wake_write_ = -1;
    std::atomic<bool> aborted_{false};

    sockaddr_storage address_{};
    socklen_t address_length_ = 0;
    std::string peer_address_;
    std::string endpoint_text_;  // "host port N" for messages

    bool options_applied_ = false;
    bool nodelay_ = true;
    bool keepalive_ = false;
};

}  // namespace tevo::visa

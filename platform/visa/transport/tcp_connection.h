// A TCP connection to an instrument, shared by the TCP transports: name resolution and
// connection set-up bounded by a deadline, TCP_NODELAY and keep-alive, non-blocking sends
// and receives, and waits that end at a deadline or when another thread aborts them.
#pragma once

#include <poll.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <sys/uio.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tevo/visa.h"
#include "transport/deadline.h"
#include "transport/host_resolver.h"

namespace tevo::visa {

class TcpConnection {
  public:
    TcpConnection();
    ~TcpConnection();
    TcpConnection(const TcpConnection&) = delete;
    TcpConnection& operator=(const TcpConnection&) = delete;

    // Resolves host and connects to the first of its addresses that accepts, all within
    // the deadline. The addresses are tried in the resolver's order; when one has not
    // answered after a short delay, the next is tried alongside it, so that a slow or
    // silent address does not stop the search. Statuses: VI_ERROR_RSRC_NFOUND (does not
    // resolve, refused, unreachable), VI_ERROR_TMO, VI_ERROR_ABORT, VI_ERROR_SYSTEM_ERROR.
    // *detail says what happened.
    ViStatus Connect(const std::string& host, ViUInt16 port, const Deadline& deadline,
                     std::string* detail);
    // Makes a new connection to the address that worked last and, once it stands, closes
    // the current one in its favour. When the new connection cannot be made the current
    // one is left as it is. Statuses as for Connect.
    ViStatus ConnectAnew(const Deadline& deadline, std::string* detail);
    bool IsOpen() const { return fd_ >= 0; }
    void Disconnect();

    // Thread-safe: wakes a wait in another thread; every later wait reports Aborted.
    void Abort();
    bool Aborted() const { return aborted_.load(); }
    // Undoes Abort, for a last goodbye message when closing; only once no wait runs any
    // more in another thread.
    void ResumeAfterAbort();

    enum class Wait { Ready, TimedOut, Aborted };
    Wait WaitReadable(const Deadline& deadline) { return WaitFor(fd_, POLLIN, deadline); }
    Wait WaitWritable(const Deadline& deadline) { return WaitFor(fd_, POLLOUT, deadline); }
    // The VISA status of a wait: VI_SUCCESS when ready, VI_ERROR_TMO, VI_ERROR_ABORT.
    static ViStatus WaitStatus(Wait wait) {
        return wait == Wait::Ready ? VI_SUCCESS
                                   : (wait == Wait::TimedOut ? VI_ERROR_TMO : VI_ERROR_ABORT);
    }

    // One non-blocking receive into the parts in order. Returns the byte count (> 0), 0
    // when nothing is there yet, or -1 when the peer has closed or reset the connection
    // (*error = errno, 0 for an orderly close).
    ssize_t ReceiveSome(const iovec* parts, size_t part_count, int* error);
    ssize_t ReceiveSome(ViByte* buffer, size_t length, int* error) {
        const iovec part = {buffer, length};
        return ReceiveSome(&part, 1, error);
    }

    // Sends head and then tail (tail may be empty) with as few system calls as the socket
    // allows: normally one. *sent counts the bytes that went out, of head and tail
    // together. Statuses: VI_SUCCESS, VI_ERROR_TMO, VI_ERROR_CONN_LOST, VI_ERROR_ABORT.
    ViStatus SendAll(const ViByte* head, size_t head_length, const ViByte* tail, size_t tail_length,
                     const Deadline& deadline, size_t* sent, std::string* detail);

    // Sets TCP_NODELAY and SO_KEEPALIVE when they differ from what the socket has.
    void ApplyOptions(bool nodelay, bool keepalive);
    std::string PeerAddress() const { return peer_address_; }

    // System calls made on network sockets by every connection of the process so far
    // (socket, connect, poll, send, receive, socket options, close): what an exchange
    // costs, for tests and measurements.
    static uint64_t SystemCallCount();

  private:
    Wait WaitFor(int fd, short events, const Deadline& deadline);
    // Races connection attempts to the endpoints; see Connect. On success *fd is the
    // connected socket and *winner the index of its endpoint.
    ViStatus ConnectFirstAnswering(const std::vector<Endpoint>& endpoints, const Deadline& deadline,
                                   int* fd, size_t* winner, int* last_error);
    void Adopt(int fd, const Endpoint& endpoint);

    int fd_ = -1;
    int wake_read_ = -1;
    int wake_write_ = -1;
    std::atomic<bool> aborted_{false};

    Endpoint endpoint_;  // the address that worked last (length 0: none yet)
    std::string peer_address_;
    std::string endpoint_text_;  // "host port N" for messages

    bool options_applied_ = false;
    bool nodelay_ = true;
    bool keepalive_ = false;
};

}  // namespace tevo::visa

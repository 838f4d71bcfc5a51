// The POSIX socket work of the server: listening sockets, accepting clients with
// TCP_NODELAY, reads and writes that never block, and a pipe that wakes the server thread
// from poll().
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tevo::emulator {

struct Listeners {
    std::vector<int> fds;
    uint16_t port = 0;
};

// Listens on address:port (port 0: an ephemeral port). On the IPv4 loopback address the
// IPv6 loopback address is added with the same port when possible. Throws
// std::system_error.
Listeners OpenListeners(const std::string& address, uint16_t port);
void CloseListeners(Listeners& listeners);

inline constexpr int kReceiveBufferBytes = 256 * 1024;

// Accepts a client: close-on-exec, TCP_NODELAY, a receive buffer of kReceiveBufferBytes.
// -1 when accept fails.
int AcceptClient(int listen_fd, std::string& peer);

// What a read or write that must not block achieved.
enum class Transfer {
    kMoved,   // at least one byte was moved
    kNone,    // nothing could be moved now (the socket would block)
    kClosed,  // the peer closed the connection (reads only)
    kFailed,  // the connection failed
};

// Receives what has arrived into buffer (at most size bytes), without blocking; received
// is the number of bytes stored.
Transfer ReceiveSome(int fd, char* buffer, size_t size, size_t& received);

// The bytes still to be written to a socket, written as far as the socket takes them
// without blocking (never raising SIGPIPE). The owner decides when to add more, which
// bounds what a client that does not read can make the server hold.
class OutputQueue {
  public:
    void Append(std::string_view bytes) { pending_.append(bytes); }
    bool empty() const { return sent_ == pending_.size(); }
    size_t size() const { return pending_.size() - sent_; }
    // Writes as much as the socket takes now.
    Transfer Flush(int fd);

  private:
    std::string pending_;
    size_t sent_ = 0;  // bytes of pending_ already written
};

class WakePipe {
  public:
    WakePipe();  // throws std::system_error
    ~WakePipe();
    WakePipe(const WakePipe&) = delete;
    WakePipe& operator=(const WakePipe&) = delete;

    int read_fd() const { return fds_[0]; }
    void Wake();
    void Drain();

  private:
    int fds_[2] = {-1, -1};
};

}  // namespace tevo::emulator

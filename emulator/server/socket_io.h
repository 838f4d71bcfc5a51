// The POSIX socket work of the server: listening sockets, accepting clients with
// TCP_NODELAY, whole writes, and a pipe that wakes the server thread from poll().
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

// Writes all bytes (retrying short writes, never raising SIGPIPE). False when the
// connection failed.
bool SendAll(int fd, std::string_view bytes);

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

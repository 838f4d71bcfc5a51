// A scripted TCP peer for the VISA library's tests: listens on a loopback address with an
// ephemeral port and runs a test-supplied script for each accepted connection, each in a
// thread of its own. A script can reply, reply late (after a Signal), never reply, close,
// send a reply in two pieces with the split made visible to the client, or dribble bytes.
//
// Every wait here has a deadline, so a failing test ends instead of hanging; the peer's
// destructor wakes its scripts and joins them.
#pragma once

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace tevo::visa::testing {

using namespace std::chrono_literals;

// How long any helper waits before it gives up: far beyond what a passing test needs.
inline constexpr std::chrono::seconds kSafetyLimit(10);

// A one-shot event between threads.
class Signal {
  public:
    void Set() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            set_ = true;
        }
        changed_.notify_all();
    }
    // True when set before the limit.
    bool Wait(std::chrono::milliseconds limit = kSafetyLimit) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, limit, [this] { return set_; });
    }
    bool IsSet() {
        std::lock_guard<std::mutex> lock(mutex_);
        return set_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool set_ = false;
};

// A count that one thread raises and another waits for.
class Counter {
  public:
    void Add() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++value_;
        }
        changed_.notify_all();
    }
    // True when the count reaches at least n before the limit.
    bool WaitFor(int n, std::chrono::milliseconds limit = kSafetyLimit) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, limit, [&] { return value_ >= n; });
    }
    int Value() {
        std::lock_guard<std::mutex> lock(mutex_);
        return value_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int value_ = 0;
};

// The peer's end of one accepted connection.
class PeerConnection {
  public:
    PeerConnection(int fd, int stop_fd) : fd_(fd), stop_fd_(stop_fd) {}
    ~PeerConnection() { Close(); }
    PeerConnection(const PeerConnection&) = delete;
    PeerConnection& operator=(const PeerConnection&) = delete;

    // The next message up to its line feed, without it; nullopt when the client closed, the
    // peer is stopping, or nothing came within the safety limit.
    std::optional<std::string> ReadLine() {
        while (true) {
            const size_t end = input_.find('\n');
            if (end != std::string::npos) {
                std::string line = input_.substr(0, end);
                input_.erase(0, end + 1);
                return line;
            }
            if (!ReceiveMore()) {
                return std::nullopt;
            }
        }
    }

    // Exactly n bytes; nullopt when they do not come.
    std::optional<std::string> ReadBytes(size_t n) {
        while (input_.size() < n) {
            if (!ReceiveMore()) {
                return std::nullopt;
            }
        }
        std::string bytes = input_.substr(0, n);
        input_.erase(0, n);
        return bytes;
    }

    // True when the client closes its end (or already has) before the safety limit.
    bool WaitForClientClose() {
        while (ReceiveMore()) {
        }
        return client_closed_;
    }

    void Send(std::string_view bytes) {
        size_t done = 0;
        while (done < bytes.size() && fd_ >= 0) {
            const ssize_t sent = send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (sent <= 0) {
                return;  // the client is gone; the test's own checks tell what that means
            }
            done += static_cast<size_t>(sent);
        }
    }

    // Sends bytes[0, split), waits until the client has taken them off its socket, then
    // sends the rest: the client's read sees the reply in exactly two pieces.
    bool SendSplit(std::string_view bytes, size_t split) {
        Send(bytes.substr(0, split));
        const bool drained = WaitClientTookEverything();
        Send(bytes.substr(split));
        return drained;
    }

    // One byte per send; with wait_each, each byte is taken by the client before the next.
    void SendDribble(std::string_view bytes, bool wait_each) {
        for (char c : bytes) {
            Send(std::string_view(&c, 1));
            if (wait_each) {
                WaitClientTookEverything();
            }
        }
    }

    // Waits (polling, with the safety limit) until every byte sent has been acknowledged by
    // the client's kernel and read by the client from its socket.
    bool WaitClientTookEverything() {
        const int client = ClientSocket();
        if (client < 0) {
            return false;
        }
        const auto limit = std::chrono::steady_clock::now() + kSafetyLimit;
        while (std::chrono::steady_clock::now() < limit) {
            int unacknowledged = 0;
            int unread = 0;
            if (ioctl(fd_, SIOCOUTQ, &unacknowledged) != 0 ||
                ioctl(client, FIONREAD, &unread) != 0) {
                return false;
            }
            if (unacknowledged == 0 && unread == 0) {
                return true;
            }
            std::this_thread::sleep_for(100us);
        }
        return false;
    }

    // Waits (polling, with the safety limit) until the client's kernel has acknowledged every
    // byte sent: they are then waiting in the client's socket.
    bool WaitAcknowledged() {
        const auto limit = std::chrono::steady_clock::now() + kSafetyLimit;
        while (std::chrono::steady_clock::now() < limit) {
            int unacknowledged = 0;
            if (ioctl(fd_, SIOCOUTQ, &unacknowledged) != 0) {
                return false;
            }
            if (unacknowledged == 0) {
                return true;
            }
            std::this_thread::sleep_for(100us);
        }
        return false;
    }

    void Close() {
        if (fd_ >= 0) {
            close(fd_);
            fd_ = -1;
        }
    }

    // Bytes received but not yet returned by ReadLine/ReadBytes.
    const std::string& Unread() const { return input_; }

    // The client's socket of this connection, found among the process's own descriptors:
    // the one whose local and remote addresses are this connection's remote and local ones.
    // -1 when not found.
    int ClientSocket() {
        if (client_fd_ < 0) {
            client_fd_ = FindClientSocket();
        }
        return client_fd_;
    }

  private:
    bool ReceiveMore() {
        if (fd_ < 0 || client_closed_) {
            return false;
        }
        pollfd fds[2] = {{fd_, POLLIN, 0}, {stop_fd_, POLLIN, 0}};
        const int ready =
            poll(fds, 2, static_cast<int>(std::chrono::milliseconds(kSafetyLimit).count()));
        if (ready <= 0 || fds[1].revents != 0) {
            return false;
        }
        char buffer[65536];
        const ssize_t received = recv(fd_, buffer, sizeof buffer, 0);
        if (received <= 0) {
            client_closed_ = true;
            return false;
        }
        input_.append(buffer, static_cast<size_t>(received));
        return true;
    }

    int FindClientSocket() const {
        sockaddr_storage our_local{};
        sockaddr_storage our_remote{};
        socklen_t length = sizeof our_local;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&our_local), &length);
        length = sizeof our_remote;
        getpeername(fd_, reinterpret_cast<sockaddr*>(&our_remote), &length);
        DIR* folder = opendir("/proc/self/fd");
        if (folder == nullptr) {
            return -1;
        }
        int found = -1;
        while (dirent* entry = readdir(folder)) {
            char* end = nullptr;
            const long number = std::strtol(entry->d_name, &end, 10);
            const int candidate = static_cast<int>(number);
            if (end == entry->d_name || *end != '\0' || candidate <= 2 || candidate == fd_) {
                continue;
            }
            sockaddr_storage local{};
            sockaddr_storage remote{};
            socklen_t local_length = sizeof local;
            socklen_t remote_length = sizeof remote;
            if (getsockname(candidate, reinterpret_cast<sockaddr*>(&local), &local_length) != 0 ||
                getpeername(candidate, reinterpret_cast<sockaddr*>(&remote), &remote_length) != 0) {
                continue;
            }
            if (SameEndpoint(local, our_remote) && SameEndpoint(remote, our_local)) {
                found = candidate;
                break;
            }
        }
        closedir(folder);
        return found;
    }

    static bool SameEndpoint(const sockaddr_storage& a, const sockaddr_storage& b) {
        if (a.ss_family != b.ss_family) {
            return false;
        }
        if (a.ss_family == AF_INET) {
            const auto& x = reinterpret_cast<const sockaddr_in&>(a);
            const auto& y = reinterpret_cast<const sockaddr_in&>(b);
            return x.sin_port == y.sin_port && x.sin_addr.s_addr == y.sin_addr.s_addr;
        }
        if (a.ss_family == AF_INET6) {
            const auto& x = reinterpret_cast<const sockaddr_in6&>(a);
            const auto& y = reinterpret_cast<const sockaddr_in6&>(b);
            return x.sin6_port == y.sin6_port &&
                   std::memcmp(&x.sin6_addr, &y.sin6_addr, sizeof x.sin6_addr) == 0;
        }
        return false;
    }

    int fd_;
    int stop_fd_;
    int client_fd_ = -1;
    bool client_closed_ = false;
    std::string input_;
};

// The listening peer. The script runs once per accepted connection with the connection's
// index (0 for the first).
class ScriptedPeer {
  public:
    using Script = std::function<void(PeerConnection&, int index)>;
    enum class Family { Ipv4, Ipv6 };

    explicit ScriptedPeer(Script script, Family family = Family::Ipv4)
        : script_(std::move(script)), family_(family) {
        int stop_pipe[2];
        if (pipe2(stop_pipe, O_CLOEXEC) != 0) {
            throw std::runtime_error("no pipe");
        }
        stop_read_ = stop_pipe[0];
        stop_write_ = stop_pipe[1];
        listener_ =
            socket(family == Family::Ipv4 ? AF_INET : AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (listener_ < 0) {
            throw std::runtime_error("no socket");
        }
        sockaddr_storage address{};
        socklen_t length = 0;
        if (family == Family::Ipv4) {
            auto& v4 = reinterpret_cast<sockaddr_in&>(address);
            v4.sin_family = AF_INET;
            v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            length = sizeof v4;
        } else {
            auto& v6 = reinterpret_cast<sockaddr_in6&>(address);
            v6.sin6_family = AF_INET6;
            v6.sin6_addr = in6addr_loopback;
            length = sizeof v6;
        }
        if (bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            listen(listener_, 16) != 0 ||
            getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            close(listener_);
            throw std::runtime_error("cannot listen on the loopback address");
        }
        port_ = ntohs(family == Family::Ipv4 ? reinterpret_cast<sockaddr_in&>(address).sin_port
                                             : reinterpret_cast<sockaddr_in6&>(address).sin6_port);
        acceptor_ = std::thread([this] { AcceptLoop(); });
    }

    ~ScriptedPeer() {
        const char byte = 1;
        [[maybe_unused]] ssize_t written = write(stop_write_, &byte, 1);
        acceptor_.join();
        for (std::thread& thread : scripts_) {
            thread.join();
        }
        close(listener_);
        close(stop_read_);
        close(stop_write_);
    }

    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    unsigned short port() const { return port_; }
    int accepted() const { return accepted_.load(); }

    // From now on connections to the port are refused (the port stays bound to the peer,
    // so nothing else takes it); connections already accepted go on.
    void StopListening() {
        listening_ = false;
        shutdown(listener_, SHUT_RDWR);
    }

    // "TCPIP0::127.0.0.1::<port>::SOCKET" (or the bracketed IPv6 loopback).
    std::string Resource() const {
        const char* host = family_ == Family::Ipv4 ? "127.0.0.1" : "[::1]";
        return "TCPIP0::" + std::string(host) + "::" + std::to_string(port_) + "::SOCKET";
    }

  private:
    void AcceptLoop() {
        while (true) {
            pollfd fds[2] = {{listener_, POLLIN, 0}, {stop_read_, POLLIN, 0}};
            if (poll(fds, 2, -1) < 0 || fds[1].revents != 0) {
                return;
            }
            const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) {
                if (!listening_) {
                    return;
                }
                continue;
            }
            const int index = accepted_.fetch_add(1);
            scripts_.emplace_back([this, fd, index] {
                PeerConnection connection(fd, stop_read_);
                script_(connection, index);
            });
        }
    }

    Script script_;
    Family family_;
    int listener_ = -1;
    int stop_read_ = -1;
    int stop_write_ = -1;
    unsigned short port_ = 0;
    std::atomic<int> accepted_{0};
    std::atomic<bool> listening_{true};
    std::thread acceptor_;
    std::vector<std::thread> scripts_;  // touched by the acceptor thread only until joined
};

// A loopback listener whose accept queue is full and that never accepts: a connection to
// it stays unanswered, as to a host that is slow or gone. saturated() is false when this
// network stack answers connections beyond a full queue anyway.
class UnansweringListener {
  public:
    UnansweringListener() {
        listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (listener_ < 0) {
            throw std::runtime_error("no socket");
        }
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            listen(listener_, 0) != 0 ||
            getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            close(listener_);
            throw std::runtime_error("cannot listen on the loopback address");
        }
        port_ = ntohs(address.sin_port);
        for (int i = 0; i < 8 && !saturated_; ++i) {
            const int filler = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            fillers_.push_back(filler);
            // Non-blocking: the connection completes, or stays pending once the queue is
            // full.
            (void)connect(filler, reinterpret_cast<sockaddr*>(&address), length);
            pollfd wait = {filler, POLLOUT, 0};
            saturated_ = poll(&wait, 1, 200) == 0;
        }
    }
    ~UnansweringListener() {
        for (int filler : fillers_) {
            close(filler);
        }
        close(listener_);
    }
    UnansweringListener(const UnansweringListener&) = delete;
    UnansweringListener& operator=(const UnansweringListener&) = delete;

    unsigned short port() const { return port_; }
    bool saturated() const { return saturated_; }

  private:
    int listener_ = -1;
    unsigned short port_ = 0;
    bool saturated_ = false;
    std::vector<int> fillers_;
};

// A script that answers every line with reply(line), or sends nothing when reply gives
// nullopt.
inline ScriptedPeer::Script Answering(
    std::function<std::optional<std::string>(const std::string&)> reply) {
    return [reply = std::move(reply)](PeerConnection& connection, int) {
        while (std::optional<std::string> line = connection.ReadLine()) {
            if (std::optional<std::string> answer = reply(*line)) {
                connection.Send(*answer);
            }
        }
    };
}

}  // namespace tevo::visa::testing

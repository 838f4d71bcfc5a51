#include "splitting_relay.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <string_view>
#include <thread>

#include "receive_progress.h"

namespace tevo::visa::emulator_tests {
namespace {

// The length of the complete reply at the head of `bytes`, or 0 while it is incomplete.
size_t CompleteReplyLength(std::string_view bytes) {
    if (bytes.size() >= 2 && bytes[0] == '#' && bytes[1] >= '1' && bytes[1] <= '9') {
        const size_t digits = static_cast<size_t>(bytes[1] - '0');
        if (bytes.size() < 2 + digits) {
            return 0;
        }
        const size_t data =
            std::strtoull(std::string(bytes.substr(2, digits)).c_str(), nullptr, 10);
        const size_t total = 2 + digits + data + 1;  // and the line feed after the block
        return bytes.size() >= total ? total : 0;
    }
    if (bytes.size() == 1 && bytes[0] == '#') {
        return 0;  // a block header may follow
    }
    const size_t end = bytes.find('\n');
    return end == std::string_view::npos ? 0 : end + 1;
}

sockaddr_in Loopback(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

void TurnNagleOff(int fd) {
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

int ConnectToLoopback(uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    const sockaddr_in address = Loopback(port);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    TurnNagleOff(fd);
    return fd;
}

bool SendAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t sent = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(sent));
    }
    return true;
}

// Waits until the client's socket has received `total` bytes on this connection and, with
// read_all, the client has read every one of them. False when that does not happen within
// the safety limit.
bool WaitClientProgress(testing::PeerConnection& client, uint64_t total, bool read_all) {
    const int fd = client.ClientSocket();
    const auto limit = std::chrono::steady_clock::now() + testing::kSafetyLimit;
    while (fd >= 0 && std::chrono::steady_clock::now() < limit) {
        const std::optional<ReceiveProgress> progress = ReceiveProgressOf(fd);
        if (!progress) {
            return false;
        }
        if (progress->received >= total && (!read_all || progress->unread == 0)) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    return false;
}

}  // namespace

std::optional<std::string> ReadReply(int fd, std::string& pending, int stop_fd) {
    const auto limit = std::chrono::steady_clock::now() + testing::kSafetyLimit;
    while (true) {
        if (const size_t length = CompleteReplyLength(pending); length > 0) {
            std::string reply = pending.substr(0, length);
            pending.erase(0, length);
            return reply;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            limit - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return std::nullopt;
        }
        pollfd fds[2] = {{fd, POLLIN, 0}, {stop_fd, POLLIN, 0}};
        if (poll(fds, stop_fd >= 0 ? 2 : 1, static_cast<int>(left.count())) <= 0 ||
            (stop_fd >= 0 && fds[1].revents != 0)) {
            return std::nullopt;
        }
        char buffer[65536];
        const ssize_t received = recv(fd, buffer, sizeof buffer, 0);
        if (received <= 0) {
            return std::nullopt;
        }
        pending.append(buffer, static_cast<size_t>(received));
    }
}

SplittingRelay::SplittingRelay(uint16_t emulator_port) : emulator_port_(emulator_port) {
    int stop_pipe[2];
    if (pipe2(stop_pipe, O_CLOEXEC) != 0) {
        throw std::runtime_error("no pipe for the relay");
    }
    stop_read_ = stop_pipe[0];
    stop_write_ = stop_pipe[1];
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(listener_, 16) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (listener_ >= 0) {
            close(listener_);
        }
        close(stop_read_);
        close(stop_write_);
        throw std::runtime_error("the relay cannot listen on the loopback address");
    }
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { AcceptLoop(); });
}

SplittingRelay::~SplittingRelay() {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(stop_write_, &byte, 1);
    acceptor_.join();
    for (std::thread& connection : connections_) {
        connection.join();
    }
    close(listener_);
    close(stop_read_);
    close(stop_write_);
}

std::string SplittingRelay::Resource() const {
    return "TCPIP0::127.0.0.1::" + std::to_string(port_) + "::SOCKET";
}

void SplittingRelay::AcceptLoop() {
    while (true) {
        pollfd fds[2] = {{listener_, POLLIN, 0}, {stop_read_, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 || fds[1].revents != 0) {
            return;
        }
        const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        TurnNagleOff(fd);
        connections_.emplace_back([this, fd] {
            testing::PeerConnection client(fd, stop_read_);
            Relay(client);
        });
    }
}

void SplittingRelay::Relay(testing::PeerConnection& client) {
    const int upstream = ConnectToLoopback(emulator_port_);
    if (upstream < 0) {
        return;  // the client sees its connection closed
    }
    std::string pending;
    uint64_t sent = 0;  // to the client on this connection
    while (std::optional<std::string> line = client.ReadLine()) {
        if (!SendAll(upstream, *line + "\n")) {
            break;
        }
        if (line->find('?') == std::string::npos) {
            continue;  // a command: no reply comes
        }
        std::optional<std::string> reply = ReadReply(upstream, pending, stop_read_);
        if (!reply) {
            ++failures_;
            break;
        }
        size_t split = split_at_.load();
        if (split > 0 && split < reply->size()) {
            // The client reads the first piece before the second one is sent.
            client.Send(std::string_view(*reply).substr(0, split));
            if (!WaitClientProgress(client, sent + split, true)) {
                ++splits_not_seen_;
            }
        } else {
            split = 0;
        }
        client.Send(std::string_view(*reply).substr(split));
        sent += reply->size();
        if (!WaitClientProgress(client, sent, false)) {
            ++failures_;
        }
        delivered_.Add();
    }
    close(upstream);
}

}  // namespace tevo::visa::emulator_tests

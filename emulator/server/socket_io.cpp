#include "server/socket_io.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace tevo::emulator {
namespace {

[[noreturn]] void ThrowErrno(const std::string& what) {
    throw std::system_error(errno, std::generic_category(), what);
}

// A listening socket on one address; -1 with errno set when it cannot be opened.
int ListenOn(const sockaddr* address, socklen_t length, int family) {
    const int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    if (family == AF_INET6)
        ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof(on));
    if (::bind(fd, address, length) != 0 || ::listen(fd, 16) != 0) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
        return -1;
    }
    return fd;
}

uint16_t BoundPort(int fd) {
    sockaddr_storage bound{};
    socklen_t length = sizeof(bound);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length);
    if (bound.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port);
    return ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
}

}  // namespace

Listeners OpenListeners(const std::string& address, uint16_t port) {
    Listeners listeners;
    sockaddr_in v4{};
    sockaddr_in6 v6{};
    int fd = -1;
    if (::inet_pton(AF_INET, address.c_str(), &v4.sin_addr) == 1) {
        v4.sin_family = AF_INET;
        v4.sin_port = htons(port);
        fd = ListenOn(reinterpret_cast<sockaddr*>(&v4), sizeof(v4), AF_INET);
    } else if (::inet_pton(AF_INET6, address.c_str(), &v6.sin6_addr) == 1) {
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(port);
        fd = ListenOn(reinterpret_cast<sockaddr*>(&v6), sizeof(v6), AF_INET6);
    } else {
        throw std::system_error(EINVAL, std::generic_category(), "not an IP address: " + address);
    }
    if (fd < 0)
        ThrowErrno("cannot listen on " + address + " port " + std::to_string(port));
    listeners.fds.push_back(fd);
    listeners.port = BoundPort(fd);
    if (address == "127.0.0.1") {
        // Clients that resolve "localhost" to ::1 reach the emulator too.
        sockaddr_in6 loopback{};
        loopback.sin6_family = AF_INET6;
        loopback.sin6_addr = in6addr_loopback;
        loopback.sin6_port = htons(listeners.port);
        const int extra =
            ListenOn(reinterpret_cast<sockaddr*>(&loopback), sizeof(loopback), AF_INET6);
        if (extra >= 0)
            listeners.fds.push_back(extra);
    }
    return listeners;
}

void CloseListeners(Listeners& listeners) {
    for (const int fd : listeners.fds)
        ::close(fd);
    listeners.fds.clear();
}

int AcceptClient(int listen_fd, std::string& peer) {
    sockaddr_storage address{};
    socklen_t length = sizeof(address);
    int fd = -1;
    do {
        fd = ::accept4(listen_fd, reinterpret_cast<sockaddr*>(&address), &length, SOCK_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return -1;
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
    // Commands are small: a fixed receive buffer bounds what a client can queue in the
    // kernel while the analyzer is busy, as an instrument's input buffer does.
    const int receive_buffer = kReceiveBufferBytes;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof(receive_buffer));
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET6) {
        const auto* a6 = reinterpret_cast<const sockaddr_in6*>(&address);
        ::inet_ntop(AF_INET6, &a6->sin6_addr, text, sizeof(text));
        peer = "[" + std::string(text) + "]:" + std::to_string(ntohs(a6->sin6_port));
    } else {
        const auto* a4 = reinterpret_cast<const sockaddr_in*>(&address);
        ::inet_ntop(AF_INET, &a4->sin_addr, text, sizeof(text));
        peer = std::string(text) + ":" + std::to_string(ntohs(a4->sin_port));
    }
    return fd;
}

Transfer ReceiveSome(int fd, char* buffer, size_t size, size_t& received) {
    ssize_t got = -1;
    do {
        got = ::recv(fd, buffer, size, MSG_DONTWAIT);
    } while (got < 0 && errno == EINTR);
    received = got > 0 ? static_cast<size_t>(got) : 0;
    if (got > 0)
        return Transfer::kMoved;
    if (got == 0)
        return Transfer::kClosed;
    return (errno == EAGAIN || errno == EWOULDBLOCK) ? Transfer::kNone : Transfer::kFailed;
}

Transfer OutputQueue::Flush(int fd) {
    Transfer result = Transfer::kNone;
    while (!empty()) {
        const ssize_t sent =
            ::send(fd, pending_.data() + sent_, size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                break;
            return Transfer::kFailed;
        }
        sent_ += static_cast<size_t>(sent);
        result = Transfer::kMoved;
    }
    if (empty()) {
        pending_.clear();
        sent_ = 0;
    }
    return result;
}

WakePipe::WakePipe() {
    if (::pipe2(fds_, O_CLOEXEC | O_NONBLOCK) != 0)
        ThrowErrno("cannot create a pipe");
}

WakePipe::~WakePipe() {
    ::close(fds_[0]);
    ::close(fds_[1]);
}

void WakePipe::Wake() {
    const char byte = 1;
    // A full pipe already wakes the reader; nothing else can go wrong worth reporting.
    [[maybe_unused]] const ssize_t written = ::write(fds_[1], &byte, 1);
}

void WakePipe::Drain() {
    char buffer[64];
    while (::read(fds_[0], buffer, sizeof(buffer)) > 0) {
    }
}

}  // namespace tevo::emulator

#include "client/scpi_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <system_error>

namespace tevo::emulator {
namespace {

using SteadyClock = std::chrono::steady_clock;

int MillisecondsLeft(SteadyClock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
    return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

}  // namespace

ScpiClient::ScpiClient(uint16_t port, const std::string& host) {
    sockaddr_storage address{};
    socklen_t length = 0;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
    if (::inet_pton(AF_INET, host.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        length = sizeof(sockaddr_in);
    } else if (::inet_pton(AF_INET6, host.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(port);
        length = sizeof(sockaddr_in6);
    } else {
        throw std::system_error(EINVAL, std::generic_category(), "not an IP address: " + host);
    }
    fd_ = ::socket(address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0)
        throw std::system_error(errno, std::generic_category(), "socket");
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0) {
        const int saved = errno;
        ::close(fd_);
        fd_ = -1;
        throw std::system_error(saved, std::generic_category(),
                                "connect to port " + std::to_string(port));
    }
    const int on = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
}

ScpiClient::~ScpiClient() {
    Close();
}

void ScpiClient::SetSendBufferSize(int bytes) {
    if (fd_ >= 0)
        ::setsockopt(fd_, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof(bytes));
}

void ScpiClient::Close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

bool ScpiClient::SendRaw(std::string_view bytes) {
    if (fd_ < 0)
        return false;
    while (!bytes.empty()) {
        const ssize_t sent = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(sent));
    }
    return true;
}

bool ScpiClient::Send(std::string_view message) {
    std::string bytes(message);
    bytes.push_back('\n');
    return SendRaw(bytes);
}

bool ScpiClient::Fill(SteadyClock::time_point deadline) {
    if (fd_ < 0 || closed_)
        return false;
    while (true) {
        pollfd fds{fd_, POLLIN, 0};
        const int ready = ::poll(&fds, 1, MillisecondsLeft(deadline));
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (ready == 0)
            return false;
        char chunk[65536];
        const ssize_t got = ::recv(fd_, chunk, sizeof(chunk), 0);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            closed_ = true;
            return false;
        }
        if (got == 0) {
            closed_ = true;
            return false;
        }
        buffer_.append(chunk, static_cast<size_t>(got));
        return true;
    }
}

std::optional<std::string> ScpiClient::ReadLine(Milliseconds timeout) {
    const auto deadline = SteadyClock::now() + timeout;
    while (true) {
        const size_t lf = buffer_.find('\n');
        if (lf != std::string::npos) {
            std::string line = buffer_.substr(0, lf);
            buffer_.erase(0, lf + 1);
            return line;
        }
        if (!Fill(deadline))
            return std::nullopt;
    }
}

std::optional<std::string> ScpiClient::ReadBytes(size_t count, Milliseconds timeout) {
    const auto deadline = SteadyClock::now() + timeout;
    while (buffer_.size() < count) {
        if (!Fill(deadline))
            return std::nullopt;
    }
    std::string bytes = buffer_.substr(0, count);
    buffer_.erase(0, count);
    return bytes;
}

std::optional<std::string> ScpiClient::ReadBlock(Milliseconds timeout) {
    const auto deadline = SteadyClock::now() + timeout;
    while (buffer_.size() < 2) {
        if (!Fill(deadline))
            return std::nullopt;
    }
    if (buffer_[0] != '#' || buffer_[1] < '1' || buffer_[1] > '9')
        return std::nullopt;
    const size_t digits = static_cast<size_t>(buffer_[1] - '0');
    while (buffer_.size() < 2 + digits) {
        if (!Fill(deadline))
            return std::nullopt;
    }
    size_t length = 0;
    for (size_t i = 0; i < digits; ++i) {
        const char d = buffer_[2 + i];
        if (d < '0' || d > '9')
            return std::nullopt;
        length = length * 10 + static_cast<size_t>(d - '0');
    }
    const size_t header = 2 + digits;
    while (buffer_.size() < header + length) {
        if (!Fill(deadline))
            return std::nullopt;
    }
    std::string data = buffer_.substr(header, length);
    buffer_.erase(0, header + length);
    // The line feed after the block, when it comes before the deadline.
    if (buffer_.empty())
        Fill(deadline);
    if (!buffer_.empty() && buffer_[0] == '\n')
        buffer_.erase(0, 1);
    return data;
}

std::string ScpiClient::Query(std::string_view message, Milliseconds timeout) {
    if (!Send(message))
        throw std::runtime_error("cannot send \"" + std::string(message) + "\"");
    std::optional<std::string> line = ReadLine(timeout);
    if (!line)
        throw std::runtime_error("no reply to \"" + std::string(message) + "\"");
    return *line;
}

bool ScpiClient::Quiet(Milliseconds time) {
    if (!buffer_.empty())
        return false;
    return !Fill(SteadyClock::now() + time) && buffer_.empty() && !closed_;
}

bool ScpiClient::WaitForClose(Milliseconds timeout) {
    const auto deadline = SteadyClock::now() + timeout;
    while (!closed_) {
        if (!Fill(deadline) && !closed_)
            return false;
        buffer_.clear();
    }
    return true;
}

}  // namespace tevo::emulator

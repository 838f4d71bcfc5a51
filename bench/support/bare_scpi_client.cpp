#include "support/bare_scpi_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <system_error>

namespace tevo::bench {

namespace {

// Every receive waits at most this long, so a benchmark against a silent emulator fails
// instead of hanging.
constexpr int kReceiveTimeoutSeconds = 10;
constexpr size_t kInitialBuffer = 64 * 1024;

[[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error("bare client: " + what);
}

}  // namespace

BareScpiClient::BareScpiClient(uint16_t port) : buffer_(kInitialBuffer) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) {
        throw std::system_error(errno, std::generic_category(), "socket");
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int saved = errno;
        ::close(fd_);
        throw std::system_error(saved, std::generic_category(), "connect");
    }
    const int on = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    const timeval limit{kReceiveTimeoutSeconds, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
}

BareScpiClient::~BareScpiClient() {
    ::close(fd_);
}

void BareScpiClient::Send(std::string_view message) {
    outgoing_.assign(message);
    outgoing_.push_back('\n');
    std::string_view rest = outgoing_;
    while (!rest.empty()) {
        const ssize_t sent = ::send(fd_, rest.data(), rest.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent <= 0) {
            Fail(std::string("send: ") + std::strerror(errno));
        }
        rest.remove_prefix(static_cast<size_t>(sent));
    }
}

void BareScpiClient::Fill(size_t count) {
    if (end_ - begin_ >= count) {
        return;
    }
    if (begin_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    if (buffer_.size() < count) {
        buffer_.resize(count);
    }
    while (end_ < count) {
        const ssize_t got = ::recv(fd_, buffer_.data() + end_, buffer_.size() - end_, 0);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got == 0) {
            Fail("the emulator closed the connection");
        }
        if (got < 0) {
            Fail(std::string("recv: ") + std::strerror(errno));
        }
        end_ += static_cast<size_t>(got);
    }
}

std::string_view BareScpiClient::ReadReply() {
    Fill(1);
    if (buffer_[begin_] == '#') {
        Fill(2);
        const char digits = buffer_[begin_ + 1];
        if (digits < '1' || digits > '9') {
            Fail("not a definite-length block");
        }
        const size_t header = 2 + static_cast<size_t>(digits - '0');
        Fill(header);
        size_t length = 0;
        for (size_t i = begin_ + 2; i < begin_ + header; ++i) {
            length = length * 10 + static_cast<size_t>(buffer_[i] - '0');
        }
        // The block, then its line feed.
        Fill(header + length + 1);
        const std::string_view reply(buffer_.data() + begin_ + header, length);
        begin_ += header + length + 1;
        return reply;
    }
    size_t scanned = 0;
    for (;;) {
        const char* start = buffer_.data() + begin_;
        const char* line_feed =
            static_cast<const char*>(std::memchr(start + scanned, '\n', end_ - begin_ - scanned));
        if (line_feed != nullptr) {
            const std::string_view reply(start, static_cast<size_t>(line_feed - start));
            begin_ += reply.size() + 1;
            return reply;
        }
        scanned = end_ - begin_;
        Fill(scanned + 1);
    }
}

std::string_view BareScpiClient::Query(std::string_view message) {
    Send(message);
    return ReadReply();
}

bool IsQuery(std::string_view message) {
    while (!message.empty()) {
        const size_t unit_end = std::min(message.find(';'), message.size());
        const std::string_view unit = message.substr(0, unit_end);
        const std::string_view header = unit.substr(0, std::min(unit.find(' '), unit.size()));
        if (header.find('?') != std::string_view::npos) {
            return true;
        }
        message.remove_prefix(std::min(unit_end + 1, message.size()));
    }
    return false;
}

size_t Replay(BareScpiClient& client, const std::vector<std::string>& messages) {
    size_t reply_bytes = 0;
    for (const std::string& message : messages) {
        if (IsQuery(message)) {
            reply_bytes += client.Query(message).size();
        } else {
            client.Send(message);
        }
    }
    return reply_bytes;
}

}  // namespace tevo::bench

#include "gateway/instrument_link.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <system_error>

namespace tevo::emulator {
namespace {

int MillisecondsUntil(InstrumentLink::Clock::time_point deadline) {
    if (deadline == InstrumentLink::Clock::time_point::max())
        return -1;
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
        deadline - InstrumentLink::Clock::now());
    if (left.count() <= 0)
        return 0;
    return static_cast<int>(std::min<int64_t>((left.count() + 999) / 1000, 3600000));
}

}  // namespace

InstrumentLink::InstrumentLink(int fd) : fd_(fd) {
    if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) {
        const int error = errno;
        ::close(fd_);
        throw std::system_error(error, std::generic_category(), "pipe2");
    }
}

InstrumentLink::~InstrumentLink() {
    ::close(fd_);
    ::close(wake_[0]);
    ::close(wake_[1]);
}

std::string InstrumentLink::Frame(std::string_view reply) {
    const auto size = static_cast<uint32_t>(reply.size());
    std::string framed;
    framed.reserve(kHeaderBytes + reply.size());
    for (int shift = 24; shift >= 0; shift -= 8)
        framed.push_back(static_cast<char>((size >> shift) & 0xFF));
    framed.append(reply);
    return framed;
}

void InstrumentLink::Interrupt() {
    const char byte = 1;
    (void)!::write(wake_[1], &byte, 1);
}

void InstrumentLink::Shutdown() {
    ::shutdown(fd_, SHUT_RDWR);
}

bool InstrumentLink::Wait(short events, Clock::time_point deadline) {
    while (true) {
        std::array<pollfd, 2> fds{pollfd{fd_, events, 0}, pollfd{wake_[0], POLLIN, 0}};
        const int ready = ::poll(fds.data(), fds.size(), MillisecondsUntil(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        if (fds[1].revents != 0) {
            std::array<char, 64> drain{};
            while (::read(wake_[0], drain.data(), drain.size()) > 0) {
            }
            return false;
        }
        return true;
    }
}

bool InstrumentLink::Send(std::string_view bytes, Clock::time_point deadline) {
    while (!bytes.empty() && !closed_) {
        const ssize_t sent = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent > 0) {
            bytes.remove_prefix(static_cast<size_t>(sent));
        } else if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!Wait(POLLOUT, deadline))
                return false;
        } else if (sent < 0 && errno == EINTR) {
            continue;
        } else {
            closed_ = true;
        }
    }
    return !closed_;
}

std::optional<std::string> InstrumentLink::TakeReply() {
    if (received_.size() < kHeaderBytes)
        return std::nullopt;
    uint32_t size = 0;
    for (size_t i = 0; i < kHeaderBytes; ++i)
        size = (size << 8) | static_cast<unsigned char>(received_[i]);
    if (size > kMaxReplyBytes) {
        closed_ = true;
        return std::nullopt;
    }
    if (received_.size() < kHeaderBytes + size)
        return std::nullopt;
    std::string reply = received_.substr(kHeaderBytes, size);
    received_.erase(0, kHeaderBytes + size);
    return reply;
}

std::optional<std::string> InstrumentLink::NextReply(Clock::time_point deadline) {
    std::array<char, 65536> buffer{};
    while (true) {
        if (std::optional<std::string> reply = TakeReply())
            return reply;
        if (closed_)
            return std::nullopt;
        const ssize_t got = ::recv(fd_, buffer.data(), buffer.size(), MSG_DONTWAIT);
        if (got > 0) {
            received_.append(buffer.data(), static_cast<size_t>(got));
        } else if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!Wait(POLLIN, deadline))
                return std::nullopt;
        } else if (got < 0 && errno == EINTR) {
            continue;
        } else {
            closed_ = true;
        }
    }
}

}  // namespace tevo::emulator

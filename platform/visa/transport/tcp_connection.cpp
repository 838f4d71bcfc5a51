#include "transport/tcp_connection.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace tevo::visa {
namespace {

// How long a connection attempt has to itself before the next address is tried alongside
// it (the connection attempt delay of RFC 8305).
constexpr std::chrono::milliseconds kAttemptDelay(250);

std::atomic<uint64_t> system_calls{0};

void CountCall() {
    system_calls.fetch_add(1, std::memory_order_relaxed);
}

void CloseSocket(int fd) {
    CountCall();
    close(fd);
}

std::string NumericAddress(const Endpoint& endpoint) {
    char host[NI_MAXHOST] = {};
    if (getnameinfo(reinterpret_cast<const sockaddr*>(&endpoint.address), endpoint.length, host,
                    sizeof host, nullptr, 0, NI_NUMERICHOST) != 0) {
        return {};
    }
    return host;
}

std::string ErrorText(int error) {
    return error == 0 ? "closed by the peer" : strerror(error);
}

enum class Started { Connected, Pending, Failed, NoSocket };

// Opens a non-blocking socket and starts connecting it to the endpoint.
Started StartAttempt(const Endpoint& endpoint, int* fd, int* error) {
    CountCall();
    *fd = socket(endpoint.address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (*fd < 0) {
        *error = errno;
        return errno == EAFNOSUPPORT ? Started::Failed : Started::NoSocket;
    }
    CountCall();
    if (connect(*fd, reinterpret_cast<const sockaddr*>(&endpoint.address), endpoint.length) == 0) {
        return Started::Connected;
    }
    if (errno == EINPROGRESS || errno == EINTR) {
        return Started::Pending;  // also after EINTR the connection goes on by itself
    }
    *error = errno;
    CloseSocket(*fd);
    *fd = -1;
    return Started::Failed;
}

struct Attempt {
    int fd;
    size_t index;
};

void CloseAttempts(std::vector<Attempt>& attempts) {
    for (const Attempt& attempt : attempts) {
        CloseSocket(attempt.fd);
    }
    attempts.clear();
}

}  // namespace

uint64_t TcpConnection::SystemCallCount() {
    return system_calls.load(std::memory_order_relaxed);
}

TcpConnection::TcpConnection() {
    int pipe_fds[2];
    if (pipe2(pipe_fds, O_CLOEXEC | O_NONBLOCK) == 0) {
        wake_read_ = pipe_fds[0];
        wake_write_ = pipe_fds[1];
    }
}

TcpConnection::~TcpConnection() {
    Disconnect();
    if (wake_read_ >= 0) {
        close(wake_read_);
    }
    if (wake_write_ >= 0) {
        close(wake_write_);
    }
}

void TcpConnection::Disconnect() {
    if (fd_ >= 0) {
        CloseSocket(fd_);
        fd_ = -1;
    }
    peer_address_.clear();
}

void TcpConnection::Abort() {
    aborted_.store(true);
    if (wake_write_ >= 0) {
        const char byte = 1;
        // The byte stays in the pipe, so every later wait sees it at once.
        [[maybe_unused]] ssize_t written = write(wake_write_, &byte, 1);
    }
}

void TcpConnection::ResumeAfterAbort() {
    if (wake_read_ >= 0) {
        pollfd pending = {wake_read_, POLLIN, 0};
        char bytes[16];
        while (poll(&pending, 1, 0) > 0 && (pending.revents & POLLIN) != 0 &&
               read(wake_read_, bytes, sizeof bytes) > 0) {
        }
    }
    aborted_.store(false);
}

TcpConnection::Wait TcpConnection::WaitFor(int fd, short events, const Deadline& deadline) {
    pollfd fds[2] = {{fd, events, 0}, {wake_read_, POLLIN, 0}};
    const nfds_t count = wake_read_ >= 0 ? 2 : 1;
    while (true) {
        if (aborted_.load()) {
            return Wait::Aborted;
        }
        CountCall();
        const int ready = poll(fds, count, deadline.PollMilliseconds());
        if (ready < 0 && errno != EINTR) {
            // Let the following send or receive report what is wrong with the socket.
            return Wait::Ready;
        }
        if (aborted_.load()) {
            return Wait::Aborted;
        }
        if (ready > 0 && fds[0].revents != 0) {
            // Errors and hang-ups count as ready: the next send or receive reports them.
            return Wait::Ready;
        }
        if (deadline.HasPassed()) {
            return Wait::TimedOut;
        }
    }
}

ViStatus TcpConnection::ConnectFirstAnswering(const std::vector<Endpoint>& endpoints,
                                              const Deadline& deadline, int* fd, size_t* winner,
                                              int* last_error) {
    using Clock = Deadline::Clock;
    std::vector<Attempt> attempts;  // started and not yet answered
    size_t next = 0;
    Clock::time_point next_start = Clock::now();
    ViStatus failure = VI_ERROR_RSRC_NFOUND;
    std::vector<pollfd> fds;
    while (true) {
        // The next address is tried when nothing is pending any more, or when the last
        // attempt has had its head start.
        while (next < endpoints.size() && (attempts.empty() || Clock::now() >= next_start)) {
            int candidate = -1;
            int error = 0;
            const size_t index = next++;
            switch (StartAttempt(endpoints[index], &candidate, &error)) {
                case Started::Connected:
                    CloseAttempts(attempts);
                    *fd = candidate;
                    *winner = index;
                    return VI_SUCCESS;
                case Started::Pending:
                    attempts.push_back({candidate, index});
                    next_start = Clock::now() + kAttemptDelay;
                    break;
                case Started::Failed:
                    *last_error = error;
                    failure = VI_ERROR_RSRC_NFOUND;
                    break;
                case Started::NoSocket:
                    *last_error = error;
                    failure = VI_ERROR_SYSTEM_ERROR;
                    break;
            }
        }
        if (attempts.empty()) {
            return failure;  // every address has failed
        }
        if (aborted_.load()) {
            CloseAttempts(attempts);
            return VI_ERROR_ABORT;
        }

        const Deadline wake = next < endpoints.size()
                                  ? Deadline::Earlier(deadline, Deadline::At(next_start))
                                  : deadline;
        fds.clear();
        for (const Attempt& attempt : attempts) {
            fds.push_back({attempt.fd, POLLOUT, 0});
        }
        if (wake_read_ >= 0) {
            fds.push_back({wake_read_, POLLIN, 0});
        }
        CountCall();
        const int ready = poll(fds.data(), fds.size(), wake.PollMilliseconds());
        if (ready < 0 && errno != EINTR) {
            *last_error = errno;
            CloseAttempts(attempts);
            return VI_ERROR_SYSTEM_ERROR;
        }
        if (aborted_.load()) {
            CloseAttempts(attempts);
            return VI_ERROR_ABORT;
        }
        if (ready > 0) {
            // The earliest address that answered wins; refusals leave the race.
            std::vector<Attempt> still_pending;
            for (size_t i = 0; i < attempts.size(); ++i) {
                if (fds[i].revents == 0) {
                    still_pending.push_back(attempts[i]);
                    continue;
                }
                int so_error = 0;
                socklen_t so_length = sizeof so_error;
                CountCall();
                if (getsockopt(attempts[i].fd, SOL_SOCKET, SO_ERROR, &so_error, &so_length) != 0) {
                    so_error = errno;
                }
                if (so_error == 0) {
                    *fd = attempts[i].fd;
                    *winner = attempts[i].index;
                    attempts.erase(attempts.begin() + static_cast<ptrdiff_t>(i));
                    CloseAttempts(attempts);
                    return VI_SUCCESS;
                }
                *last_error = so_error;
                failure = VI_ERROR_RSRC_NFOUND;
                CloseSocket(attempts[i].fd);
            }
            attempts = std::move(still_pending);
        }
        if (deadline.HasPassed() && !attempts.empty()) {
            CloseAttempts(attempts);
            return VI_ERROR_TMO;
        }
    }
}

void TcpConnection::Adopt(int fd, const Endpoint& endpoint) {
    Disconnect();
    fd_ = fd;
    endpoint_ = endpoint;
    peer_address_ = NumericAddress(endpoint);
    options_applied_ = false;
}

ViStatus TcpConnection::Connect(const std::string& host, ViUInt16 port, const Deadline& deadline,
                                std::string* detail) {
    Disconnect();
    endpoint_ = Endpoint{};
    endpoint_text_ = host + " port " + std::to_string(port);

    std::vector<Endpoint> endpoints;
    ViStatus status = ResolveHost(host, port, deadline, &endpoints, detail);
    if (status != VI_SUCCESS) {
        return status;
    }
    int fd = -1;
    size_t winner = 0;
    int last_error = 0;
    status = ConnectFirstAnswering(endpoints, deadline, &fd, &winner, &last_error);
    if (status == VI_SUCCESS) {
        Adopt(fd, endpoints[winner]);
    } else if (status == VI_ERROR_RSRC_NFOUND) {
        *detail = "No connection to " + endpoint_text_ + " (" + ErrorText(last_error) + ").";
    } else if (status == VI_ERROR_TMO) {
        *detail = "No connection to " + endpoint_text_ + " within the open time-out.";
    } else if (status == VI_ERROR_SYSTEM_ERROR) {
        *detail = "No socket for " + endpoint_text_ + " (" + ErrorText(last_error) + ").";
    }
    return status;
}

ViStatus TcpConnection::ConnectAnew(const Deadline& deadline, std::string* detail) {
    if (endpoint_.length == 0) {
        *detail = "The session has no address to connect to.";
        return VI_ERROR_RSRC_NFOUND;
    }
    const std::vector<Endpoint> endpoints = {endpoint_};
    int fd = -1;
    size_t winner = 0;
    int error = 0;
    const ViStatus status = ConnectFirstAnswering(endpoints, deadline, &fd, &winner, &error);
    if (status == VI_SUCCESS) {
        Adopt(fd, endpoints[winner]);
    } else if (status == VI_ERROR_RSRC_NFOUND || status == VI_ERROR_SYSTEM_ERROR) {
        *detail = "No new connection to " + endpoint_text_ + " (" + ErrorText(error) + ").";
    } else if (status == VI_ERROR_TMO) {
        *detail = "No new connection to " + endpoint_text_ + " within the time-out.";
    }
    return status;
}

ssize_t TcpConnection::ReceiveSome(const iovec* parts, size_t part_count, int* error) {
    *error = 0;
    if (fd_ < 0) {
        *error = ENOTCONN;
        return -1;
    }
    msghdr message{};
    message.msg_iov = const_cast<iovec*>(parts);
    message.msg_iovlen = part_count;
    while (true) {
        CountCall();
        const ssize_t received = recvmsg(fd_, &message, MSG_DONTWAIT);
        if (received > 0) {
            return received;
        }
        if (received == 0) {
            return -1;  // orderly close
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return 0;
        }
        *error = errno;
        return -1;
    }
}

ViStatus TcpConnection::SendAll(const ViByte* head, size_t head_length, const ViByte* tail,
                                size_t tail_length, const Deadline& deadline, size_t* sent,
                                std::string* detail) {
    const size_t total = head_length + tail_length;
    size_t done = 0;
    ViStatus status = VI_SUCCESS;
    while (done < total) {
        iovec parts[2];
        int part_count = 0;
        if (done < head_length) {
            parts[part_count++] = {const_cast<ViByte*>(head) + done, head_length - done};
            if (tail_length > 0) {
                parts[part_count++] = {const_cast<ViByte*>(tail), tail_length};
            }
        } else {
            parts[part_count++] = {const_cast<ViByte*>(tail) + (done - head_length), total - done};
        }
        msghdr message{};
        message.msg_iov = parts;
        message.msg_iovlen = static_cast<size_t>(part_count);
        ssize_t result = -1;
        if (fd_ >= 0) {
            CountCall();
            result = sendmsg(fd_, &message, MSG_NOSIGNAL | MSG_DONTWAIT);
        }
        if (result > 0) {
            done += static_cast<size_t>(result);
            continue;
        }
        const int error = fd_ < 0 ? ENOTCONN : errno;
        if (result < 0 && error == EINTR) {
            continue;
        }
        if (result == 0 || error == EAGAIN || error == EWOULDBLOCK) {
            const Wait wait = WaitWritable(deadline);
            if (wait == Wait::TimedOut) {
                status = VI_ERROR_TMO;
                break;
            }
            if (wait == Wait::Aborted) {
                status = VI_ERROR_ABORT;
                break;
            }
            continue;
        }
        *detail = "Sending to " + endpoint_text_ + " failed (" + ErrorText(error) + ").";
        status = VI_ERROR_CONN_LOST;
        break;
    }
    *sent = done;
    return status;
}

void TcpConnection::ApplyOptions(bool nodelay, bool keepalive) {
    if (fd_ < 0 || (options_applied_ && nodelay == nodelay_ && keepalive == keepalive_)) {
        return;
    }
    const int nodelay_value = nodelay ? 1 : 0;
    const int keepalive_value = keepalive ? 1 : 0;
    CountCall();
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &nodelay_value, sizeof nodelay_value);
    CountCall();
    setsockopt(fd_, SOL_SOCKET, SO_KEEPALIVE, &keepalive_value, sizeof keepalive_value);
    nodelay_ = nodelay;
    keepalive_ = keepalive;
    options_applied_ = true;
}

}  // namespace tevo::visa

#include "transport/tcp_connection.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tevo::visa {
namespace {

std::string NumericAddress(const sockaddr* address, socklen_t length) {
    char host[NI_MAXHOST] = {};
    if (getnameinfo(address, length, host, sizeof host, nullptr, 0, NI_NUMERICHOST) != 0) {
        return {};
    }
    return host;
}

std::string ErrorText(int error) {
    return error == 0 ? "closed by the peer" : strerror(error);
}

}  // namespace

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
        close(fd_);
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

TcpConnection::Wait TcpConnection::WaitFor(short events, const Deadline& deadline) {
    pollfd fds[2] = {{fd_, events, 0}, {wake_read_, POLLIN, 0}};
    const nfds_t count = wake_read_ >= 0 ? 2 : 1;
    while (true) {
        if (aborted_.load()) {
            return Wait::Aborted;
        }
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

ViStatus TcpConnection::ConnectTo(const sockaddr* address, socklen_t length,
                                  const Deadline& deadline, int* error) {
    *error = 0;
    fd_ = socket(address->sa_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0) {
        *error = errno;
        return (errno == EAFNOSUPPORT) ? VI_ERROR_RSRC_NFOUND : VI_ERROR_SYSTEM_ERROR;
    }
    options_applied_ = false;
    int rc = 0;
    do {
        rc = connect(fd_, address, length);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0 && errno != EINPROGRESS) {
        *error = errno;
        Disconnect();
        return VI_ERROR_RSRC_NFOUND;
    }
    if (rc != 0) {
        switch (WaitWritable(deadline)) {
            case Wait::TimedOut:
                Disconnect();
                return VI_ERROR_TMO;
            case Wait::Aborted:
                Disconnect();
                return VI_ERROR_ABORT;
            case Wait::Ready:
                break;
        }
        int so_error = 0;
        socklen_t so_length = sizeof so_error;
        if (getsockopt(fd_, SOL_SOCKET, SO_ERROR, &so_error, &so_length) != 0) {
            so_error = errno;
        }
        if (so_error != 0) {
            *error = so_error;
            Disconnect();
            return VI_ERROR_RSRC_NFOUND;
        }
    }
    peer_address_ = NumericAddress(address, length);
    return VI_SUCCESS;
}

ViStatus TcpConnection::Connect(const std::string& host, ViUInt16 port, const Deadline& deadline,
                                std::string* detail) {
    Disconnect();
    address_length_ = 0;
    endpoint_text_ = host + " port " + std::to_string(port);

    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* addresses = nullptr;
    const std::string service = std::to_string(port);
    const int resolved = getaddrinfo(host.c_str(), service.c_str(), &hints, &addresses);
    if (resolved != 0) {
        *detail =
            "The host name \"" + host + "\" does not resolve (" + gai_strerror(resolved) + ").";
        return VI_ERROR_RSRC_NFOUND;
    }

    ViStatus status = VI_ERROR_RSRC_NFOUND;
    int last_error = 0;
    for (const addrinfo* entry = addresses; entry != nullptr; entry = entry->ai_next) {
        int error = 0;
        status = ConnectTo(entry->ai_addr, entry->ai_addrlen, deadline, &error);
        if (status == VI_SUCCESS) {
            std::memcpy(&address_, entry->ai_addr, entry->ai_addrlen);
            address_length_ = entry->ai_addrlen;
            break;
        }
        last_error = error;
        if (status != VI_ERROR_RSRC_NFOUND) {
            break;  // out of time, aborted, or out of system resources: stop trying
        }
    }
    freeaddrinfo(addresses);

    if (status == VI_ERROR_RSRC_NFOUND) {
        *detail = "No connection to " + endpoint_text_ + " (" + ErrorText(last_error) + ").";
    } else if (status == VI_ERROR_TMO) {
        *detail = "No connection to " + endpoint_text_ + " within the open time-out.";
    } else if (status == VI_ERROR_SYSTEM_ERROR) {
        *detail = "No socket for " + endpoint_text_ + " (" + ErrorText(last_error) + ").";
    }
    return status;
}

ViStatus TcpConnection::Reconnect(const Deadline& deadline, std::string* detail) {
    Disconnect();
    if (address_length_ == 0) {
        *detail = "The session has no address to connect to.";
        return VI_ERROR_RSRC_NFOUND;
    }
    int error = 0;
    const ViStatus status =
        ConnectTo(reinterpret_cast<const sockaddr*>(&address_), address_length_, deadline, &error);
    if (status == VI_ERROR_RSRC_NFOUND || status == VI_ERROR_SYSTEM_ERROR) {
        *detail = "No new connection to " + endpoint_text_ + " (" + ErrorText(error) + ").";
    } else if (status == VI_ERROR_TMO) {
        *detail = "No new connection to " + endpoint_text_ + " within the time-out.";
    }
    return status;
}

ssize_t TcpConnection::ReceiveSome(ViByte* buffer, size_t length, int* error) {
    *error = 0;
    if (fd_ < 0) {
        *error = ENOTCONN;
        return -1;
    }
    while (true) {
        const ssize_t received = recv(fd_, buffer, length, MSG_DONTWAIT);
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
                                size_t tail_length, const Deadline& deadline, size_t* head_sent,
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
        const ssize_t sent = fd_ < 0 ? -1 : sendmsg(fd_, &message, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent > 0) {
            done += static_cast<size_t>(sent);
            continue;
        }
        const int error = fd_ < 0 ? ENOTCONN : errno;
        if (sent < 0 && error == EINTR) {
            continue;
        }
        if (sent == 0 || error == EAGAIN || error == EWOULDBLOCK) {
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
    *head_sent = done < head_length ? done : head_length;
    return status;
}

void TcpConnection::ApplyOptions(bool nodelay, bool keepalive) {
    if (fd_ < 0 || (options_applied_ && nodelay == nodelay_ && keepalive == keepalive_)) {
        return;
    }
    const int nodelay_value = nodelay ? 1 : 0;
    const int keepalive_value = keepalive ? 1 : 0;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &nodelay_value, sizeof nodelay_value);
    setsockopt(fd_, SOL_SOCKET, SO_KEEPALIVE, &keepalive_value, sizeof keepalive_value);
    nodelay_ = nodelay;
    keepalive_ = keepalive;
    options_applied_ = true;
}

}  // namespace tevo::visa

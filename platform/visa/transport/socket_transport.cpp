#include "transport/socket_transport.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <utility>

namespace tevo::visa {
namespace {

constexpr size_t kReceiveChunk = 64 * 1024;
// Input pulled in without a read asking for it stops growing here.
constexpr size_t kMaxUnrequestedInput = 16 * 1024 * 1024;
// Stale input is drained until the socket has been quiet this long.
constexpr std::chrono::milliseconds kDrainQuietWindow(100);
constexpr ViByte kClearCommand[] = {'*', 'C', 'L', 'S'};

ViStatus StatusOfEnd(ReplyEnd end, const IoSettings& settings) {
    switch (end) {
        case ReplyEnd::TermChar:
            return VI_SUCCESS_TERM_CHAR;
        case ReplyEnd::BlockWithLf:
            return (settings.termchar_enabled && settings.termchar == 0x0A) ? VI_SUCCESS_TERM_CHAR
                                                                            : VI_SUCCESS;
        case ReplyEnd::CountReached:
            return VI_SUCCESS_MAX_CNT;
        case ReplyEnd::Block:
        case ReplyEnd::None:
            break;
    }
    return VI_SUCCESS;
}

}  // namespace

SocketTransport::SocketTransport(std::string host, ViUInt16 port)
    : host_(std::move(host)), port_(port) {}

ViStatus SocketTransport::Connect(const IoSettings& settings, const Deadline& deadline) {
    ForgetInput();
    peer_gone_ = false;
    stale_input_ = false;
    const ViStatus status = connection_.Connect(host_, port_, deadline, &detail_);
    if (status == VI_SUCCESS) {
        connection_.ApplyOptions(settings.tcp_nodelay, settings.tcp_keepalive);
    }
    return status;
}

void SocketTransport::Close() {
    connection_.Disconnect();
    ForgetInput();
}

void SocketTransport::DropPending(size_t count) {
    pending_head_ += count;
    if (pending_head_ >= pending_.size()) {
        pending_.clear();
        pending_head_ = 0;
    } else if (pending_head_ >= kReceiveChunk && pending_head_ * 2 >= pending_.size()) {
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<ptrdiff_t>(pending_head_));
        pending_head_ = 0;
    }
}

void SocketTransport::ForgetInput() {
    pending_.clear();
    pending_head_ = 0;
    framer_.Reset();
}

void SocketTransport::NotePeerGone(int error) {
    peer_gone_ = true;
    peer_error_ = error;
}

void SocketTransport::ReceiveChunk() {
    const size_t old_size = pending_.size();
    pending_.resize(old_size + kReceiveChunk);
    int error = 0;
    const ssize_t received =
        connection_.ReceiveSome(pending_.data() + old_size, kReceiveChunk, &error);
    pending_.resize(old_size + static_cast<size_t>(std::max<ssize_t>(received, 0)));
    if (received < 0) {
        NotePeerGone(error);
    }
}

void SocketTransport::PullAvailable() {
    while (!peer_gone_ && connection_.IsOpen() && PendingSize() < kMaxUnrequestedInput) {
        const size_t before = pending_.size();
        ReceiveChunk();
        if (pending_.size() == before) {
            return;  // nothing more right now, or the peer is gone
        }
    }
}

IoResult SocketTransport::ConnectionLost(size_t count) {
    if (connection_.IsOpen()) {
        lost_reason_ = peer_error_ == 0 ? "The instrument closed the connection."
                                        : std::string("The connection was reset (") +
                                              std::strerror(peer_error_) + ").";
        connection_.Disconnect();
    }
    if (lost_reason_.empty()) {
        lost_reason_ = "The session is not connected.";
    }
    detail_ = lost_reason_ + " viClear connects again.";
    return {VI_ERROR_CONN_LOST, count};
}

IoResult SocketTransport::Read(ViByte* buffer, size_t count, const IoSettings& settings,
                               const Deadline& deadline) {
    if (connection_.Aborted()) {
        return {VI_ERROR_ABORT, 0};
    }
    IoResult result;
    if (count == 0) {
        result.status = VI_SUCCESS_MAX_CNT;
        return result;
    }
    while (true) {
        const FrameStep step =
            framer_.Transfer(PendingData(), PendingSize(), buffer + result.count,
                             count - result.count, settings.termchar, settings.termchar_enabled);
        DropPending(step.consumed);
        result.count += step.delivered;
        if (step.end != ReplyEnd::None) {
            result.status = StatusOfEnd(step.end, settings);
            return result;
        }
        if (framer_.AwaitsBlockTail()) {
            // The block is complete. A line feed after it is taken when it is already
            // here; the read does not wait for it.
            PullAvailable();
            if (PendingSize() > 0) {
                continue;
            }
            result.status = StatusOfEnd(framer_.EndBlockWithoutLf(), settings);
            return result;
        }
        if (result.count == count) {
            result.status = VI_SUCCESS_MAX_CNT;
            return result;
        }
        if (peer_gone_ || !connection_.IsOpen()) {
            return ConnectionLost(result.count);
        }
        switch (connection_.WaitReadable(deadline)) {
            case TcpConnection::Wait::TimedOut:
                stale_input_ = true;
                detail_ = "The reply was not complete when the time-out expired.";
                result.status = VI_ERROR_TMO;
                return result;
            case TcpConnection::Wait::Aborted:
                result.status = VI_ERROR_ABORT;
                return result;
            case TcpConnection::Wait::Ready:
                break;
        }
        const uint64_t block_left = framer_.BlockBytesLeft();
        if (block_left > 0 && PendingSize() == 0) {
            // Block data goes straight into the caller's buffer, in as few transfers as
            // the network allows.
            const size_t wanted =
                static_cast<size_t>(std::min<uint64_t>(block_left, count - result.count));
            int error = 0;
            const ssize_t received = connection_.ReceiveSome(buffer + result.count, wanted, &error);
            if (received > 0) {
                framer_.CountBlockBytes(static_cast<uint64_t>(received));
                result.count += static_cast<size_t>(received);
            } else if (received < 0) {
                NotePeerGone(error);
            }
            continue;
        }
        ReceiveChunk();
    }
}

void SocketTransport::DrainStaleInput(const Deadline& deadline) {
    ForgetInput();
    while (!peer_gone_ && connection_.IsOpen()) {
        const Deadline quiet =
            Deadline::Earlier(deadline, Deadline::At(Deadline::Clock::now() + kDrainQuietWindow));
        if (connection_.WaitReadable(quiet) != TcpConnection::Wait::Ready) {
            break;
        }
        PullAvailable();
        ForgetInput();
    }
}

IoResult SocketTransport::Write(const ViByte* data, size_t count, const IoSettings& settings,
                                const Deadline& deadline) {
    if (connection_.Aborted()) {
        return {VI_ERROR_ABORT, 0};
    }
    if (!connection_.IsOpen()) {
        return ConnectionLost(0);
    }
    connection_.ApplyOptions(settings.tcp_nodelay, settings.tcp_keepalive);
    PullAvailable();
    if (stale_input_) {
        stale_input_ = false;
        DrainStaleInput(deadline);
    } else {
        DropPending(framer_.LateBlockLfToDrop(PendingData(), PendingSize()));
    }
    if (peer_gone_) {
        return ConnectionLost(0);
    }
    const ViByte* tail = settings.send_end ? &settings.termchar : nullptr;
    IoResult result;
    result.status = connection_.SendAll(data, count, tail, tail == nullptr ? 0 : 1, deadline,
                                        &result.count, &detail_);
    if (result.status == VI_ERROR_CONN_LOST) {
        connection_.Disconnect();
        lost_reason_ = detail_;
        detail_ = lost_reason_ + " viClear connects again.";
    } else if (result.status == VI_ERROR_TMO) {
        detail_ = "The instrument did not take the whole message within the time-out.";
    }
    return result;
}

ViStatus SocketTransport::Clear(const IoSettings& settings, const Deadline& deadline) {
    ForgetInput();
    stale_input_ = false;
    peer_gone_ = false;
    peer_error_ = 0;
    lost_reason_.clear();
    ViStatus status = connection_.Reconnect(deadline, &detail_);
    if (status != VI_SUCCESS) {
        lost_reason_ = detail_;
        // The session stays without a connection; the next viClear tries again.
        return status == VI_ERROR_RSRC_NFOUND ? VI_ERROR_CONN_LOST : status;
    }
    connection_.ApplyOptions(settings.tcp_nodelay, settings.tcp_keepalive);
    if (settings.io_protocol == VI_PROT_4882_STRS) {
        // The one device-side clear a raw socket has, sent only when asked for.
        const ViByte end = 0x0A;
        size_t sent = 0;
        status = connection_.SendAll(kClearCommand, sizeof kClearCommand, &end, 1, deadline, &sent,
                                     &detail_);
    }
    return status;
}

void SocketTransport::DiscardInput() {
    PullAvailable();
    ForgetInput();
}

}  // namespace tevo::visa

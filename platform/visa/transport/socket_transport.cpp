#include "transport/socket_transport.h"

#include <sys/uio.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <utility>

namespace tevo::visa {
namespace {

constexpr size_t kReceiveChunk = 64 * 1024;
// Input pulled in without a read asking for it stops growing here.
constexpr size_t kMaxUnrequestedInput = 16 * 1024 * 1024;
// Stale input is drained until the socket has been quiet this long ...
constexpr std::chrono::milliseconds kDrainQuietWindow(100);
// ... but no longer than this in all, even from a device that never stops talking.
constexpr std::chrono::milliseconds kDrainLimit(2000);
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
    clear_before_write_ = false;
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

void SocketTransport::ForgetInput() {
    pending_.Clear();
    framer_.Reset();
}

void SocketTransport::NotePeerGone(int error) {
    peer_gone_ = true;
    peer_error_ = error;
}

size_t SocketTransport::Receive(ViByte* caller_room, size_t caller_room_size) {
    iovec parts[2];
    size_t part_count = 0;
    size_t direct = 0;
    const uint64_t block_left = framer_.BlockBytesLeft();
    if (block_left > 0 && pending_.Size() == 0 && caller_room_size > 0) {
        // Block data goes straight into the caller's buffer, in as few transfers as the
        // network allows; what follows the block (its line feed) lands in the pending
        // input in the same receive.
        direct = static_cast<size_t>(std::min<uint64_t>(block_left, caller_room_size));
        parts[part_count++] = {caller_room, direct};
    }
    ViByte* room = pending_.Room(kReceiveChunk);
    parts[part_count++] = {room, pending_.RoomSize()};
    int error = 0;
    const ssize_t received = connection_.ReceiveSome(parts, part_count, &error);
    if (received < 0) {
        NotePeerGone(error);
        return 0;
    }
    const size_t into_caller = std::min(static_cast<size_t>(received), direct);
    if (into_caller > 0) {
        framer_.CountBlockBytes(into_caller);
    }
    pending_.Commit(static_cast<size_t>(received) - into_caller);
    return into_caller;
}

void SocketTransport::PullAvailable() {
    while (!peer_gone_ && connection_.IsOpen() && pending_.Size() < kMaxUnrequestedInput) {
        ViByte* room = pending_.Room(kReceiveChunk);
        const size_t room_size = pending_.RoomSize();
        int error = 0;
        const ssize_t received = connection_.ReceiveSome(room, room_size, &error);
        if (received < 0) {
            NotePeerGone(error);
            return;
        }
        pending_.Commit(static_cast<size_t>(received));
        if (static_cast<size_t>(received) < room_size) {
            return;  // the socket had no more (a full room means there may be more)
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

IoResult SocketTransport::TimedOut(size_t count, const char* what) {
    // The reply may still come, at any time: the next write connects anew first, so that
    // it can never be read as the reply to a later query.
    clear_before_write_ = true;
    detail_ = what;
    return {VI_ERROR_TMO, count};
}

ViStatus SocketTransport::DiscardAbandonedReply(const IoSettings& settings,
                                                const Deadline& deadline) {
    while (true) {
        pending_.Drop(framer_.Discard(pending_.Data(), pending_.Size(), settings.termchar,
                                      settings.termchar_enabled));
        if (!framer_.Discarding()) {
            return VI_SUCCESS;
        }
        if (peer_gone_ || !connection_.IsOpen()) {
            return VI_ERROR_CONN_LOST;
        }
        if (const ViStatus waited = TcpConnection::WaitStatus(connection_.WaitReadable(deadline));
            waited != VI_SUCCESS) {
            return waited;
        }
        Receive(nullptr, 0);
    }
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
    if (framer_.Discarding()) {
        switch (DiscardAbandonedReply(settings, deadline)) {
            case VI_SUCCESS:
                break;
            case VI_ERROR_TMO:
                return TimedOut(0,
                                "The rest of a reply given up by a later message had not "
                                "come when the time-out expired.");
            case VI_ERROR_ABORT:
                return {VI_ERROR_ABORT, 0};
            default:
                return ConnectionLost(0);
        }
    }
    while (true) {
        const FrameStep step =
            framer_.Transfer(pending_.Data(), pending_.Size(), buffer + result.count,
                             count - result.count, settings.termchar, settings.termchar_enabled);
        pending_.Drop(step.consumed);
        result.count += step.delivered;
        if (step.end != ReplyEnd::None) {
            result.status = StatusOfEnd(step.end, settings);
            return result;
        }
        if (framer_.AwaitsBlockTail()) {
            // The block is complete. A line feed after it is taken when it is already
            // here; the read does not wait for it.
            PullAvailable();
            if (pending_.Size() > 0) {
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
                return TimedOut(result.count,
                                "The reply was not complete when the time-out expired.");
            case TcpConnection::Wait::Aborted:
                result.status = VI_ERROR_ABORT;
                return result;
            case TcpConnection::Wait::Ready:
                break;
        }
        result.count += Receive(buffer + result.count, count - result.count);
    }
}

void SocketTransport::DrainStaleInput(const Deadline& deadline) {
    ForgetInput();
    const Deadline limit =
        Deadline::Earlier(deadline, Deadline::At(Deadline::Clock::now() + kDrainLimit));
    while (!peer_gone_ && connection_.IsOpen()) {
        const Deadline quiet =
            Deadline::Earlier(limit, Deadline::At(Deadline::Clock::now() + kDrainQuietWindow));
        if (connection_.WaitReadable(quiet) != TcpConnection::Wait::Ready) {
            break;
        }
        PullAvailable();
        pending_.Clear();
    }
}

IoResult SocketTransport::Write(const ViByte* data, size_t count, const IoSettings& settings,
                                const Deadline& deadline) {
    if (connection_.Aborted()) {
        return {VI_ERROR_ABORT, 0};
    }
    if (clear_before_write_) {
        const ViStatus cleared = Clear(settings, deadline);
        if (cleared < VI_SUCCESS) {
            detail_ =
                "Nothing was sent: the session must connect anew first (after a time-out "
                "or an unfinished message), and could not. " +
                detail_;
            return {cleared, 0};
        }
    }
    if (peer_gone_ || !connection_.IsOpen()) {
        return ConnectionLost(0);
    }
    connection_.ApplyOptions(settings.tcp_nodelay, settings.tcp_keepalive);
    // A new message gives up the reply being read, as a device gives up its output.
    framer_.AbandonReply();
    const ViByte* tail = settings.send_end ? &settings.termchar : nullptr;
    size_t sent = 0;
    IoResult result;
    result.status =
        connection_.SendAll(data, count, tail, tail == nullptr ? 0 : 1, deadline, &sent, &detail_);
    result.count = std::min(sent, count);
    if (result.status == VI_ERROR_CONN_LOST) {
        connection_.Disconnect();
        lost_reason_ = detail_;
        detail_ = lost_reason_ + " viClear connects again.";
    } else if (result.status == VI_ERROR_TMO) {
        detail_ = "The instrument did not take the whole message within the time-out.";
        if (sent > 0) {
            // Part of the message is on the wire; the next one must not be appended to it.
            clear_before_write_ = true;
            detail_ += " The next write connects anew first.";
        }
    }
    return result;
}

ViStatus SocketTransport::Clear(const IoSettings& settings, const Deadline& deadline) {
    ViStatus status = connection_.ConnectAnew(deadline, &detail_);
    if (status != VI_SUCCESS) {
        if (!peer_gone_ && connection_.IsOpen()) {
            // The working connection stays; what it holds or still brings within a short
            // quiet window is dropped.
            DrainStaleInput(deadline);
            detail_ += " The old connection is kept.";
        } else {
            lost_reason_ = detail_;  // the next viClear tries again
        }
        return status == VI_ERROR_RSRC_NFOUND ? VI_ERROR_CONN_LOST : status;
    }
    ForgetInput();
    peer_gone_ = false;
    peer_error_ = 0;
    lost_reason_.clear();
    clear_before_write_ = false;
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

void SocketTransport::AbandonReply() {
    framer_.AbandonReply();
    clear_before_write_ = true;
}

void SocketTransport::DiscardInput() {
    PullAvailable();
    // A partly read reply is given up as by a new message: the next read discards its
    // rest. Otherwise everything received is dropped; when anything was, its first byte
    // has settled a line feed owed by a block.
    framer_.AbandonReply();
    if (!framer_.Discarding()) {
        if (pending_.Size() > 0) {
            framer_.Reset();
        }
        pending_.Clear();
    }
}

}  // namespace tevo::visa

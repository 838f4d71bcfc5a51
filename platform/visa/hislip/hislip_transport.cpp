#include "hislip/hislip_transport.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace tevo::visa {

using hislip::Message;
using hislip::MessageType;

namespace {

// How much longer than the lock time-out the client waits for the server's answer.
constexpr std::chrono::milliseconds kLockAnswerMargin(2000);

std::string ErrorText(const char* what, const Message& message) {
    std::string text = std::string("The instrument reported a HiSLIP ") + what + " (code " +
                       std::to_string(message.control) + ")";
    if (!message.payload.empty()) {
        text += ": " + message.payload;
    }
    return text + ".";
}

}  // namespace

HislipTransport::HislipTransport(std::string host, ViUInt16 port, std::string sub_address,
                                 uint64_t receive_limit)
    : host_(std::move(host)),
      port_(port),
      sub_address_(std::move(sub_address)),
      receive_limit_(std::max<uint64_t>(receive_limit, 1)) {}

ViStatus HislipTransport::Failed(ViStatus status) {
    if (status == VI_ERROR_CONN_LOST || !sync_.IsOpen() || !async_.IsOpen()) {
        // Half a session is no session: viClear connects both channels again.
        sync_.Disconnect();
        async_.Disconnect();
        if (status == VI_ERROR_CONN_LOST) {
            detail_ += " viClear connects again.";
        }
    }
    return status;
}

ViStatus HislipTransport::Connect(const IoSettings& settings, const Deadline& deadline) {
    Close();
    next_id_ = hislip::kFirstMessageId;
    rmt_delivered_ = false;
    clear_before_write_ = false;
    ViStatus status = sync_.Connect(host_, port_, deadline, &detail_);
    if (status != VI_SUCCESS) {
        detail_ = "HiSLIP synchronous channel: " + detail_;
        return status;
    }
    sync_.ApplyOptions(settings.tcp_nodelay, settings.tcp_keepalive);
    sync_.SetReceiveLimit(receive_limit_);
    status = sync_.Send(MessageType::kInitialize, 0,
                        hislip::InitializeParameter(hislip::kProtocolVersion, kVendorId),
                        sub_address_, deadline, &detail_);
    Message answer;
    if (status == VI_SUCCESS) {
        status = sync_.Receive(deadline, &answer, &detail_);
    }
    if (status == VI_SUCCESS && answer.type != MessageType::kInitializeResponse) {
        detail_ = answer.type == MessageType::kFatalError
                      ? ErrorText("fatal error", answer)
                      : std::string("The instrument answered Initialize with ") +
                            hislip::TypeName(answer.type) + ".";
        status = VI_ERROR_RSRC_NFOUND;
    }
    if (status != VI_SUCCESS) {
        if (status == VI_ERROR_TMO) {
            detail_ = "The instrument did not answer the HiSLIP Initialize within the time-out.";
        }
        Close();
        return status;
    }
    session_id_ = hislip::LowHalf(answer.parameter);
    overlap_ = (answer.control & hislip::kOverlapMode) != 0;

    // The asynchronous channel goes to the address that answered, not to another address
    // of the same name.
    status = async_.Connect(sync_.PeerAddress(), port_, deadline, &detail_);
    if (status == VI_SUCCESS) {
        async_.ApplyOptions(settings.tcp_nodelay, settings.tcp_keepalive);
        async_.SetReceiveLimit(receive_limit_);
        status = AsyncExchange(MessageType::kAsyncInitialize, 0, session_id_, {},
                               MessageType::kAsyncInitializeResponse, deadline, &answer);
    }
    if (status == VI_SUCCESS) {
        status = AsyncExchange(MessageType::kAsyncMaximumMessageSize, 0, 0,
                               hislip::EncodeSize(receive_limit_),
                               MessageType::kAsyncMaximumMessageSizeResponse, deadline, &answer);
    }
    if (status == VI_SUCCESS) {
        const std::optional<uint64_t> server_limit = hislip::DecodeSize(answer.payload);
        if (!server_limit || *server_limit == 0) {
            detail_ = "The instrument's maximum message size is not valid.";
            status = VI_ERROR_IO;
        } else {
            send_limit_ = *server_limit;
        }
    }
    if (status != VI_SUCCESS) {
        if (status == VI_ERROR_TMO) {
            detail_ = "The HiSLIP asynchronous channel was not set up within the time-out.";
        }
        Close();
    }
    return status;
}

void HislipTransport::Close() {
    sync_.Disconnect();
    async_.Disconnect();
    ForgetReply();
}

void HislipTransport::Abort() {
    sync_.Abort();
    async_.Abort();
}

void HislipTransport::ForgetReply() {
    expected_id_.reset();
    have_current_ = false;
    current_offset_ = 0;
    current_.payload.clear();
    framer_.Reset();
}

void HislipTransport::AbandonReply() {
    ForgetReply();
}

void HislipTransport::DiscardInput() {
    // The reply expected is given up whole: what has come of it and what still comes.
    ForgetReply();
}

ViStatus HislipTransport::AsyncExchange(MessageType type, uint8_t control, uint32_t parameter,
                                        std::string_view payload, MessageType answer_type,
                                        const Deadline& deadline, Message* answer) {
    if (!async_.IsOpen()) {
        detail_ = "The HiSLIP session is not connected.";
        return Failed(VI_ERROR_CONN_LOST);
    }
    ViStatus status = async_.Send(type, control, parameter, payload, deadline, &detail_);
    while (status == VI_SUCCESS) {
        status = async_.Receive(deadline, answer, &detail_);
        if (status != VI_SUCCESS) {
            break;
        }
        if (answer->type == answer_type) {
            return VI_SUCCESS;
        }
        if (answer->type == MessageType::kFatalError) {
            detail_ = ErrorText("fatal error", *answer);
            return Failed(VI_ERROR_CONN_LOST);
        }
        if (answer->type == MessageType::kError) {
            detail_ = ErrorText("error", *answer);
            return VI_ERROR_IO;
        }
        // Service requests and other unsolicited messages are not what was asked for.
    }
    if (status == VI_ERROR_TMO) {
        detail_ = std::string("The instrument did not answer ") + hislip::TypeName(type) +
                  " within the time-out.";
    }
    return Failed(status);
}

IoResult HislipTransport::Write(const ViByte* data, size_t count, const IoSettings& settings,
                                const Deadline& deadline) {
    if (sync_.Aborted()) {
        return {VI_ERROR_ABORT, 0};
    }
    if (clear_before_write_) {
        const ViStatus cleared = Clear(settings, deadline);
        if (cleared < VI_SUCCESS) {
            detail_ =
                "Nothing was sent: the session must clear a message that was cut off "
                "first, and could not. " +
                detail_;
            return {cleared, 0};
        }
    }
    if (!sync_.IsOpen()) {
        detail_ = "The HiSLIP session is not connected. viClear connects again.";
        return {VI_ERROR_CONN_LOST, 0};
    }
    sync_.ApplyOptions(settings.tcp_nodelay, settings.tcp_keepalive);
    async_.ApplyOptions(settings.tcp_nodelay, settings.tcp_keepalive);
    // A new message gives up the reply being read, as a device gives up its output: what
    // still comes of it carries an older MessageID and is dropped.
    ForgetReply();

    IoResult result;
    size_t done = 0;
    do {
        const size_t chunk = static_cast<size_t>(std::min<uint64_t>(send_limit_, count - done));
        const bool last = done + chunk == count;
        if (last && !settings.send_end && chunk == 0) {
            break;  // nothing to send without END
        }
        const MessageType type =
            last && settings.send_end ? MessageType::kDataEnd : MessageType::kData;
        const uint8_t control = rmt_delivered_ ? hislip::kRmtDelivered : 0;
        const uint32_t id = next_id_;
        next_id_ += 2;
        size_t sent = 0;
        result.status =
            sync_.Send(type, control, id, data + done, chunk, deadline, &detail_, &sent);
        done += sent;
        if (result.status != VI_SUCCESS) {
            break;
        }
        rmt_delivered_ = false;
        if (type == MessageType::kDataEnd) {
            expected_id_ = id;
        }
    } while (done < count);
    result.count = done;

    if (result.status == VI_ERROR_TMO) {
        detail_ = "The instrument did not take the whole message within the time-out.";
        if (done > 0 || !sync_.IsOpen()) {
            // The device holds part of a message; the next write clears it first.
            clear_before_write_ = true;
            detail_ += " The next write clears the device first.";
        }
    } else if (result.status == VI_ERROR_CONN_LOST) {
        result.status = Failed(result.status);
    }
    return result;
}

void HislipTransport::TakeFromCurrent(ViByte* buffer, size_t count, const IoSettings& settings,
                                      IoResult* result, bool* ended) {
    const auto* input = reinterpret_cast<const ViByte*>(current_.payload.data());
    const size_t size = current_.payload.size();
    const FrameStep step =
        framer_.Transfer(input + current_offset_, size - current_offset_, buffer + result->count,
                         count - result->count, settings.termchar, settings.termchar_enabled);
    current_offset_ += step.consumed;
    result->count += step.delivered;
    const bool message_done = current_offset_ == size;
    const bool reply_done = message_done && current_.type == MessageType::kDataEnd;
    if (message_done) {
        have_current_ = false;
    }
    *ended = true;
    if (reply_done && step.end != ReplyEnd::Block) {
        // END on the last byte delivered outranks the termination character and the count.
        result->status = VI_SUCCESS;
        framer_.Reset();
        rmt_delivered_ = true;
        return;
    }
    switch (step.end) {
        case ReplyEnd::TermChar:
            result->status = VI_SUCCESS_TERM_CHAR;
            return;
        case ReplyEnd::BlockWithLf:
            result->status = (settings.termchar_enabled && settings.termchar == 0x0A)
                                 ? VI_SUCCESS_TERM_CHAR
                                 : VI_SUCCESS;
            return;
        case ReplyEnd::Block:
            result->status = VI_SUCCESS;
            return;
        case ReplyEnd::CountReached:
            result->status = VI_SUCCESS_MAX_CNT;
            return;
        case ReplyEnd::None:
            break;
    }
    *ended = false;
}

ViStatus HislipTransport::NextReplyMessage(const Deadline& deadline) {
    while (true) {
        const ViStatus status = sync_.Receive(deadline, &current_, &detail_);
        if (status != VI_SUCCESS) {
            return status;
        }
        switch (current_.type) {
            case MessageType::kData:
            case MessageType::kDataEnd:
                if (expected_id_ && current_.parameter == *expected_id_) {
                    have_current_ = true;
                    current_offset_ = 0;
                    return VI_SUCCESS;
                }
                break;  // of a reply given up
            case MessageType::kError:
                detail_ = ErrorText("error", current_);
                return VI_ERROR_IO;
            case MessageType::kFatalError:
                detail_ = ErrorText("fatal error", current_);
                return VI_ERROR_CONN_LOST;
            default:
                break;  // Interrupted and the like: nothing for the reader
        }
    }
}

IoResult HislipTransport::Read(ViByte* buffer, size_t count, const IoSettings& settings,
                               const Deadline& deadline) {
    if (sync_.Aborted()) {
        return {VI_ERROR_ABORT, 0};
    }
    IoResult result;
    if (count == 0) {
        result.status = VI_SUCCESS_MAX_CNT;
        return result;
    }
    while (true) {
        if (have_current_) {
            bool ended = false;
            TakeFromCurrent(buffer, count, settings, &result, &ended);
            if (ended) {
                return result;
            }
        }
        if (result.count == count) {
            result.status = VI_SUCCESS_MAX_CNT;
            return result;
        }
        if (!sync_.IsOpen()) {
            detail_ = "The HiSLIP session is not connected. viClear connects again.";
            result.status = VI_ERROR_CONN_LOST;
            return result;
        }
        const ViStatus status = NextReplyMessage(deadline);
        if (status == VI_ERROR_TMO) {
            // The reply stays expected: a later read takes what still comes of it, while
            // the next write gives it up.
            detail_ = "The reply was not complete when the time-out expired.";
        }
        if (status != VI_SUCCESS) {
            result.status = status == VI_ERROR_CONN_LOST ? Failed(status) : status;
            return result;
        }
    }
}

ViStatus HislipTransport::Clear(const IoSettings& settings, const Deadline& deadline) {
    if (sync_.Aborted()) {
        return VI_ERROR_ABORT;
    }
    if (!sync_.IsOpen() || !async_.IsOpen()) {
        // A new session is as clear as it gets.
        return Connect(settings, deadline);
    }
    Message answer;
    ViStatus status = AsyncExchange(MessageType::kAsyncDeviceClear, 0, 0, {},
                                    MessageType::kAsyncDeviceClearAcknowledge, deadline, &answer);
    if (status != VI_SUCCESS) {
        return status;
    }
    // Synchronized mode is asked for (feature bit 0 clear).
    ForgetReply();
    status = sync_.Send(MessageType::kDeviceClearComplete, 0, 0, {}, deadline, &detail_);
    while (status == VI_SUCCESS) {
        // Whatever the server sent before the acknowledgement belongs to the time before
        // the clear.
        status = sync_.Receive(deadline, &answer, &detail_);
        if (status == VI_SUCCESS && answer.type == MessageType::kDeviceClearAcknowledge) {
            break;
        }
        if (status == VI_SUCCESS && answer.type == MessageType::kFatalError) {
            detail_ = ErrorText("fatal error", answer);
            status = VI_ERROR_CONN_LOST;
        }
    }
    if (status != VI_SUCCESS) {
        if (status == VI_ERROR_TMO) {
            detail_ = "The instrument did not acknowledge the device clear within the time-out.";
        }
        return Failed(status);
    }
    overlap_ = (answer.control & hislip::kOverlapMode) != 0;
    next_id_ = hislip::kFirstMessageId;
    rmt_delivered_ = false;
    clear_before_write_ = false;
    return VI_SUCCESS;
}

ViStatus HislipTransport::ReadStatusByte(ViUInt16* status_byte, const Deadline& deadline) {
    if (async_.Aborted()) {
        return VI_ERROR_ABORT;
    }
    Message answer;
    const uint8_t control = rmt_delivered_ ? hislip::kRmtDelivered : 0;
    const ViStatus status =
        AsyncExchange(MessageType::kAsyncStatusQuery, control, LastMessageIdSent(), {},
                      MessageType::kAsyncStatusResponse, deadline, &answer);
    if (status == VI_SUCCESS) {
        rmt_delivered_ = false;
        *status_byte = answer.control;
    }
    return status;
}

ViStatus HislipTransport::Lock(ViUInt32 timeout_ms, std::string_view shared_key,
                               const Deadline& deadline) {
    if (async_.Aborted()) {
        return VI_ERROR_ABORT;
    }
    // The server may take the whole lock time-out before it answers.
    const Deadline answer_deadline =
        timeout_ms == VI_TMO_INFINITE
            ? Deadline::Never()
            : Deadline::At(std::max(deadline.When(), Deadline::Clock::now() +
                                                         std::chrono::milliseconds(timeout_ms) +
                                                         kLockAnswerMargin));
    Message answer;
    const ViStatus status =
        AsyncExchange(MessageType::kAsyncLock, hislip::kLockRequest, timeout_ms, shared_key,
                      MessageType::kAsyncLockResponse,
                      deadline.IsInfinite() ? deadline : answer_deadline, &answer);
    if (status != VI_SUCCESS) {
        return status;
    }
    switch (answer.control) {
        case hislip::kLockSuccess:
            return VI_SUCCESS;
        case hislip::kLockFailure:
            detail_ = "Another session kept the lock until the lock time-out.";
            return VI_ERROR_TMO;
        default:
            detail_ = "The instrument refused the lock request.";
            return VI_ERROR_RSRC_LOCKED;
    }
}

ViStatus HislipTransport::Unlock(const Deadline& deadline) {
    if (async_.Aborted()) {
        return VI_ERROR_ABORT;
    }
    Message answer;
    const ViStatus status =
        AsyncExchange(MessageType::kAsyncLock, hislip::kLockRelease, LastMessageIdSent(), {},
                      MessageType::kAsyncLockResponse, deadline, &answer);
    if (status != VI_SUCCESS) {
        return status;
    }
    if (answer.control == hislip::kLockSuccess || answer.control == hislip::kLockSharedReleased) {
        return VI_SUCCESS;
    }
    detail_ = "The session holds no lock.";
    return VI_ERROR_SESN_NLOCKED;
}

}  // namespace tevo::visa

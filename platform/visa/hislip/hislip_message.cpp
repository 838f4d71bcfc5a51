#include "hislip/hislip_message.h"

#include <algorithm>
#include <cstring>

namespace tevo::visa::hislip {
namespace {

void PutBigEndian(uint64_t value, size_t bytes, uint8_t* out) {
    for (size_t i = 0; i < bytes; ++i) {
        out[bytes - 1 - i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

uint64_t GetBigEndian(const uint8_t* in, size_t bytes) {
    uint64_t value = 0;
    for (size_t i = 0; i < bytes; ++i) {
        value = (value << 8) | in[i];
    }
    return value;
}

}  // namespace

const char* TypeName(MessageType type) {
    static constexpr const char* kNames[] = {
        "Initialize",
        "InitializeResponse",
        "FatalError",
        "Error",
        "AsyncLock",
        "AsyncLockResponse",
        "Data",
        "DataEnd",
        "DeviceClearComplete",
        "DeviceClearAcknowledge",
        "AsyncRemoteLocalControl",
        "AsyncRemoteLocalResponse",
        "Trigger",
        "Interrupted",
        "AsyncInterrupted",
        "AsyncMaximumMessageSize",
        "AsyncMaximumMessageSizeResponse",
        "AsyncInitialize",
        "AsyncInitializeResponse",
        "AsyncDeviceClear",
        "AsyncServiceRequest",
        "AsyncStatusQuery",
        "AsyncStatusResponse",
        "AsyncDeviceClearAcknowledge",
        "AsyncLockInfo",
        "AsyncLockInfoResponse",
    };
    const auto index = static_cast<uint8_t>(type);
    return index <= kLastDefinedType ? kNames[index] : "unknown message";
}

void EncodeHeader(const Header& header, uint8_t out[kHeaderSize]) {
    out[0] = 'H';
    out[1] = 'S';
    out[2] = static_cast<uint8_t>(header.type);
    out[3] = header.control;
    PutBigEndian(header.parameter, 4, out + 4);
    PutBigEndian(header.payload_length, 8, out + 8);
}

std::string Encode(MessageType type, uint8_t control, uint32_t parameter,
                   std::string_view payload) {
    uint8_t header[kHeaderSize];
    EncodeHeader({type, control, parameter, payload.size()}, header);
    std::string bytes;
    bytes.reserve(kHeaderSize + payload.size());
    bytes.append(reinterpret_cast<const char*>(header), kHeaderSize);
    bytes.append(payload);
    return bytes;
}

std::string Encode(const Message& message) {
    return Encode(message.type, message.control, message.parameter, message.payload);
}

HeaderCheck DecodeHeader(const uint8_t* bytes, uint64_t max_payload, Header* out) {
    if (bytes[0] != 'H' || bytes[1] != 'S') {
        return HeaderCheck::kBadPrologue;
    }
    out->type = static_cast<MessageType>(bytes[2]);
    out->control = bytes[3];
    out->parameter = static_cast<uint32_t>(GetBigEndian(bytes + 4, 4));
    out->payload_length = GetBigEndian(bytes + 8, 8);
    return out->payload_length > max_payload ? HeaderCheck::kPayloadTooLarge : HeaderCheck::kValid;
}

void MessageReader::Append(const void* data, size_t size) {
    std::memcpy(Room(size), data, size);
    Commit(size);
}

char* MessageReader::Room(size_t wanted) {
    if (start_ > 0 && start_ == filled_) {
        start_ = filled_ = 0;  // everything taken: start over at the front
    } else if (start_ > 0 && buffer_.size() - filled_ < wanted) {
        buffer_.erase(0, start_);  // make room by dropping what was taken
        filled_ -= start_;
        start_ = 0;
    }
    if (buffer_.size() - filled_ < wanted) {
        buffer_.resize(filled_ + wanted);
    }
    return buffer_.data() + filled_;
}

void MessageReader::Commit(size_t n) {
    filled_ = std::min(filled_ + n, buffer_.size());
}

MessageReader::Next MessageReader::Take(Message* out) {
    if (check_ != HeaderCheck::kValid) {
        return Next::kMalformed;
    }
    if (filled_ - start_ < kHeaderSize) {
        return Next::kNeedMore;
    }
    const auto* bytes = reinterpret_cast<const uint8_t*>(buffer_.data() + start_);
    Header header;
    check_ = DecodeHeader(bytes, max_payload_, &header);
    if (check_ != HeaderCheck::kValid) {
        return Next::kMalformed;
    }
    // The payload fits in memory: max_payload bounds it.
    const auto payload_length = static_cast<size_t>(header.payload_length);
    if (filled_ - start_ - kHeaderSize < payload_length) {
        return Next::kNeedMore;
    }
    out->type = header.type;
    out->control = header.control;
    out->parameter = header.parameter;
    out->payload.assign(buffer_.data() + start_ + kHeaderSize, payload_length);
    start_ += kHeaderSize + payload_length;
    return Next::kMessage;
}

size_t MessageReader::buffered() const {
    return filled_ - start_;
}

void MessageReader::Clear() {
    start_ = filled_ = 0;
    check_ = HeaderCheck::kValid;
}

uint32_t InitializeParameter(uint16_t version, std::string_view vendor_id) {
    const auto first = static_cast<uint8_t>(vendor_id.size() > 0 ? vendor_id[0] : ' ');
    const auto second = static_cast<uint8_t>(vendor_id.size() > 1 ? vendor_id[1] : ' ');
    return (static_cast<uint32_t>(version) << 16) | (static_cast<uint32_t>(first) << 8) | second;
}

uint32_t InitializeResponseParameter(uint16_t version, uint16_t session_id) {
    return (static_cast<uint32_t>(version) << 16) | session_id;
}

std::string EncodeSize(uint64_t size) {
    uint8_t bytes[8];
    PutBigEndian(size, 8, bytes);
    return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

std::optional<uint64_t> DecodeSize(std::string_view payload) {
    if (payload.size() != 8) {
        return std::nullopt;
    }
    return GetBigEndian(reinterpret_cast<const uint8_t*>(payload.data()), 8);
}

}  // namespace tevo::visa::hislip

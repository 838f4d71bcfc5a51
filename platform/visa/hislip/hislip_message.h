// HiSLIP (IVI-6.1) messages on the wire: the 16-byte header, the message types, the
// payload layouts of the few messages that carry numbers, and a reader that cuts a byte
// stream into whole messages. Client (the VISA library) and server (the emulator's gateway)
// share this one codec; it uses only the C++ standard library.
//
// Header, network byte order:
//   offset 0  2 bytes  prologue "HS"
//          2  1 byte   message type
//          3  1 byte   control code
//          4  4 bytes  message parameter
//          8  8 bytes  payload length
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tevo::visa::hislip {

inline constexpr size_t kHeaderSize = 16;
inline constexpr uint16_t kDefaultPort = 4880;
// Protocol version 1.0 (major in the high byte).
inline constexpr uint16_t kProtocolVersion = 0x0100;
// MessageIDs start here and advance by 2 per Data, DataEnd or Trigger message sent; they
// restart here after a device clear.
inline constexpr uint32_t kFirstMessageId = 0xFFFFFF00u;
// The maximum message size each side assumes until the sizes are exchanged.
inline constexpr uint64_t kDefaultMaxMessageSize = 1u << 20;

enum class MessageType : uint8_t {
    kInitialize = 0,
    kInitializeResponse = 1,
    kFatalError = 2,
    kError = 3,
    kAsyncLock = 4,
    kAsyncLockResponse = 5,
    kData = 6,
    kDataEnd = 7,
    kDeviceClearComplete = 8,
    kDeviceClearAcknowledge = 9,
    kAsyncRemoteLocalControl = 10,
    kAsyncRemoteLocalResponse = 11,
    kTrigger = 12,
    kInterrupted = 13,
    kAsyncInterrupted = 14,
    kAsyncMaximumMessageSize = 15,
    kAsyncMaximumMessageSizeResponse = 16,
    kAsyncInitialize = 17,
    kAsyncInitializeResponse = 18,
    kAsyncDeviceClear = 19,
    kAsyncServiceRequest = 20,
    kAsyncStatusQuery = 21,
    kAsyncStatusResponse = 22,
    kAsyncDeviceClearAcknowledge = 23,
    kAsyncLockInfo = 24,
    kAsyncLockInfoResponse = 25,
};
// Types above this are not defined by the protocol (128 and up are vendor-specific).
inline constexpr uint8_t kLastDefinedType = 25;

const char* TypeName(MessageType type);

// Control codes.
inline constexpr uint8_t kRmtDelivered = 1;        // Data/DataEnd/AsyncStatusQuery, bit 0
inline constexpr uint8_t kOverlapMode = 1;         // InitializeResponse, feature bits, bit 0
inline constexpr uint8_t kLockRelease = 0;         // AsyncLock
inline constexpr uint8_t kLockRequest = 1;         // AsyncLock
inline constexpr uint8_t kLockFailure = 0;         // AsyncLockResponse to a request
inline constexpr uint8_t kLockSuccess = 1;         // request granted; exclusive lock released
inline constexpr uint8_t kLockSharedReleased = 2;  // AsyncLockResponse to a release
inline constexpr uint8_t kLockError = 3;           // AsyncLockResponse: the request was invalid

// Error codes of FatalError messages ...
inline constexpr uint8_t kFatalUnidentified = 0;
inline constexpr uint8_t kFatalBadHeader = 1;
inline constexpr uint8_t kFatalChannelsNotEstablished = 2;
inline constexpr uint8_t kFatalInvalidInitialization = 3;
inline constexpr uint8_t kFatalTooManyClients = 4;
// ... and of Error messages.
inline constexpr uint8_t kErrorUnidentified = 0;
inline constexpr uint8_t kErrorUnrecognizedType = 1;
inline constexpr uint8_t kErrorUnrecognizedControl = 2;
inline constexpr uint8_t kErrorUnrecognizedVendorMessage = 3;
inline constexpr uint8_t kErrorMessageTooLarge = 4;

struct Header {
    MessageType type = MessageType::kData;
    uint8_t control = 0;
    uint32_t parameter = 0;
    uint64_t payload_length = 0;
};

struct Message {
    MessageType type = MessageType::kData;
    uint8_t control = 0;
    uint32_t parameter = 0;
    std::string payload;
};

void EncodeHeader(const Header& header, uint8_t out[kHeaderSize]);
// Header and payload as one byte string, ready for a single send.
std::string Encode(MessageType type, uint8_t control, uint32_t parameter,
                   std::string_view payload = {});
std::string Encode(const Message& message);

enum class HeaderCheck { kValid, kBadPrologue, kPayloadTooLarge };
// Decodes 16 header bytes. A header whose payload exceeds max_payload is refused, as the
// peer would otherwise make the reader hold any amount of memory.
HeaderCheck DecodeHeader(const uint8_t* bytes, uint64_t max_payload, Header* out);

// Cuts a byte stream into messages. Input may arrive in pieces of any size.
class MessageReader {
  public:
    explicit MessageReader(uint64_t max_payload = kDefaultMaxMessageSize)
        : max_payload_(max_payload) {}

    void SetMaxPayload(uint64_t max_payload) { max_payload_ = max_payload; }
    uint64_t max_payload() const { return max_payload_; }

    void Append(const void* data, size_t size);
    // Room for at least `wanted` more bytes to be received into directly; Commit(n)
    // appends n bytes written there.
    char* Room(size_t wanted);
    void Commit(size_t n);

    enum class Next {
        kMessage,   // *out holds the next message
        kNeedMore,  // no whole message is buffered
        kMalformed  // the stream is broken (header_check() says how); nothing more is taken
    };
    Next Take(Message* out);
    HeaderCheck header_check() const { return check_; }
    // Bytes received and not yet taken as messages.
    size_t buffered() const;
    void Clear();

  private:
    std::string buffer_;  // data, then room to receive into
    size_t start_ = 0;    // first byte not yet taken
    size_t filled_ = 0;   // end of the data
    uint64_t max_payload_;
    HeaderCheck check_ = HeaderCheck::kValid;
};

// Payload and parameter layouts.
// Initialize: the client's protocol version (high 16 bits) and vendor id (two ASCII
// letters, low 16 bits).
uint32_t InitializeParameter(uint16_t version, std::string_view vendor_id);
// InitializeResponse: the server's protocol version (high 16 bits), the session id (low).
uint32_t InitializeResponseParameter(uint16_t version, uint16_t session_id);
inline uint16_t HighHalf(uint32_t parameter) {
    return static_cast<uint16_t>(parameter >> 16);
}
inline uint16_t LowHalf(uint32_t parameter) {
    return static_cast<uint16_t>(parameter & 0xFFFFu);
}
// AsyncMaximumMessageSize and its response: an unsigned 64-bit size, big-endian.
std::string EncodeSize(uint64_t size);
std::optional<uint64_t> DecodeSize(std::string_view payload);

}  // namespace tevo::visa::hislip

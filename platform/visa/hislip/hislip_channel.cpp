#include "hislip/hislip_channel.h"

#include <cstring>

namespace tevo::visa::hislip {
namespace {

constexpr size_t kReceiveChunk = 64 * 1024;

}  // namespace

ViStatus HislipChannel::Connect(const std::string& host, ViUInt16 port, const Deadline& deadline,
                                std::string* detail) {
    reader_.Clear();
    return connection_.Connect(host, port, deadline, detail);
}

void HislipChannel::Disconnect() {
    connection_.Disconnect();
    reader_.Clear();
}

ViStatus HislipChannel::Send(MessageType type, uint8_t control, uint32_t parameter,
                             const void* payload, size_t payload_length, const Deadline& deadline,
                             std::string* detail, size_t* sent) {
    uint8_t header[kHeaderSize];
    EncodeHeader({type, control, parameter, payload_length}, header);
    size_t bytes_sent = 0;
    const ViStatus status =
        connection_.SendAll(header, kHeaderSize, static_cast<const ViByte*>(payload),
                            payload_length, deadline, &bytes_sent, detail);
    if (sent != nullptr) {
        *sent = bytes_sent > kHeaderSize ? bytes_sent - kHeaderSize : 0;
    }
    if (status != VI_SUCCESS && bytes_sent > 0 && connection_.IsOpen()) {
        // Part of a message is on the wire: the peer would read whatever comes next as its
        // rest, so the stream is beyond repair.
        *detail = "A HiSLIP message was cut off by the time-out; the connection was closed.";
        Disconnect();
    }
    return status;
}

bool HislipChannel::Pull(std::string* detail) {
    while (true) {
        char* room = reader_.Room(kReceiveChunk);
        int error = 0;
        const ssize_t received =
            connection_.ReceiveSome(reinterpret_cast<ViByte*>(room), kReceiveChunk, &error);
        if (received < 0) {
            *detail = error == 0 ? "The instrument closed the HiSLIP connection."
                                 : std::string("The HiSLIP connection was reset (") +
                                       std::strerror(error) + ").";
            return false;
        }
        reader_.Commit(static_cast<size_t>(received));
        if (static_cast<size_t>(received) < kReceiveChunk) {
            return true;
        }
    }
}

ViStatus HislipChannel::Receive(const Deadline& deadline, Message* out, std::string* detail) {
    while (true) {
        switch (reader_.Take(out)) {
            case MessageReader::Next::kMessage:
                return VI_SUCCESS;
            case MessageReader::Next::kMalformed:
                *detail = reader_.header_check() == HeaderCheck::kBadPrologue
                              ? "The instrument sent a message that is not HiSLIP."
                              : "The instrument sent a HiSLIP message larger than agreed.";
                Disconnect();
                return VI_ERROR_CONN_LOST;
            case MessageReader::Next::kNeedMore:
                break;
        }
        if (!connection_.IsOpen()) {
            *detail = "The HiSLIP session is not connected.";
            return VI_ERROR_CONN_LOST;
        }
        if (const ViStatus waited = TcpConnection::WaitStatus(connection_.WaitReadable(deadline));
            waited != VI_SUCCESS) {
            return waited;
        }
        if (!Pull(detail)) {
            // What arrived before the end is still delivered; then the loss is reported.
            if (reader_.Take(out) == MessageReader::Next::kMessage) {
                return VI_SUCCESS;
            }
            Disconnect();
            return VI_ERROR_CONN_LOST;
        }
    }
}

}  // namespace tevo::visa::hislip

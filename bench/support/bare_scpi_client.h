// The physical limit of the SOCKET path: a client that sends SCPI messages over a plain
// blocking TCP socket (TCP_NODELAY, one send per message) and reads replies straight into a
// buffer it keeps, with no layer between it and the kernel. A reply is a line ending in a
// line feed, or an IEEE 488.2 definite-length block ("#<n><length><data>") and the line
// feed after it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tevo::bench {

class BareScpiClient {
  public:
    // Connects to 127.0.0.1:port. Throws std::system_error.
    explicit BareScpiClient(uint16_t port);
    ~BareScpiClient();
    BareScpiClient(const BareScpiClient&) = delete;
    BareScpiClient& operator=(const BareScpiClient&) = delete;

    // Sends the message and its line feed. Throws std::runtime_error on failure.
    void Send(std::string_view message);
    // Reads one reply (a line or a block with its line feed); returns the bytes of the reply
    // without the line feed, valid until the next read. Throws std::runtime_error when the
    // connection fails or closes, or the reply does not arrive within the socket's time-out.
    std::string_view ReadReply();
    // Send, then ReadReply.
    std::string_view Query(std::string_view message);

  private:
    // Makes at least count unread bytes available in the buffer.
    void Fill(size_t count);

    int fd_ = -1;
    std::string outgoing_;
    std::vector<char> buffer_;
    size_t begin_ = 0;  // first unread byte
    size_t end_ = 0;    // one past the last received byte
};

// Whether the message is a query: its program header (up to the first blank) holds a '?',
// in any of its ';'-separated units.
bool IsQuery(std::string_view message);

// Sends the messages in order as a VISA client does: each query's reply is read before the
// next message goes out. Returns the total bytes of the replies.
size_t Replay(BareScpiClient& client, const std::vector<std::string>& messages);

}  // namespace tevo::bench

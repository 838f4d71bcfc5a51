// Splits the byte stream of a connection into program messages. A message ends with a
// line feed (a carriage return before it is dropped). IEEE 488.2 definite-length blocks
// ("#<n><length><bytes>") are skipped by their length, so a 0x0A inside block data does
// not end the message; a '#' inside a quoted string is not a block.
#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>

namespace tevo::emulator::scpi {

class MessageFramer {
  public:
    // Messages longer than max_message_bytes are dropped up to their terminator and
    // reported as overrun.
    explicit MessageFramer(size_t max_message_bytes = 1u << 20);

    struct Message {
        std::string text;      // without the terminator
        bool overrun = false;  // the message was too long: text is empty
    };

    void Append(std::string_view bytes);
    // Takes the next complete message. False when no complete message is buffered.
    bool Next(Message& message);
    bool HasComplete() const { return !complete_.empty(); }
    // Bytes of an unfinished message are waiting for their terminator.
    bool HasPartial() const { return !partial_.empty() || discarding_; }
    void Clear();

  private:
    void Scan();
    void Finish(size_t end);

    size_t max_bytes_;
    std::deque<Message> complete_;
    std::string partial_;    // the message being received
    size_t scanned_ = 0;     // bytes of partial_ already scanned
    char quote_ = 0;         // open quote character
    size_t block_left_ = 0;  // block data bytes still to skip
    bool discarding_ = false;
};

}  // namespace tevo::emulator::scpi

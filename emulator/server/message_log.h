// The --log file of the emulator: one line per received message ("<< "), per reply
// (">> ") and per event ("-- "); the lines of a connection start with its number
// ("[2] << *IDN?"). Control characters are escaped, binary blocks are summarised by their
// length, and a line is cut after kMaxTextBytes. The file is kept below a size limit:
// when a line would take it beyond the limit, it is renamed to "<path>.1" (replacing an
// older one) and a new file is started. Should the rename fail, a last line says so and
// logging stops. A path that is not a regular file (a pipe, a terminal) is never renamed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <mutex>
#include <string>
#include <string_view>

namespace tevo::emulator {

class MessageLog {
  public:
    static constexpr size_t kMaxTextBytes = 1024;

    // An empty path logs nothing. Throws std::runtime_error when the file cannot be opened.
    MessageLog(std::string path, uint64_t limit_bytes);

    bool enabled() const;
    void Received(size_t connection, std::string_view message);
    void Replied(size_t connection, std::string_view reply);
    void Event(size_t connection, std::string_view text);
    // An event of the server as a whole.
    void Event(std::string_view text);

    // The printable form of a message or reply as the log shows it.
    static std::string Printable(std::string_view bytes);

  private:
    void Line(size_t connection, std::string_view prefix, std::string text);
    void Write(const std::string& line);
    void Rotate();

    mutable std::mutex mutex_;
    const std::string path_;
    const uint64_t limit_;
    bool rotates_ = false;  // the path names a regular file
    uint64_t size_ = 0;     // bytes in the current file
    std::ofstream stream_;
};

}  // namespace tevo::emulator

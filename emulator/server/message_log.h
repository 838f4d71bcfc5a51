// The --log file of the emulator: one line per received message ("<< ") and per reply
// (">> "), and one per connection event ("-- "). Control characters are escaped, and
// binary blocks are summarised by their length.
#pragma once

#include <fstream>
#include <mutex>
#include <string>
#include <string_view>

namespace tevo::emulator {

class MessageLog {
  public:
    // An empty path logs nothing. Throws std::runtime_error when the file cannot be opened.
    explicit MessageLog(const std::string& path);

    bool enabled() const { return stream_.is_open(); }
    void Received(std::string_view message);
    void Replied(std::string_view reply);
    void Event(std::string_view text);

    // The printable form of a message or reply as the log shows it.
    static std::string Printable(std::string_view bytes);

  private:
    void Line(std::string_view prefix, std::string_view text);

    std::mutex mutex_;
    std::ofstream stream_;
};

}  // namespace tevo::emulator

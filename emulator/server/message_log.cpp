#include "server/message_log.h"

#include <cstdio>
#include <stdexcept>

namespace tevo::emulator {

MessageLog::MessageLog(const std::string& path) {
    if (path.empty())
        return;
    stream_.open(path, std::ios::out | std::ios::app | std::ios::binary);
    if (!stream_)
        throw std::runtime_error("cannot open the log file " + path);
}

std::string MessageLog::Printable(std::string_view bytes) {
    std::string out;
    size_t i = 0;
    while (i < bytes.size()) {
        const char c = bytes[i];
        // A definite-length block: show its header and its length instead of its bytes.
        if (c == '#' && i + 1 < bytes.size() && bytes[i + 1] >= '1' && bytes[i + 1] <= '9') {
            const size_t digits = static_cast<size_t>(bytes[i + 1] - '0');
            if (i + 2 + digits <= bytes.size()) {
                const std::string_view length_text = bytes.substr(i + 2, digits);
                size_t length = 0;
                bool valid = true;
                for (const char d : length_text) {
                    if (d < '0' || d > '9') {
                        valid = false;
                        break;
                    }
                    length = length * 10 + static_cast<size_t>(d - '0');
                }
                if (valid) {
                    const size_t available = std::min(length, bytes.size() - (i + 2 + digits));
                    out += "#" + std::string(1, bytes[i + 1]) + std::string(length_text) + "<" +
                           std::to_string(available) + " bytes>";
                    i += 2 + digits + available;
                    continue;
                }
            }
        }
        const auto u = static_cast<unsigned char>(c);
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\\') {
            out += "\\\\";
        } else if (u < 0x20 || u >= 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof(hex), "\\x%02X", u);
            out += hex;
        } else {
            out.push_back(c);
        }
        ++i;
    }
    return out;
}

void MessageLog::Line(std::string_view prefix, std::string_view text) {
    if (!enabled())
        return;
    std::lock_guard<std::mutex> lock(mutex_);
    stream_ << prefix << text << '\n';
    stream_.flush();
}

void MessageLog::Received(std::string_view message) {
    Line("<< ", Printable(message));
}
void MessageLog::Replied(std::string_view reply) {
    Line(">> ", Printable(reply));
}
void MessageLog::Event(std::string_view text) {
    Line("-- ", text);
}

}  // namespace tevo::emulator

#include "server/message_log.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <utility>

namespace tevo::emulator {

MessageLog::MessageLog(std::string path, uint64_t limit_bytes)
    : path_(std::move(path)), limit_(limit_bytes) {
    if (path_.empty())
        return;
    stream_.open(path_, std::ios::out | std::ios::app | std::ios::binary);
    if (!stream_)
        throw std::runtime_error("cannot open the log file " + path_);
    std::error_code error;
    rotates_ = std::filesystem::is_regular_file(path_, error);
    if (rotates_)
        size_ = std::filesystem::file_size(path_, error);
    if (error)
        size_ = 0;
}

bool MessageLog::enabled() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return stream_.is_open();
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

void MessageLog::Line(size_t connection, std::string_view prefix, std::string text) {
    if (text.size() > kMaxTextBytes) {
        const size_t cut = text.size() - kMaxTextBytes;
        text.resize(kMaxTextBytes);
        text += "<" + std::to_string(cut) + " more characters>";
    }
    std::string line;
    if (connection != 0)
        line = "[" + std::to_string(connection) + "] ";
    line.append(prefix);
    line += text;
    line.push_back('\n');
    std::lock_guard<std::mutex> lock(mutex_);
    Write(line);
}

void MessageLog::Write(const std::string& line) {
    if (!stream_.is_open())
        return;
    if (rotates_ && size_ > 0 && size_ + line.size() > limit_)
        Rotate();
    if (!stream_.is_open())
        return;
    stream_ << line;
    stream_.flush();
    size_ += line.size();
}

void MessageLog::Rotate() {
    stream_.close();
    const std::string older = path_ + ".1";
    if (std::rename(path_.c_str(), older.c_str()) != 0) {
        const std::string reason = std::strerror(errno);
        stream_.open(path_, std::ios::out | std::ios::app | std::ios::binary);
        stream_ << "-- the log reached its limit of " << limit_
                << " bytes and cannot be renamed to " << older << " (" << reason
                << "): logging stops\n";
        stream_.close();
        return;
    }
    stream_.open(path_, std::ios::out | std::ios::trunc | std::ios::binary);
    size_ = 0;
}

void MessageLog::Received(size_t connection, std::string_view message) {
    if (!enabled())
        return;
    Line(connection, "<< ", Printable(message));
}

void MessageLog::Replied(size_t connection, std::string_view reply) {
    if (!enabled())
        return;
    Line(connection, ">> ", Printable(reply));
}

void MessageLog::Event(size_t connection, std::string_view text) {
    Line(connection, "-- ", std::string(text));
}

void MessageLog::Event(std::string_view text) {
    Line(0, "-- ", std::string(text));
}

}  // namespace tevo::emulator

#include "scpi/message_framer.h"

#include <algorithm>

namespace tevo::emulator::scpi {

MessageFramer::MessageFramer(size_t max_message_bytes) : max_bytes_(max_message_bytes) {}

void MessageFramer::Clear() {
    complete_.clear();
    partial_.clear();
    scanned_ = 0;
    quote_ = 0;
    block_left_ = 0;
    discarding_ = false;
}

bool MessageFramer::Next(Message& message) {
    if (complete_.empty())
        return false;
    message = std::move(complete_.front());
    complete_.pop_front();
    return true;
}

void MessageFramer::Append(std::string_view bytes) {
    while (!bytes.empty()) {
        if (discarding_) {
            // An overlong message: drop everything up to its terminator.
            const size_t lf = bytes.find('\n');
            if (lf == std::string_view::npos)
                return;
            complete_.push_back(Message{{}, true});
            discarding_ = false;
            bytes.remove_prefix(lf + 1);
            continue;
        }
        partial_.append(bytes);
        bytes = {};
        Scan();
        if (!discarding_ && partial_.size() > max_bytes_) {
            // Still no terminator (the scan waits only on the digits of a block header).
            partial_.clear();
            scanned_ = 0;
            quote_ = 0;
            block_left_ = 0;
            discarding_ = true;
        }
    }
}

void MessageFramer::Finish(size_t end) {
    size_t length = end;
    if (length > 0 && partial_[length - 1] == '\r')
        --length;
    complete_.push_back(Message{partial_.substr(0, length), false});
    partial_.erase(0, end + 1);
    scanned_ = 0;
    quote_ = 0;
    block_left_ = 0;
}

void MessageFramer::Scan() {
    size_t i = scanned_;
    // Too long: the message is dropped up to its next terminator (which may already be
    // buffered). Returns false when that terminator has not arrived yet.
    const auto overrun = [&](size_t from) {
        quote_ = 0;
        block_left_ = 0;
        scanned_ = 0;
        const size_t lf = partial_.find('\n', from);
        if (lf == std::string::npos) {
            partial_.clear();
            discarding_ = true;
            return false;
        }
        complete_.push_back(Message{{}, true});
        partial_.erase(0, lf + 1);
        i = 0;
        return true;
    };
    while (i < partial_.size()) {
        if (i > max_bytes_) {
            if (!overrun(i))
                return;
            continue;
        }
        if (block_left_ > 0) {
            const size_t take = std::min(block_left_, partial_.size() - i);
            block_left_ -= take;
            i += take;
            continue;
        }
        const char c = partial_[i];
        if (c == '\n') {
            // The terminator ends the message even inside an open quote: a socket has no
            // other end-of-message indicator. The parser reports the unterminated string.
            Finish(i);
            i = 0;
            continue;
        }
        if (quote_ != 0) {
            if (c == quote_)
                quote_ = 0;
            ++i;
            continue;
        }
        if (c == '\'' || c == '"') {
            quote_ = c;
            ++i;
            continue;
        }
        if (c == '#') {
            if (i + 1 >= partial_.size())
                break;  // wait for the character after '#'
            const char n = partial_[i + 1];
            if (n >= '1' && n <= '9') {
                const size_t digits = static_cast<size_t>(n - '0');
                size_t length = 0;
                bool valid = true;
                size_t k = 0;
                for (; k < digits && i + 2 + k < partial_.size(); ++k) {
                    const char d = partial_[i + 2 + k];
                    if (d < '0' || d > '9') {
                        valid = false;
                        break;
                    }
                    length = std::min(length * 10 + static_cast<size_t>(d - '0'), max_bytes_ + 1);
                }
                if (valid && k < digits)
                    break;  // wait for the rest of the length field
                if (valid && i + 2 + digits + length > max_bytes_) {
                    // The block alone is too long: the message cannot be taken in.
                    if (!overrun(i + 2 + digits))
                        return;
                    continue;
                }
                if (valid) {
                    i += 2 + digits;
                    block_left_ = length;
                    continue;
                }
            }
        }
        ++i;
    }
    scanned_ = i;
}

}  // namespace tevo::emulator::scpi

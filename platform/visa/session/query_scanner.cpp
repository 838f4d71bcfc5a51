#include "session/query_scanner.h"

#include <algorithm>

namespace tevo::visa {

void QueryScanner::Scan(const ViByte* data, size_t length) {
    size_t at = 0;
    while (at < length) {
        const ViByte c = data[at];
        switch (state_) {
            case State::Plain:
                if (c == '?') {
                    saw_query_ = true;
                } else if (c == '"' || c == '\'') {
                    quote_ = c;
                    state_ = State::Quoted;
                } else if (c == '#') {
                    state_ = State::Hash;
                }
                ++at;
                break;
            case State::Quoted:
                // A doubled quote inside a string closes and reopens it: same result.
                if (c == quote_) {
                    state_ = State::Plain;
                }
                ++at;
                break;
            case State::Hash:
                if (c >= '1' && c <= '9') {
                    length_digits_left_ = c - '0';
                    block_left_ = 0;
                    state_ = State::LengthDigits;
                    ++at;
                } else {
                    state_ = State::Plain;  // "#H1F", "#0..." : look at this byte as plain text
                }
                break;
            case State::LengthDigits:
                if (c >= '0' && c <= '9') {
                    block_left_ = block_left_ * 10 + static_cast<uint64_t>(c - '0');
                    ++at;
                    if (--length_digits_left_ == 0) {
                        state_ = block_left_ == 0 ? State::Plain : State::BlockData;
                    }
                } else {
                    state_ = State::Plain;
                }
                break;
            case State::BlockData: {
                const uint64_t skip = std::min<uint64_t>(block_left_, length - at);
                at += static_cast<size_t>(skip);
                block_left_ -= skip;
                if (block_left_ == 0) {
                    state_ = State::Plain;
                }
                break;
            }
        }
    }
}

}  // namespace tevo::visa

#include "transport/reply_framer.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace tevo::visa {
namespace {

constexpr ViByte kLineFeed = 0x0A;

bool IsDigit(ViByte c) {
    return c >= '0' && c <= '9';
}

}  // namespace

FrameStep ReplyFramer::Transfer(const ViByte* input, size_t input_length, ViByte* output,
                                size_t output_room, ViUInt8 termchar, bool termchar_enabled) {
    FrameStep step;
    size_t at = 0;
    // Header bytes are delivered one by one as they are recognised; should the header turn
    // out not to be one, the reply goes on as text from the byte that ended it.
    auto room_left = [&] { return output_room - step.delivered; };
    auto deliver_one = [&] {
        if (output != nullptr) {
            output[step.delivered] = input[at];
        }
        ++step.delivered;
        ++at;
    };
    auto deliver = [&](size_t n) {
        if (output != nullptr) {
            std::memcpy(output + step.delivered, input + at, n);
        }
        step.delivered += n;
        at += n;
    };
    while (true) {
        const size_t available = input_length - at;
        switch (state_) {
            case State::Start:
                if (available == 0) {
                    step.consumed = at;
                    return step;
                }
                if (drop_late_lf_) {
                    drop_late_lf_ = false;
                    if (input[at] == kLineFeed) {
                        ++at;  // the line feed of the block read before
                        continue;
                    }
                }
                if (input[at] != '#') {
                    state_ = State::Text;
                    continue;
                }
                if (room_left() == 0) {
                    step.end = ReplyEnd::CountReached;
                    step.consumed = at;
                    return step;
                }
                deliver_one();
                state_ = State::Hash;
                continue;

            case State::Hash:
                if (room_left() == 0) {
                    step.end = ReplyEnd::CountReached;
                    step.consumed = at;
                    return step;
                }
                if (available == 0) {
                    step.consumed = at;
                    return step;
                }
                if (input[at] < '1' || input[at] > '9') {
                    state_ = State::Text;  // "#0", "#H..." and the like are ordinary text
                    continue;
                }
                length_digits_left_ = input[at] - '0';
                block_left_ = 0;
                deliver_one();
                state_ = State::LengthDigits;
                continue;

            case State::LengthDigits:
                if (room_left() == 0) {
                    step.end = ReplyEnd::CountReached;
                    step.consumed = at;
                    return step;
                }
                if (available == 0) {
                    step.consumed = at;
                    return step;
                }
                if (!IsDigit(input[at])) {
                    state_ = State::Text;
                    continue;
                }
                block_left_ = block_left_ * 10 + static_cast<uint64_t>(input[at] - '0');
                deliver_one();
                if (--length_digits_left_ == 0) {
                    state_ = block_left_ == 0 ? State::BlockTail : State::BlockData;
                }
                continue;

            case State::BlockData: {
                if (room_left() == 0) {
                    step.end = ReplyEnd::CountReached;
                    step.consumed = at;
                    return step;
                }
                if (available == 0) {
                    step.consumed = at;
                    return step;
                }
                const size_t n = static_cast<size_t>(
                    std::min<uint64_t>(block_left_, std::min(available, room_left())));
                deliver(n);
                CountBlockBytes(n);
                continue;
            }

            case State::BlockTail:
                if (available == 0) {
                    step.consumed = at;  // the caller decides whether to look further
                    return step;
                }
                state_ = State::Start;
                step.end = ReplyEnd::Block;
                if (input[at] == kLineFeed) {
                    if (room_left() > 0) {
                        deliver_one();
                        step.end = ReplyEnd::BlockWithLf;
                    } else {
                        ++at;  // the block filled the caller's count: drop its line feed
                    }
                }
                step.consumed = at;
                return step;

            case State::Text: {
                if (room_left() == 0) {
                    step.end = ReplyEnd::CountReached;
                    step.consumed = at;
                    return step;
                }
                if (available == 0) {
                    step.consumed = at;
                    return step;
                }
                size_t n = std::min(available, room_left());
                bool ends = false;
                if (termchar_enabled) {
                    const void* found = std::memchr(input + at, termchar, n);
                    if (found != nullptr) {
                        n = static_cast<size_t>(static_cast<const ViByte*>(found) - (input + at)) +
                            1;
                        ends = true;
                    }
                }
                deliver(n);
                if (ends) {
                    state_ = State::Start;
                    step.end = ReplyEnd::TermChar;
                    step.consumed = at;
                    return step;
                }
                continue;
            }
        }
    }
}

ReplyEnd ReplyFramer::EndBlockWithoutLf() {
    state_ = State::Start;
    drop_late_lf_ = true;
    return ReplyEnd::Block;
}

void ReplyFramer::CountBlockBytes(uint64_t n) {
    block_left_ -= std::min(n, block_left_);
    if (block_left_ == 0) {
        state_ = State::BlockTail;
    }
}

void ReplyFramer::AbandonReply() {
    if (state_ != State::Start) {
        discarding_ = true;
    }
}

size_t ReplyFramer::Discard(const ViByte* input, size_t input_length, ViUInt8 termchar,
                            bool termchar_enabled) {
    if (!discarding_) {
        return 0;
    }
    const FrameStep step =
        Transfer(input, input_length, nullptr, SIZE_MAX, termchar, termchar_enabled);
    if (step.end != ReplyEnd::None) {
        discarding_ = false;
    } else if (state_ == State::BlockTail) {
        // The block is complete; a line feed that comes later is owed as after any block.
        EndBlockWithoutLf();
        discarding_ = false;
    } else if (state_ == State::Text && !termchar_enabled) {
        state_ = State::Start;  // all input was taken: nothing marks where the reply ends
        discarding_ = false;
    }
    return step.consumed;
}

void ReplyFramer::Reset() {
    state_ = State::Start;
    length_digits_left_ = 0;
    block_left_ = 0;
    drop_late_lf_ = false;
    discarding_ = false;
}

}  // namespace tevo::visa

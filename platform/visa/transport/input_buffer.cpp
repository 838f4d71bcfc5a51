#include "transport/input_buffer.h"

#include <algorithm>
#include <cstring>

namespace tevo::visa {
namespace {

// An emptied buffer larger than this gives its memory back: a burst of unread input must
// not pin megabytes for the life of the session.
constexpr size_t kRetainedCapacity = 256 * 1024;

}  // namespace

ViByte* InputBuffer::Room(size_t wanted) {
    if (capacity_ - tail_ >= wanted) {
        return storage_.get() + tail_;
    }
    const size_t size = Size();
    if (capacity_ - size >= wanted && size <= head_) {
        // Enough room once the data moves to the front, and moving it is cheap: it is no
        // larger than what was already consumed.
        std::memmove(storage_.get(), storage_.get() + head_, size);
    } else {
        const size_t capacity = std::max(capacity_ * 2, size + wanted);
        // Default-initialised: the room is written by receives, never read before that.
        std::unique_ptr<ViByte[]> grown(new ViByte[capacity]);
        if (size > 0) {
            std::memcpy(grown.get(), storage_.get() + head_, size);
        }
        storage_ = std::move(grown);
        capacity_ = capacity;
    }
    head_ = 0;
    tail_ = size;
    return storage_.get() + tail_;
}

void InputBuffer::Drop(size_t n) {
    head_ += std::min(n, Size());
    if (head_ == tail_) {
        head_ = 0;
        tail_ = 0;
        if (capacity_ > kRetainedCapacity) {
            storage_.reset();
            capacity_ = 0;
        }
    }
}

}  // namespace tevo::visa

// Where formatted text goes: the caller's buffer of a fixed capacity, of which only what
// fits is written, while the full length of the text is counted. Nothing is allocated, so
// a huge field width costs no memory.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string_view>

namespace tevo::win::crt {

template <class Char>
class OutputSink {
  public:
    // `buffer` may be null when `capacity` is 0 (only counting).
    OutputSink(Char* buffer, size_t capacity) : buffer_(buffer), capacity_(capacity) {}

    void Put(std::basic_string_view<Char> text) {
        const size_t fits = Room(text.size());
        if (fits > 0) {
            std::copy_n(text.data(), fits, buffer_ + length_);
        }
        length_ += text.size();
    }

    void Repeat(Char c, size_t count) {
        const size_t fits = Room(count);
        if (fits > 0) {
            std::fill_n(buffer_ + length_, fits, c);
        }
        length_ += count;
    }

    // The length of all text put so far, written or not.
    size_t length() const { return length_; }

  private:
    size_t Room(size_t wanted) const {
        return length_ < capacity_ ? std::min(wanted, capacity_ - length_) : 0;
    }

    Char* buffer_;
    size_t capacity_;
    size_t length_ = 0;
};

}  // namespace tevo::win::crt

// Bytes received from the network and not yet taken by a read. Receives write straight
// into the buffer's free room, which is never zero-filled, and the memory is kept from one
// reply to the next, so a query costs no allocation once the buffer has its working size.
#pragma once

#include <cstddef>
#include <memory>

#include "tevo/visa.h"

namespace tevo::visa {

class InputBuffer {
  public:
    const ViByte* Data() const { return storage_.get() + head_; }
    size_t Size() const { return tail_ - head_; }

    // Free room for at least `wanted` bytes after the data; the data moves to the front
    // or into a larger allocation first when needed. Throws std::bad_alloc.
    ViByte* Room(size_t wanted);
    size_t RoomSize() const { return capacity_ - tail_; }
    // Appends n bytes written into the room.
    void Commit(size_t n) { tail_ += n; }

    // Drops n bytes from the front (all of them when n is larger).
    void Drop(size_t n);
    void Clear() { Drop(Size()); }

  private:
    std::unique_ptr<ViByte[]> storage_;
    size_t capacity_ = 0;
    size_t head_ = 0;
    size_t tail_ = 0;
};

}  // namespace tevo::visa

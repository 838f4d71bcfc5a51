// Tells whether a message sent to an instrument asks for a reply: an IEEE 488.2 program
// message is a query when one of its headers ends with "?". A "?" inside a quoted string
// or inside the data of a definite-length block does not count. A message may be written
// in several pieces; the scanner keeps its place between them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tevo/visa.h"

namespace tevo::visa {

class QueryScanner {
  public:
    void Scan(const ViByte* data, size_t length);
    bool SawQuery() const { return saw_query_; }
    // Starts a new message.
    void Reset() { *this = QueryScanner(); }

  private:
    enum class State { Plain, Quoted, Hash, LengthDigits, BlockData };

    State state_ = State::Plain;
    ViByte quote_ = 0;
    int length_digits_left_ = 0;
    uint64_t block_left_ = 0;
    bool saw_query_ = false;
};

}  // namespace tevo::visa

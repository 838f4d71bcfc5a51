// One absolute deadline per VISA operation: computed once when the call starts, and every
// wait inside the call gets only the time left to it.
#pragma once

#include <chrono>

#include "tevo/visa.h"

namespace tevo::visa {

class Deadline {
  public:
    using Clock = std::chrono::steady_clock;

    // VI_TMO_INFINITE gives a deadline that never passes; VI_TMO_IMMEDIATE one that has
    // already passed (a wait then only looks at what is there).
    static Deadline AfterMilliseconds(ViUInt32 milliseconds);
    static Deadline Never() { return Deadline(true, Clock::time_point::max()); }
    static Deadline At(Clock::time_point when) { return Deadline(false, when); }

    bool IsInfinite() const { return infinite_; }
    bool HasPassed() const { return !infinite_ && Clock::now() >= when_; }
    Clock::time_point When() const { return when_; }

    // The time-out argument for poll(): -1 when infinite, 0 when passed, otherwise the time
    // left rounded up to whole milliseconds (so that a wait never ends before the deadline).
    int PollMilliseconds() const;

    // The earlier of two deadlines.
    static Deadline Earlier(const Deadline& a, const Deadline& b);

  private:
    Deadline(bool infinite, Clock::time_point when) : infinite_(infinite), when_(when) {}

    bool infinite_;
    Clock::time_point when_;
};

}  // namespace tevo::visa

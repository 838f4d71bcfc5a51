#include "transport/deadline.h"

#include <climits>

namespace tevo::visa {

Deadline Deadline::AfterMilliseconds(ViUInt32 milliseconds) {
    if (milliseconds == VI_TMO_INFINITE) {
        return Never();
    }
    return Deadline(false, Clock::now() + std::chrono::milliseconds(milliseconds));
}

int Deadline::PollMilliseconds() const {
    if (infinite_) {
        return -1;
    }
    const Clock::duration left = when_ - Clock::now();
    if (left <= Clock::duration::zero()) {
        return 0;
    }
    const auto rounded_up = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return rounded_up > INT_MAX ? INT_MAX : static_cast<int>(rounded_up);
}

Deadline Deadline::Earlier(const Deadline& a, const Deadline& b) {
    if (a.infinite_) {
        return b;
    }
    if (b.infinite_) {
        return a;
    }
    return a.when_ <= b.when_ ? a : b;
}

}  // namespace tevo::visa

#include "server/clock.h"

namespace tevo::emulator {

Clock::Clock(bool manual) : manual_(manual), origin_(std::chrono::steady_clock::now()) {}

double Clock::Now() const {
    if (manual_)
        return manual_now_.load();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - origin_).count();
}

void Clock::Advance(double seconds) {
    double now = manual_now_.load();
    while (!manual_now_.compare_exchange_weak(now, now + seconds)) {
    }
}

}  // namespace tevo::emulator

// The emulator's clock in seconds: real (monotonic) time since construction, or manual
// time that stands still until it is moved forward.
#pragma once

#include <atomic>
#include <chrono>

namespace tevo::emulator {

class Clock {
  public:
    explicit Clock(bool manual);

    bool manual() const { return manual_; }
    double Now() const;
    // Manual clocks only.
    void Advance(double seconds);

  private:
    bool manual_;
    std::chrono::steady_clock::time_point origin_;
    std::atomic<double> manual_now_{0.0};
};

}  // namespace tevo::emulator

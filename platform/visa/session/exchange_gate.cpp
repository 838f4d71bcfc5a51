#include "session/exchange_gate.h"

namespace tevo::visa {

bool ExchangeGate::MayEnter(std::thread::id self) const {
    return !busy_ && (!owner_ || *owner_ == self || lease_.HasPassed());
}

ViStatus ExchangeGate::Enter(const Deadline& deadline, bool* took_over) {
    if (took_over != nullptr) {
        *took_over = false;
    }
    const std::thread::id self = std::this_thread::get_id();
    std::unique_lock<std::mutex> lock(mutex_);
    while (true) {
        if (closed_) {
            return VI_ERROR_INV_OBJECT;
        }
        if (MayEnter(self)) {
            break;
        }
        // Wake at the caller's deadline, or when another thread's lease runs out.
        const Deadline wake = (!busy_ && owner_) ? Deadline::Earlier(deadline, lease_) : deadline;
        if (wake.IsInfinite()) {
            changed_.wait(lock);
        } else {
            changed_.wait_until(lock, wake.When());
        }
        if (!closed_ && !MayEnter(self) && deadline.HasPassed()) {
            return VI_ERROR_TMO;
        }
    }
    busy_ = true;
    if (owner_ && *owner_ != self) {
        owner_.reset();  // the other thread's lease has run out
        if (took_over != nullptr) {
            *took_over = true;
        }
    }
    return VI_SUCCESS;
}

void ExchangeGate::Leave(bool reserve, const Deadline& lease) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        busy_ = false;
        if (reserve) {
            owner_ = std::this_thread::get_id();
            lease_ = lease;
        } else {
            owner_.reset();
        }
    }
    changed_.notify_all();
}

void ExchangeGate::CloseAndWaitIdle() {
    std::unique_lock<std::mutex> lock(mutex_);
    closed_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return !busy_; });
}

}  // namespace tevo::visa

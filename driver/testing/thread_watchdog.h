// Helpers of the driver's concurrency tests: tasks run on their own threads under a
// watchdog that fails the test instead of letting a deadlock hang it, and a one-shot signal
// to hand control from one thread to another.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace tevo::driver::testing {

inline constexpr std::chrono::seconds kWatchdogLimit{20};

// A flag that one thread raises and others wait for, with a time limit.
class Signal {
  public:
    void Raise() {
        std::lock_guard<std::mutex> lock(mutex_);
        raised_ = true;
        changed_.notify_all();
    }
    // False when the signal was not raised within `limit`.
    bool Wait(std::chrono::milliseconds limit = kWatchdogLimit) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, limit, [this] { return raised_; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool raised_ = false;
};

// Threads started one by one and joined under a watchdog. JoinWithin waits up to a limit
// for all of them: when they have finished they are joined; otherwise they are detached,
// since a deadlock cannot be broken from outside, and false is returned so that the test
// fails instead of hanging. Tasks must therefore own what they use (capture shared_ptr and
// COM pointers by value), which then stays alive with the stuck threads.
class WatchedThreads {
  public:
    WatchedThreads() = default;
    WatchedThreads(const WatchedThreads&) = delete;
    WatchedThreads& operator=(const WatchedThreads&) = delete;
    ~WatchedThreads() {
        if (!threads_.empty()) {
            EXPECT_TRUE(JoinWithin(kWatchdogLimit)) << "threads still running at the end";
        }
    }

    void Start(std::function<void()> task) {
        threads_.emplace_back([completion = completion_, task = std::move(task)] {
            task();
            std::lock_guard<std::mutex> lock(completion->mutex);
            ++completion->finished;
            completion->changed.notify_all();
        });
    }

    bool JoinWithin(std::chrono::milliseconds limit) {
        bool all_finished = false;
        {
            std::unique_lock<std::mutex> lock(completion_->mutex);
            all_finished = completion_->changed.wait_for(
                lock, limit, [&] { return completion_->finished == threads_.size(); });
        }
        for (std::thread& thread : threads_) {
            if (all_finished) {
                thread.join();
            } else {
                thread.detach();
            }
        }
        threads_.clear();
        completion_ = std::make_shared<Completion>();
        return all_finished;
    }

  private:
    struct Completion {
        std::mutex mutex;
        std::condition_variable changed;
        size_t finished = 0;
    };
    std::shared_ptr<Completion> completion_ = std::make_shared<Completion>();
    std::vector<std::thread> threads_;
};

// Waits up to `limit` for `condition` to hold, checking it every millisecond.
template <class Condition>
bool Eventually(Condition condition, std::chrono::milliseconds limit = kWatchdogLimit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace tevo::driver::testing

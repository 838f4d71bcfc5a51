#include "output/progress_line.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

#include "units/engineering_value.h"

namespace tevo::cli {

void RunWithProgressLine(const std::function<void()>& work, std::ostream& stream,
                         const ProgressLineOptions& options) {
    std::mutex mutex;
    std::condition_variable finished_changed;
    bool finished = false;
    std::exception_ptr failure;
    std::thread worker([&] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        const std::lock_guard<std::mutex> lock(mutex);
        finished = true;
        finished_changed.notify_all();
    });

    const auto started = std::chrono::steady_clock::now();
    size_t shown_width = 0;
    {
        std::unique_lock<std::mutex> lock(mutex);
        if (options.show) {
            finished_changed.wait_until(lock, started + options.delay, [&] { return finished; });
            while (!finished) {
                const std::chrono::duration<double> elapsed =
                    std::chrono::steady_clock::now() - started;
                const std::string line =
                    options.label + "... " + FormatFixed(elapsed.count(), 1) + " s";
                stream << "\r" << line << std::flush;
                shown_width = std::max(shown_width, line.size());
                finished_changed.wait_for(lock, options.interval, [&] { return finished; });
            }
        } else {
            finished_changed.wait(lock, [&] { return finished; });
        }
    }
    worker.join();
    if (shown_width > 0) {
        stream << "\r" << std::string(shown_width, ' ') << "\r" << std::flush;
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
}

}  // namespace tevo::cli

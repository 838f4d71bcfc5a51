// Runs a long call on a worker thread while this thread shows how long it has been running:
// a progress line on standard error, rewritten in place, that appears only when the stream
// is a terminal and the call takes longer than `delay`, and is wiped when the call ends.
#pragma once

#include <chrono>
#include <functional>
#include <ostream>
#include <string>

namespace tevo::cli {

struct ProgressLineOptions {
    bool show = false;  // the stream is a terminal a person watches
    std::chrono::milliseconds delay{1000};
    std::chrono::milliseconds interval{200};
    std::string label = "Sweeping";
};

// Runs `work` on a worker thread and returns when it has ended; an exception thrown by
// `work` is thrown here again. COM objects of threading model Both may be called from the
// worker; the thread's error object stays with the worker, so `work` should turn failures
// into exceptions itself.
void RunWithProgressLine(const std::function<void()>& work, std::ostream& stream,
                         const ProgressLineOptions& options);

}  // namespace tevo::cli

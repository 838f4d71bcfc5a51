// A child process started by this platform, and the kernel objects that stand for it in
// the handle table (not a public header). How children are watched and reaped is described
// in tevo/win/process.h.
#pragma once

#include <sys/types.h>
#include <sys/wait.h>

#include <memory>
#include <mutex>
#include <optional>

#include "tevo/win/sync.h"
#include "tevo/win/types.h"

namespace tevo::win::detail {

class ChildProcess {
  public:
    // How the end of the child is learnt.
    enum class Watch {
        kDescriptor,     // a pidfd: poll() on it, reap without blocking once it is readable
        kWatcherThread,  // a thread blocked in waitpid() for this pid, which wakes the waiters
        kPolled,         // waitpid() without blocking, looked at again and again (last resort)
    };

    // Takes charge of a child of this process that has not been reaped.
    static std::shared_ptr<ChildProcess> Adopt(pid_t pid);
    // Tests use the watcher threads even where pidfds exist, to exercise that way too.
    static void UseWatcherThreadsForTesting(bool use);

    ChildProcess(pid_t pid, int pidfd, Watch watch);
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    // A child still running is left to a background thread that reaps it when it ends.
    ~ChildProcess();

    pid_t pid() const { return pid_; }
    Watch watch() const { return watch_; }

    // Whether the child has ended; reaps it when it has. Never blocks.
    bool HasEnded();
    // Waits for the end (kDescriptor only): true when it ended within the time.
    bool WaitForEnd(DWORD milliseconds);
    // The exit code (see process.h), or nothing while the child runs.
    std::optional<DWORD> ExitCode();
    // Kills the child and makes exit_code its exit code; false when it had already ended.
    bool Terminate(DWORD exit_code);

  private:
    // The body of the watcher thread: waits for the end, records it, wakes the waiters.
    void WatchUntilEnd();
    // Reaps without blocking when the child has ended. Called with mutex_ held.
    void ReapIfEnded();
    // Records how the child ended. Called with mutex_ held.
    void Record(const siginfo_t& info);
    void RecordStatusLost();

    const pid_t pid_;
    const int pidfd_;
    Watch watch_;
    std::mutex mutex_;
    bool ended_ = false;
    DWORD exit_code_ = 0;
    bool terminating_ = false;
    DWORD terminate_code_ = 0;
};

// What process and thread handles have in common: both are signalled when the child ends.
class ChildProcessObject : public KernelObject {
  public:
    explicit ChildProcessObject(std::shared_ptr<ChildProcess> child) : child_(std::move(child)) {}

    bool IsWaitable() const override { return true; }
    bool IsSignaled() const override { return child_->HasEnded(); }
    bool NeedsPolling() const override {
        return child_->watch() != ChildProcess::Watch::kWatcherThread;
    }
    DWORD Wait(DWORD milliseconds) override;

    ChildProcess& child() const { return *child_; }

  private:
    std::shared_ptr<ChildProcess> child_;
};

// A process handle.
class ProcessObject final : public ChildProcessObject {
  public:
    using ChildProcessObject::ChildProcessObject;
};

// The thread handle of a new process: its main thread.
class ProcessThreadObject final : public ChildProcessObject {
  public:
    using ChildProcessObject::ChildProcessObject;
};

}  // namespace tevo::win::detail

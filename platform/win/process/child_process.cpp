// Watching and reaping the children this platform starts, their exit codes, and the
// kernel objects of the handle table that stand for them.
#include "child_process.h"

#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdint>
#include <system_error>
#include <thread>

#include "tevo/win/process.h"

namespace tevo::win::detail {
namespace {

std::atomic<bool> g_use_watcher_threads{false};

// waitid()'s id type for a pidfd (P_PIDFD, Linux 5.4).
constexpr int kPidfdIdType = 3;

int OpenPidfd(pid_t pid) {
#ifdef SYS_pidfd_open
    return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    errno = ENOSYS;
    return -1;
#endif
}

// waitid() for this one child: by its pidfd when there is one, else by its pid.
int WaitForChild(pid_t pid, int pidfd, siginfo_t* info, int options) {
    for (;;) {
        *info = siginfo_t{};
        int result = -1;
        if (pidfd >= 0) {
            result = waitid(static_cast<idtype_t>(kPidfdIdType), static_cast<id_t>(pidfd), info,
                            WEXITED | options);
            if (result != 0 && errno == EINVAL) {  // a kernel with pidfd_open but no P_PIDFD
                pidfd = -1;
                continue;
            }
        } else {
            result = waitid(P_PID, static_cast<id_t>(pid), info, WEXITED | options);
        }
        if (result == 0 || errno != EINTR) {
            return result;
        }
    }
}

bool SendKill(pid_t pid, int pidfd) {
#ifdef SYS_pidfd_send_signal
    if (pidfd >= 0 && syscall(SYS_pidfd_send_signal, pidfd, SIGKILL, nullptr, 0) == 0) {
        return true;
    }
#else
    (void)pidfd;
#endif
    return kill(pid, SIGKILL) == 0;
}

}  // namespace

void ChildProcess::UseWatcherThreadsForTesting(bool use) {
    g_use_watcher_threads = use;
}

std::shared_ptr<ChildProcess> ChildProcess::Adopt(pid_t pid) {
    if (!g_use_watcher_threads) {
        const int pidfd = OpenPidfd(pid);  // close-on-exec by definition
        if (pidfd >= 0) {
            return std::make_shared<ChildProcess>(pid, pidfd, Watch::kDescriptor);
        }
    }
    auto child = std::make_shared<ChildProcess>(pid, -1, Watch::kWatcherThread);
    try {
        // The thread keeps the child alive until it has ended and been reaped.
        std::thread([child] { child->WatchUntilEnd(); }).detach();
    } catch (const std::system_error&) {
        child->watch_ = Watch::kPolled;
    }
    return child;
}

ChildProcess::ChildProcess(pid_t pid, int pidfd, Watch watch)
    : pid_(pid), pidfd_(pidfd), watch_(watch) {}

ChildProcess::~ChildProcess() {
    if (watch_ == Watch::kWatcherThread) {
        return;  // destroyed by the watcher thread itself, after the reaping
    }
    {
        const std::lock_guard<std::mutex> guard(mutex_);
        ReapIfEnded();
        if (ended_) {
            if (pidfd_ >= 0) {
                close(pidfd_);
            }
            return;
        }
    }
    // Still running, and nobody will ask about it again: reap it when it ends.
    const pid_t pid = pid_;
    const int pidfd = pidfd_;
    try {
        std::thread([pid, pidfd] {
            siginfo_t info{};
            WaitForChild(pid, pidfd, &info, 0);
            if (pidfd >= 0) {
                close(pidfd);
            }
        }).detach();
    } catch (const std::system_error&) {
        // No thread to be had: the child stays a zombie after its end.
        if (pidfd >= 0) {
            close(pidfd);
        }
    }
}

bool ChildProcess::HasEnded() {
    const std::lock_guard<std::mutex> guard(mutex_);
    ReapIfEnded();
    return ended_;
}

bool ChildProcess::WaitForEnd(DWORD milliseconds) {
    const auto start = std::chrono::steady_clock::now();
    bool was_readable = false;
    for (;;) {
        if (HasEnded()) {
            return true;
        }
        if (was_readable) {
            // Readable but not yet reapable (an early notice of some kernels when the main
            // thread ends before the others): look again shortly.
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        int timeout = -1;
        if (milliseconds != INFINITE) {
            const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now() - start)
                                     .count();
            if (elapsed >= static_cast<std::int64_t>(milliseconds)) {
                return false;
            }
            timeout = static_cast<int>(
                std::min<std::int64_t>(static_cast<std::int64_t>(milliseconds) - elapsed, INT_MAX));
        }
        pollfd descriptor{pidfd_, POLLIN, 0};
        was_readable = poll(&descriptor, 1, timeout) > 0;
    }
}

std::optional<DWORD> ChildProcess::ExitCode() {
    const std::lock_guard<std::mutex> guard(mutex_);
    ReapIfEnded();
    if (!ended_) {
        return std::nullopt;
    }
    return exit_code_;
}

bool ChildProcess::Terminate(DWORD exit_code) {
    const std::lock_guard<std::mutex> guard(mutex_);
    ReapIfEnded();
    if (ended_) {
        return false;
    }
    if (!SendKill(pid_, pidfd_)) {
        return false;  // gone already (a watcher thread is about to record it)
    }
    terminating_ = true;
    terminate_code_ = exit_code;
    return true;
}

void ChildProcess::WatchUntilEnd() {
    siginfo_t info{};
    const int result = WaitForChild(pid_, -1, &info, 0);
    {
        const std::lock_guard<std::mutex> guard(mutex_);
        if (result == 0) {
            Record(info);
        } else {
            RecordStatusLost();
        }
    }
    NotifyWaiters();
}

void ChildProcess::ReapIfEnded() {
    if (ended_ || watch_ == Watch::kWatcherThread) {
        return;
    }
    siginfo_t info{};
    if (WaitForChild(pid_, pidfd_, &info, WNOHANG) != 0) {
        if (errno == ECHILD) {
            RecordStatusLost();
        }
        return;
    }
    if (info.si_pid != 0) {
        Record(info);
    }
}

void ChildProcess::Record(const siginfo_t& info) {
    switch (info.si_code) {
        case CLD_EXITED:
            // The status byte read back as the signed value it was written as.
            exit_code_ = static_cast<DWORD>(static_cast<LONG>(
                static_cast<std::int8_t>(static_cast<std::uint8_t>(info.si_status & 0xFF))));
            break;
        case CLD_KILLED:
        case CLD_DUMPED:
            exit_code_ = terminating_ && info.si_status == SIGKILL
                             ? terminate_code_
                             : ExitCodeForSignal(info.si_status);
            break;
        default:
            return;  // not an end (only ends are asked for)
    }
    ended_ = true;
}

void ChildProcess::RecordStatusLost() {
    exit_code_ = terminating_ ? terminate_code_ : kSignalExitCodeBase;
    ended_ = true;
}

DWORD ChildProcessObject::Wait(DWORD milliseconds) {
    if (child_->watch() == ChildProcess::Watch::kDescriptor) {
        return child_->WaitForEnd(milliseconds) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
    }
    return KernelObject::Wait(milliseconds);
}

}  // namespace tevo::win::detail

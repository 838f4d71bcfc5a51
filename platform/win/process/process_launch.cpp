// Starting a new process: fork and exec, with every failure in the child reported back
// to the parent through a close-on-exec pipe, so that the caller learns of it as an
// error of its own call rather than as an exit code of a child.
#include "process_launch.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <memory>

#include "child_process.h"
#include "tevo/win/files.h"
#include "tevo/win/lasterror.h"
#include "tevo/win/winerror.h"

extern char** environ;  // NOLINT(readability-redundant-declaration)

namespace tevo::win::detail {
namespace {

// The step at which the child failed, and its errno, as the child reports them.
enum class Step : int { kInput = 1, kDirectory = 2, kExec = 3 };
struct ChildFailure {
    Step step;
    int error;
};

// Everything the child needs, prepared before the fork: after it the child may only make
// async-signal-safe calls.
struct ChildPlan {
    const char* program = nullptr;
    char* const* argv = nullptr;
    char* const* envp = nullptr;
    const char* directory = nullptr;  // null: stay
    int input = -1;                   // to become standard input, or -1
    bool inherit_descriptors = false;
    int descriptor_limit = 0;  // for marking descriptors without close_range
    int report = -1;           // the write end of the report pipe
};

[[noreturn]] void ReportAndExit(int report, Step step) {
    const ChildFailure failure{step, errno};
    ssize_t written = -1;
    do {
        written = write(report, &failure, sizeof failure);
    } while (written < 0 && errno == EINTR);
    _exit(127);
}

// Makes every descriptor above standard error close at exec.
void MarkDescriptorsCloseOnExec(int limit) {
    if (close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) == 0) {
        return;
    }
    for (int fd = 3; fd < limit; ++fd) {
        const int flags = fcntl(fd, F_GETFD);
        if (flags >= 0 && (flags & FD_CLOEXEC) == 0) {
            fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
        }
    }
}

[[noreturn]] void RunChild(const ChildPlan& plan) {
    // A new program starts with default signal dispositions and nothing blocked, whatever
    // this process has set (an ignored SIGPIPE, say).
    struct sigaction default_action {};
    default_action.sa_handler = SIG_DFL;
    sigemptyset(&default_action.sa_mask);
    for (int signal_number = 1; signal_number < NSIG; ++signal_number) {
        sigaction(signal_number, &default_action, nullptr);
    }
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);

    if (plan.input >= 0) {
        if (plan.input == STDIN_FILENO ? fcntl(STDIN_FILENO, F_SETFD, 0) != 0
                                       : dup2(plan.input, STDIN_FILENO) < 0) {
            ReportAndExit(plan.report, Step::kInput);
        }
    }
    if (plan.directory != nullptr && chdir(plan.directory) != 0) {
        ReportAndExit(plan.report, Step::kDirectory);
    }
    if (!plan.inherit_descriptors) {
        MarkDescriptorsCloseOnExec(plan.descriptor_limit);
    }
    execve(plan.program, plan.argv, plan.envp);
    ReportAndExit(plan.report, Step::kExec);
}

DWORD ErrorOf(const ChildFailure& failure) {
    if (failure.step == Step::kDirectory) {
        return ERROR_DIRECTORY;
    }
    if (failure.error == ENOEXEC) {
        return ERROR_BAD_EXE_FORMAT;
    }
    return Win32ErrorFromErrno(failure.error);
}

bool Fail(DWORD error) {
    SetLastError(error);
    return false;
}

// Reads the child's report: true and the failure when one came, false at end of file
// (the exec succeeded and closed the pipe).
bool ReadReport(int fd, ChildFailure* failure) {
    std::size_t got = 0;
    auto* bytes = reinterpret_cast<char*>(failure);
    while (got < sizeof *failure) {
        const ssize_t n = read(fd, bytes + got, sizeof *failure - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    return got == sizeof *failure;
}

void ReapFailedChild(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

class Descriptor {
  public:
    Descriptor() = default;
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() { Close(); }
    int get() const { return fd_; }
    void Close() {
        if (fd_ >= 0) {
            close(fd_);
            fd_ = -1;
        }
    }

  private:
    int fd_ = -1;
};

}  // namespace

bool Launch(const LaunchRequest& request, LaunchedProcess* launched) {
    // The folder is checked here and entered by the child; the program path is made
    // absolute first, as the child looks for it only after entering the folder.
    std::string directory;
    if (!request.directory.empty()) {
        const ResolvedPath resolved = ResolvePath(request.directory);
        struct stat info {};
        if (!resolved.exists || stat(resolved.path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
            return Fail(ERROR_DIRECTORY);
        }
        directory = resolved.path.string();
    }
    std::error_code error;
    const std::string program = std::filesystem::absolute(request.program, error).string();
    if (error || request.arguments.empty()) {
        return Fail(ERROR_INVALID_PARAMETER);
    }

    std::vector<std::string> argument_text = request.arguments;
    std::vector<char*> argv;
    argv.reserve(argument_text.size() + 1);
    for (std::string& argument : argument_text) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    std::vector<std::string> environment_text;
    std::vector<char*> envp;
    if (request.environment) {
        environment_text = *request.environment;
        envp.reserve(environment_text.size() + 1);
        for (std::string& entry : environment_text) {
            envp.push_back(entry.data());
        }
        envp.push_back(nullptr);
    }

    Descriptor input(request.null_input ? open("/dev/null", O_RDONLY | O_CLOEXEC) : -1);
    if (request.null_input && input.get() < 0) {
        return Fail(Win32ErrorFromErrno(errno));
    }
    int pipe_ends[2] = {-1, -1};
    if (pipe2(pipe_ends, O_CLOEXEC) != 0) {
        return Fail(Win32ErrorFromErrno(errno));
    }
    Descriptor report_read(pipe_ends[0]);
    Descriptor report_write(pipe_ends[1]);

    rlimit limit{};
    ChildPlan plan;
    plan.program = program.c_str();
    plan.argv = argv.data();
    plan.envp = request.environment ? envp.data() : environ;
    plan.directory = directory.empty() ? nullptr : directory.c_str();
    plan.input = input.get();
    plan.inherit_descriptors = request.inherit_descriptors;
    plan.descriptor_limit = getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < 65536
                                ? static_cast<int>(limit.rlim_cur)
                                : 65536;
    plan.report = report_write.get();

    // No signal handler of this process may run in the child between fork and exec.
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    const pid_t pid = fork();
    if (pid == 0) {
        RunChild(plan);
    }
    const int fork_error = errno;
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    report_write.Close();
    input.Close();
    if (pid < 0) {
        return Fail(fork_error == ENOMEM || fork_error == EAGAIN ? ERROR_NOT_ENOUGH_MEMORY
                                                                 : Win32ErrorFromErrno(fork_error));
    }
    ChildFailure failure{};
    if (ReadReport(report_read.get(), &failure)) {
        ReapFailedChild(pid);
        return Fail(ErrorOf(failure));
    }

    const std::shared_ptr<ChildProcess> child = ChildProcess::Adopt(pid);
    launched->process = RegisterHandle(std::make_shared<ProcessObject>(child));
    launched->thread = RegisterHandle(std::make_shared<ProcessThreadObject>(child));
    launched->id = static_cast<DWORD>(pid);
    return true;
}

}  // namespace tevo::win::detail

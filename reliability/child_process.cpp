#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

extern char** environ;

namespace tevo::reliability {

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args) {
    int fds[2] = {-1, -1};
    if (pipe2(fds, O_CLOEXEC) != 0) {
        return;
    }
    std::vector<std::string> arguments;
    arguments.push_back(program);
    arguments.insert(arguments.end(), args.begin(), args.end());
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) == 0) {
        pid_ = pid;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    output_ = fds[0];
}

ChildProcess::~ChildProcess() {
    if (started() && !reaped_) {
        Kill();
    }
    if (output_ >= 0) {
        close(output_);
    }
}

bool ChildProcess::ReadMark(std::chrono::milliseconds limit) {
    if (output_ < 0) {
        return false;
    }
    pollfd ready{output_, POLLIN, 0};
    if (poll(&ready, 1, static_cast<int>(limit.count())) != 1) {
        return false;
    }
    char mark = 0;
    return read(output_, &mark, 1) == 1;
}

bool ChildProcess::Reap(bool block) {
    if (reaped_) {
        return true;
    }
    int status = 0;
    const pid_t done = waitpid(pid_, &status, block ? 0 : WNOHANG);
    if (done == pid_) {
        reaped_ = true;
        status_ = status;
    }
    return reaped_;
}

std::optional<int> ChildProcess::WaitExit(std::chrono::milliseconds limit) {
    if (!started()) {
        return std::nullopt;
    }
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!Reap(false)) {
        if (std::chrono::steady_clock::now() >= deadline) {
            Kill();
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
}

bool ChildProcess::Kill() {
    if (!started() || reaped_) {
        return false;
    }
    kill(pid_, SIGKILL);
    Reap(true);
    return WIFSIGNALED(status_) && WTERMSIG(status_) == SIGKILL;
}

std::vector<std::string> ShellCommand(const std::string& script,
                                      const std::vector<std::string>& args) {
    std::vector<std::string> command = {"-c", script, "sh"};
    command.insert(command.end(), args.begin(), args.end());
    return command;
}

}  // namespace tevo::reliability

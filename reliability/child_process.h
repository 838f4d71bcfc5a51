// Programs of the build run as child processes of a fault test: started without waiting,
// their standard output read one mark at a time, and waited for or killed within a time
// limit, so that a stuck child fails the test instead of hanging it.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace tevo::reliability {

class ChildProcess {
  public:
    // Starts `program` with `args` (argv[0] is the program itself) in this process's
    // environment, its standard output going to a pipe of this object. started() tells
    // whether that worked.
    ChildProcess(const std::string& program, const std::vector<std::string>& args);
    // Kills and reaps a child that is still running.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }

    // Reads one byte of the child's standard output, waiting up to `limit`. False at the end
    // of its output or when nothing came in time.
    bool ReadMark(std::chrono::milliseconds limit);
    // Waits up to `limit` for the child to end: its exit status, or -1 when a signal ended
    // it. nullopt when it was still running (it is then killed).
    std::optional<int> WaitExit(std::chrono::milliseconds limit);
    // Kills the child with SIGKILL and reaps it. True when the kill ended it (it had not
    // ended by itself before).
    bool Kill();

  private:
    bool Reap(bool block);

    pid_t pid_ = -1;
    int output_ = -1;
    bool reaped_ = false;
    int status_ = 0;
};

// Runs `script` with /bin/sh -c, its positional parameters $1... being `args`.
std::vector<std::string> ShellCommand(const std::string& script,
                                      const std::vector<std::string>& args);

}  // namespace tevo::reliability

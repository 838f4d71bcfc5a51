// Helpers of the process tests (not a public header): the test child program, a gate that
// holds a child until the test lets it go, and reading the child's reports.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tevo/testing/temp_dir.h"
#include "tevo/win/lasterror.h"
#include "tevo/win/process.h"
#include "tevo/win/sync.h"

namespace tevo::process_testing {

inline std::string ChildProgram() {
    return TEVO_PROCESS_TEST_CHILD;
}

// A FIFO that a child started with "wait <path>" reads until the test releases it: the
// test holds it open for writing until Release, and the child's reads end only when no
// writer is left (or at once, when the gate was released before the child opened it).
class Gate {
  public:
    explicit Gate(const std::filesystem::path& path) : path_(path) {
        EXPECT_EQ(mkfifo(path.c_str(), 0600), 0);
        fd_ = open(path.c_str(), O_RDWR | O_CLOEXEC);
        EXPECT_GE(fd_, 0);
    }
    Gate(const Gate&) = delete;
    Gate& operator=(const Gate&) = delete;
    ~Gate() { Release(); }

    const std::filesystem::path& path() const { return path_; }
    void Release() {
        if (fd_ >= 0) {
            close(fd_);
            fd_ = -1;
        }
    }

  private:
    std::filesystem::path path_;
    int fd_ = -1;
};

// Starts a command line in a folder (empty: the current one); fails the test when it
// cannot.
inline PROCESS_INFORMATION Start(const std::string& command_line,
                                 const std::filesystem::path& directory = {}) {
    std::string line = command_line;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION information{};
    const std::string folder = directory.string();
    EXPECT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               folder.empty() ? nullptr : folder.c_str(), &startup, &information))
        << command_line << ": error " << GetLastError();
    return information;
}

// Waits for the end of a started process, closes its handles and gives its exit code.
inline DWORD Finish(const PROCESS_INFORMATION& information) {
    EXPECT_EQ(WaitForSingleObject(information.hProcess, INFINITE), WAIT_OBJECT_0);
    DWORD code = STILL_ACTIVE;
    EXPECT_TRUE(GetExitCodeProcess(information.hProcess, &code));
    CloseHandle(information.hThread);
    CloseHandle(information.hProcess);
    return code;
}

inline DWORD RunCommand(const std::string& command_line,
                        const std::filesystem::path& directory = {}) {
    const PROCESS_INFORMATION information = Start(command_line, directory);
    return information.hProcess == nullptr ? WAIT_FAILED : Finish(information);
}

// The argument vector that "echo" wrote in a folder.
inline std::vector<std::string> EchoedArguments(const std::filesystem::path& directory) {
    const std::string bytes = tevo::testing::ReadFile(directory / "argv.out");
    std::vector<std::string> arguments;
    std::size_t start = 0;
    while (start < bytes.size()) {
        const std::size_t end = bytes.find('\0', start);
        arguments.push_back(bytes.substr(start, end - start));
        start = end + 1;
    }
    return arguments;
}

// Whether the process is a zombie, or gone (reaped). Both are states after the end.
inline bool IsZombie(DWORD pid) {
    const std::string stat = tevo::testing::ReadFile("/proc/" + std::to_string(pid) + "/stat");
    const std::size_t paren = stat.rfind(')');
    return paren != std::string::npos && paren + 2 < stat.size() && stat[paren + 2] == 'Z';
}
inline bool IsGone(DWORD pid) {
    return !std::filesystem::exists("/proc/" + std::to_string(pid));
}

// The ids of this process's children that have ended and not been reaped.
inline std::vector<std::string> ZombieChildren() {
    std::vector<std::string> zombies;
    const std::string own = std::to_string(getpid());
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string stat = tevo::testing::ReadFile(entry.path() / "stat");
        const std::size_t paren = stat.rfind(')');
        if (paren == std::string::npos || paren + 4 >= stat.size()) {
            continue;
        }
        // After the name: " <state> <parent id> ..."
        const std::size_t parent_end = stat.find(' ', paren + 4);
        if (stat[paren + 2] == 'Z' && stat.substr(paren + 4, parent_end - paren - 4) == own) {
            zombies.push_back(entry.path().filename().string());
        }
    }
    return zombies;
}

}  // namespace tevo::process_testing

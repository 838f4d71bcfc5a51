// Test fixture for the installed program: the SDK that the build installs (tevo, regsvr,
// ivi-config, libtevo.so), the driver registered with the installed regsvr in the test's
// fresh system root, an emulator in this process on a free port, and each program run as a
// child process with its output and exit status captured under a watchdog that kills it
// (and fails the test) instead of letting it hang.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tevo/emulator/emulator.h"
#include "tevo/testing/temp_dir.h"

extern char** environ;

namespace tevo::cli::testing {

inline constexpr std::chrono::seconds kProgramLimit{60};

struct ProgramResult {
    int exit_code = -1;  // -1: killed or did not end normally
    std::string out;
    std::string err;
};

inline std::filesystem::path SdkPrefix() {
    return TEVO_CLI_SDK_PREFIX;
}
inline std::string SdkProgram(const std::string& name) {
    return (SdkPrefix() / "bin" / name).string();
}

// Kills `pid` when Finish is not called within the limit.
class ChildWatchdog {
  public:
    explicit ChildWatchdog(pid_t pid)
        : thread_([this, pid] {
              std::unique_lock<std::mutex> lock(mutex_);
              if (!changed_.wait_for(lock, kProgramLimit, [this] { return finished_; })) {
                  expired_ = true;
                  kill(pid, SIGKILL);
              }
          }) {}
    ~ChildWatchdog() { Finish(); }
    ChildWatchdog(const ChildWatchdog&) = delete;
    ChildWatchdog& operator=(const ChildWatchdog&) = delete;

    // Stops the watchdog; true when it had to kill the child.
    bool Finish() {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            finished_ = true;
            changed_.notify_all();
        }
        if (thread_.joinable()) {
            thread_.join();
        }
        return expired_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool finished_ = false;
    bool expired_ = false;
    std::thread thread_;
};

inline std::string ReadWhole(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

inline std::vector<char*> ArgumentVector(std::vector<std::string>& text) {
    std::vector<char*> argv;
    argv.reserve(text.size() + 1);
    for (std::string& arg : text) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    return argv;
}

// Runs `program` with standard output and error going to files, stdin from /dev/null.
inline ProgramResult RunChild(const std::string& program, const std::vector<std::string>& args) {
    const tevo::testing::TempDir folder("tevo-cli-run");
    const std::filesystem::path out_path = folder / "out";
    const std::filesystem::path err_path = folder / "err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    std::vector<std::string> text = {program};
    text.insert(text.end(), args.begin(), args.end());
    std::vector<char*> argv = ArgumentVector(text);
    pid_t pid = 0;
    ProgramResult result;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        ADD_FAILURE() << "cannot start " << program;
        return result;
    }
    ChildWatchdog watchdog(pid);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_FALSE(watchdog.Finish()) << program << " did not end within the limit";
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = ReadWhole(out_path);
    result.err = ReadWhole(err_path);
    return result;
}

// Runs `program` on a pseudo-terminal (standard output and error both go to it), as a
// person at a terminal runs it; returns everything it wrote.
inline ProgramResult RunOnTerminal(const std::string& program,
                                   const std::vector<std::string>& args) {
    std::vector<std::string> text = {program};
    text.insert(text.end(), args.begin(), args.end());
    std::vector<char*> argv = ArgumentVector(text);
    int terminal = -1;
    const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (pid == 0) {
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    ProgramResult result;
    if (pid < 0) {
        ADD_FAILURE() << "forkpty failed";
        return result;
    }
    ChildWatchdog watchdog(pid);
    char buffer[4096];
    while (true) {
        const ssize_t got = read(terminal, buffer, sizeof(buffer));
        if (got <= 0) {
            break;  // EIO once the child has closed its side
        }
        result.out.append(buffer, static_cast<size_t>(got));
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_FALSE(watchdog.Finish()) << program << " did not end within the limit";
    close(terminal);
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

inline tevo::emulator::EmulatorOptions InstantEmulator() {
    tevo::emulator::EmulatorOptions options;
    options.time_scale = 0;
    return options;
}

class InstalledTevo : public ::testing::Test {
  protected:
    explicit InstalledTevo(tevo::emulator::EmulatorOptions options = InstantEmulator())
        : emulator_(std::move(options)) {}

    void SetUp() override {
        ASSERT_TRUE(std::filesystem::exists(SdkProgram("tevo")))
            << "no installed SDK at " << SdkPrefix() << " (run the sdk.outside_client test first)";
        Register();
        emulator_.Start(0);
        resource_ = emulator_.ResourceName();
    }

    void Register() {
        const ProgramResult registered =
            RunChild(SdkProgram("regsvr"), {"/s", (SdkPrefix() / "lib" / "libtevo.so").string()});
        ASSERT_EQ(registered.exit_code, 0) << registered.err;
    }

    // What a user does to reach an analyzer by name: a hardware asset with its resource (the
    // emulator), a driver session of the Tevo software module on it, and the logical name
    // "Bench" for that session.
    void AddBenchLogicalName() {
        const std::vector<std::vector<std::string>> steps = {
            {"add", "hardware-asset", "BenchAnalyzer", "--resource", resource_},
            {"add", "driver-session", "BenchSession", "--hardware-asset", "BenchAnalyzer",
             "--software-module", "Tevo.Software"},
            {"add", "logical-name", "Bench", "--session", "BenchSession"},
        };
        for (const std::vector<std::string>& step : steps) {
            const ProgramResult added = RunChild(SdkProgram("ivi-config"), step);
            ASSERT_EQ(added.exit_code, 0) << step[1] << ": " << added.err;
        }
    }

    ProgramResult Tevo(const std::vector<std::string>& args) {
        return RunChild(SdkProgram("tevo"), args);
    }
    // The subcommand with --resource of the test's emulator in front of its arguments.
    ProgramResult OnEmulator(const std::string& command, std::vector<std::string> args) {
        args.insert(args.begin(), {command, "--resource", resource_});
        return Tevo(args);
    }

    // The messages the emulator received since the last call. The program has ended, but the
    // emulator may still be running its last messages: they are all in once it has seen the
    // program's connection close.
    std::vector<std::string> Received() {
        EXPECT_TRUE(emulator_.WaitForDisconnect(std::chrono::seconds(10)));
        std::vector<std::string> messages = emulator_.ReceivedMessages();
        emulator_.ClearReceivedMessages();
        return messages;
    }
    // The same without the identity query every session starts with.
    std::vector<std::string> ReceivedAfterInitialize() {
        std::vector<std::string> messages = Received();
        if (!messages.empty() && messages.front() == "*IDN?") {
            messages.erase(messages.begin());
        }
        return messages;
    }

    tevo::emulator::Emulator emulator_;
    std::string resource_;
};

}  // namespace tevo::cli::testing

// Waiting for processes, their exit codes, termination and reaping, both with pidfds and
// with the waitpid() watcher threads used where there are none.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "process_test_support.h"
#include "tevo/testing/temp_dir.h"
#include "tevo/win/lasterror.h"
#include "tevo/win/process.h"
#include "tevo/win/sync.h"
#include "tevo/win/winerror.h"

extern char** environ;  // NOLINT(readability-redundant-declaration)

namespace {

using tevo::process_testing::ChildProgram;
using tevo::process_testing::Finish;
using tevo::process_testing::Gate;
using tevo::process_testing::IsGone;
using tevo::process_testing::IsZombie;
using tevo::process_testing::RunCommand;
using tevo::process_testing::Start;
using tevo::win::detail::ChildProcess;

// Polls a condition that is expected to become true soon; false after the deadline.
template <class Condition>
bool BecomesTrue(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        if (condition()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return condition();
}

// The parameter: whether children are watched by waitpid() threads instead of pidfds.
class ProcessWait : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override { ChildProcess::UseWatcherThreadsForTesting(GetParam()); }
    void TearDown() override { ChildProcess::UseWatcherThreadsForTesting(false); }

    tevo::testing::TempDir dir_;
};

TEST_P(ProcessWait, ExitCodesKeepTheirSign) {
    EXPECT_EQ(RunCommand(ChildProgram() + " exit 0"), 0u);
    EXPECT_EQ(RunCommand(ChildProgram() + " exit 3"), 3u);
    EXPECT_EQ(RunCommand(ChildProgram() + " exit 127"), 127u);
    EXPECT_EQ(RunCommand(ChildProgram() + " exit 255"), static_cast<DWORD>(-1));
    EXPECT_EQ(RunCommand(ChildProgram() + " exit 128"), static_cast<DWORD>(-128));
}

TEST_P(ProcessWait, ChildKilledBySignalDoesNotLookLikeSuccess) {
    const DWORD code = RunCommand(ChildProgram() + " signal " + std::to_string(SIGTERM));
    EXPECT_EQ(code, 0xC000000Fu);
    EXPECT_EQ(code, tevo::win::ExitCodeForSignal(SIGTERM));
}

TEST_P(ProcessWait, TimedWaitsTimeOutWhileRunningAndSucceedAfterTheEnd) {
    Gate gate(dir_ / "gate");
    const PROCESS_INFORMATION information =
        Start(ChildProgram() + " wait " + gate.path().string() + " 5");
    ASSERT_NE(information.hProcess, nullptr);
    EXPECT_EQ(information.dwThreadId, information.dwProcessId);
    EXPECT_EQ(GetProcessId(information.hProcess), information.dwProcessId);

    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeProcess(information.hProcess, &code));
    EXPECT_EQ(code, STILL_ACTIVE);
    EXPECT_EQ(WaitForSingleObject(information.hProcess, 0), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(information.hProcess, 30), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(information.hThread, 0), WAIT_TIMEOUT);

    gate.Release();
    EXPECT_EQ(WaitForSingleObject(information.hProcess, 60000), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(information.hProcess, 0), WAIT_OBJECT_0);  // stays signalled
    EXPECT_EQ(WaitForSingleObject(information.hThread, 0), WAIT_OBJECT_0);
    ASSERT_TRUE(GetExitCodeProcess(information.hProcess, &code));
    EXPECT_EQ(code, 5u);
    EXPECT_TRUE(IsGone(information.dwProcessId));  // reaped by the wait
    CloseHandle(information.hThread);
    CloseHandle(information.hProcess);
}

TEST_P(ProcessWait, EveryWaiterSeesTheEnd) {
    Gate gate(dir_ / "gate");
    const PROCESS_INFORMATION information = Start(ChildProgram() + " wait " + gate.path().string());
    ASSERT_NE(information.hProcess, nullptr);
    const HANDLE semaphore = CreateSemaphoreA(nullptr, 0, 1, nullptr);
    const HANDLE both[2] = {semaphore, information.hProcess};
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_TIMEOUT);

    DWORD results[3] = {WAIT_FAILED, WAIT_FAILED, WAIT_FAILED};
    std::thread first([&] { results[0] = WaitForSingleObject(information.hProcess, INFINITE); });
    std::thread second([&] { results[1] = WaitForSingleObject(information.hThread, INFINITE); });
    std::thread third([&] { results[2] = WaitForMultipleObjects(2, both, FALSE, INFINITE); });
    gate.Release();
    first.join();
    second.join();
    third.join();
    EXPECT_EQ(results[0], WAIT_OBJECT_0);
    EXPECT_EQ(results[1], WAIT_OBJECT_0);
    EXPECT_EQ(results[2], WAIT_OBJECT_0 + 1);
    EXPECT_EQ(Finish(information), 0u);
    CloseHandle(semaphore);
}

TEST_P(ProcessWait, TerminateProcessSetsTheExitCode) {
    Gate gate(dir_ / "gate");
    PROCESS_INFORMATION information = Start(ChildProgram() + " wait " + gate.path().string());
    ASSERT_NE(information.hProcess, nullptr);
    EXPECT_TRUE(TerminateProcess(information.hProcess, 77));
    EXPECT_EQ(Finish(information), 77u);

    information = Start(ChildProgram() + " wait " + gate.path().string());
    ASSERT_NE(information.hProcess, nullptr);
    EXPECT_TRUE(TerminateProcess(information.hProcess, static_cast<UINT>(-1)));
    ASSERT_EQ(WaitForSingleObject(information.hProcess, INFINITE), WAIT_OBJECT_0);
    SetLastError(0);
    EXPECT_FALSE(TerminateProcess(information.hProcess, 1));  // already ended
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(Finish(information), static_cast<DWORD>(-1));

    // Process functions refuse other handles.
    const HANDLE semaphore = CreateSemaphoreA(nullptr, 0, 1, nullptr);
    DWORD code = 0;
    EXPECT_FALSE(GetExitCodeProcess(semaphore, &code));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(TerminateProcess(semaphore, 1));
    EXPECT_EQ(GetProcessId(semaphore), 0u);
    CloseHandle(semaphore);
}

TEST_P(ProcessWait, ClosingTheHandlesNeitherEndsTheProcessNorLeavesAZombie) {
    Gate gate(dir_ / "gate");
    const PROCESS_INFORMATION information = Start(ChildProgram() + " wait " + gate.path().string());
    ASSERT_NE(information.hProcess, nullptr);
    const DWORD pid = information.dwProcessId;
    EXPECT_TRUE(CloseHandle(information.hThread));
    EXPECT_TRUE(CloseHandle(information.hProcess));
    EXPECT_FALSE(IsGone(pid));
    EXPECT_FALSE(IsZombie(pid));  // still running
    gate.Release();
    EXPECT_TRUE(BecomesTrue([pid] { return IsGone(pid); }));
}

TEST_P(ProcessWait, OtherChildrenOfTheProgramAreLeftAlone) {
    // A child that this platform did not start, already ended and waiting to be reaped.
    const std::string program = ChildProgram();
    std::vector<char*> argv = {const_cast<char*>(program.c_str()), const_cast<char*>("exit"),
                               const_cast<char*>("9"), nullptr};
    pid_t foreign = 0;
    ASSERT_EQ(posix_spawn(&foreign, program.c_str(), nullptr, nullptr, argv.data(), environ), 0);
    ASSERT_TRUE(BecomesTrue([foreign] { return IsZombie(static_cast<DWORD>(foreign)); }));

    EXPECT_EQ(RunCommand(ChildProgram() + " exit 1"), 1u);
    Gate gate(dir_ / "gate");
    const PROCESS_INFORMATION information = Start(ChildProgram() + " wait " + gate.path().string());
    CloseHandle(information.hProcess);
    CloseHandle(information.hThread);
    gate.Release();
    ASSERT_TRUE(BecomesTrue([&] { return IsGone(information.dwProcessId); }));

    int status = 0;
    ASSERT_EQ(waitpid(foreign, &status, 0), foreign);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 9);
}

TEST_P(ProcessWait, LostExitStatusDoesNotLookLikeSuccess) {
    // With SIGCHLD ignored the kernel reaps children itself and their status is lost.
    struct sigaction ignore {};
    struct sigaction previous {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGCHLD, &ignore, &previous);
    const DWORD code = RunCommand(ChildProgram() + " exit 0");
    sigaction(SIGCHLD, &previous, nullptr);
    EXPECT_EQ(code, tevo::win::kSignalExitCodeBase);
}

TEST_P(ProcessWait, NoZombieIsLeftByAnyKindOfEnd) {
    std::string missing = (dir_ / "missing").string();
    std::string not_runnable = tevo::testing::WriteFile(dir_ / "script", "exit 0\n").string();
    std::filesystem::permissions(not_runnable, std::filesystem::perms::owner_all);
    for (std::string* line : {&missing, &not_runnable}) {
        PROCESS_INFORMATION information{};
        EXPECT_FALSE(CreateProcessA(nullptr, line->data(), nullptr, nullptr, FALSE, 0, nullptr,
                                    nullptr, nullptr, &information));
    }
    EXPECT_EQ(RunCommand(ChildProgram() + " exit 2"), 2u);
    EXPECT_EQ(RunCommand(ChildProgram() + " signal " + std::to_string(SIGKILL)),
              tevo::win::ExitCodeForSignal(SIGKILL));
    Gate gate(dir_ / "gate");
    PROCESS_INFORMATION information = Start(ChildProgram() + " wait " + gate.path().string());
    EXPECT_TRUE(TerminateProcess(information.hProcess, 1));
    EXPECT_EQ(Finish(information), 1u);
    // Closed before or while they end: reaped all the same.
    std::vector<DWORD> closed;
    for (const std::string& command : {std::string(" exit 0"), " wait " + gate.path().string()}) {
        information = Start(ChildProgram() + command);
        closed.push_back(information.dwProcessId);
        CloseHandle(information.hProcess);
        CloseHandle(information.hThread);
    }
    gate.Release();
    for (const DWORD pid : closed) {
        EXPECT_TRUE(BecomesTrue([pid] { return IsGone(pid); })) << pid;
    }
    EXPECT_EQ(tevo::process_testing::ZombieChildren(), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Watch, ProcessWait, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "WaitpidThread" : "Pidfd";
                         });

}  // namespace

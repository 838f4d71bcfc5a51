// Launcher end to end: the built program runs tevo_runner_test_child in the test's system
// root; results are checked in the registry and in the root's message log.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <string>
#include <vector>

#include "runner_test_support.h"
#include "tevo/testing/run_program.h"
#include "tevo/testing/temp_dir.h"
#include "tevo/win/process.h"
#include "tevo/win/sync.h"
#include "tevo/win/sysroot.h"

namespace {

using namespace std::string_literals;
using tevo::testing::MessageLog;
using tevo::testing::ProgramRun;
using tevo::testing::ReadResultValue;
using tevo::testing::StoredValue;

// Launcher's exit code -1 as a Linux exit status.
constexpr int kFailed = 255;

ProgramRun Launcher(const std::vector<std::string>& arguments) {
    return tevo::testing::RunProgram(TEVO_LAUNCHER_PROGRAM, arguments);
}

ProgramRun LaunchChild(const std::vector<std::string>& child_arguments) {
    std::vector<std::string> arguments = {TEVO_RUNNER_TEST_CHILD};
    arguments.insert(arguments.end(), child_arguments.begin(), child_arguments.end());
    return Launcher(arguments);
}

// The stored ResultLauncher as text, checked to be a REG_SZ with its terminating zero.
std::string StoredResult() {
    const StoredValue value = ReadResultValue("ResultLauncher");
    if (!value.exists) {
        return "<missing>";
    }
    EXPECT_EQ(value.type, REG_SZ);
    EXPECT_FALSE(value.bytes.empty());
    if (value.bytes.empty() || value.bytes.back() != '\0') {
        ADD_FAILURE() << "stored without its terminating zero: " << value.bytes;
        return value.bytes;
    }
    return value.bytes.substr(0, value.bytes.size() - 1);
}

TEST(Launcher, StoresTheExitCodeWithItsSign) {
    for (const char* code : {"0", "3", "127", "-1", "-5", "-128"}) {
        const ProgramRun run = LaunchChild({"exit", code});
        EXPECT_EQ(run.exit_code, 0) << code;
        EXPECT_EQ(run.out, "") << code;
        EXPECT_EQ(run.err, "") << code;
        EXPECT_EQ(StoredResult(), code);
    }
    EXPECT_EQ(MessageLog(), "");
}

TEST(Launcher, StoresASignalDeathAsTheSignedSignalExitCode) {
    struct Case {
        int signal_number;
        const char* stored;
    };
    for (const Case& c : {Case{SIGKILL, "-1073741815"}, Case{SIGTERM, "-1073741809"},
                          Case{SIGSEGV, "-1073741813"}}) {
        const ProgramRun run = LaunchChild({"signal", std::to_string(c.signal_number)});
        EXPECT_EQ(run.exit_code, 0);
        EXPECT_EQ(StoredResult(), c.stored);
        EXPECT_EQ(StoredResult(),
                  std::to_string(static_cast<int>(tevo::win::ExitCodeForSignal(c.signal_number))));
    }
    EXPECT_EQ(MessageLog(), "");
}

TEST(Launcher, ReportsACommandThatCannotBeStarted) {
    ASSERT_EQ(tevo::testing::WriteResultValue("ResultLauncher", REG_SZ, "7\0"s), ERROR_SUCCESS);
    const ProgramRun missing = Launcher({"/nonexistent/folder/setup", "-q", "a b"});
    EXPECT_EQ(missing.exit_code, kFailed);
    const std::string message =
        "Information: CreateProcess failed for /nonexistent/folder/setup -q \"a b\".\n";
    EXPECT_EQ(missing.err, message);

    tevo::testing::TempDir dir;
    const std::string not_a_program =
        tevo::testing::WriteFile(dir / "notes.txt", "plain text\n").string();
    EXPECT_EQ(Launcher({not_a_program}).exit_code, kFailed);

    EXPECT_EQ(Launcher({}).exit_code, kFailed);

    EXPECT_EQ(MessageLog(), message + "Information: CreateProcess failed for " + not_a_program +
                                ".\nInformation: CreateProcess failed for .\n");
    // A failed start leaves the earlier result alone.
    EXPECT_EQ(StoredResult(), "7");
}

TEST(Launcher, HandsItsArgumentsOnUnchanged) {
    tevo::testing::TempDir dir;
    const std::string report = (dir / "argv").string();
    const std::vector<std::string> arguments = {TEVO_RUNNER_TEST_CHILD,
                                                "echo",
                                                report,
                                                "a b",
                                                "c\"d",
                                                "e\\",
                                                "f\\\\\"g",
                                                "",
                                                "\\\\server\\share\\",
                                                "tab\there",
                                                "\xC3\xA9\xE2\x82\xAC"};
    const ProgramRun run = Launcher(arguments);
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(tevo::testing::ReadEchoedArguments(report), arguments);
    EXPECT_EQ(StoredResult(), "0");
}

TEST(Launcher, SplitsAWindowsCommandLineByTheWindowsRules) {
    tevo::testing::TempDir dir;
    const std::string report = (dir / "argv").string();
    const std::string command = std::string(TEVO_RUNNER_TEST_CHILD) + " echo " + report +
                                " \"a b\"c d\\\"e \"f\"\"g\" h\\\\\" i\" \\\\server\\share\\ \"\"";
    std::string line = "\"" + std::string(TEVO_LAUNCHER_PROGRAM) + "\" " + command;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &process));
    ASSERT_EQ(WaitForSingleObject(process.hProcess, INFINITE), WAIT_OBJECT_0);
    DWORD exit_code = STILL_ACTIVE;
    EXPECT_TRUE(GetExitCodeProcess(process.hProcess, &exit_code));
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    EXPECT_EQ(exit_code, 0u);

    const std::vector<std::string> expected = {
        TEVO_RUNNER_TEST_CHILD, "echo", report, "a bc", "d\"e", "f\"g", "h\\ i",
        "\\\\server\\share\\",  ""};
    EXPECT_EQ(tevo::win::SplitCommandLine(command), expected);
    EXPECT_EQ(tevo::testing::ReadEchoedArguments(report), expected);
}

TEST(Launcher, ReportsARegistryThatCannotBeOpened) {
    const std::filesystem::path hive = tevo::win::RegistryDirectory() / "HKLM.reg";
    const std::string damaged = "this is not a registry hive\n";
    tevo::testing::WriteFile(hive, damaged);

    const ProgramRun run = LaunchChild({"exit", "3"});
    EXPECT_EQ(run.exit_code, kFailed);
    const std::string expected =
        "Information: Error: PutContentToRegistry::RegOpenKeyEx\nSOFTWARE\\Sorvant\\Tmp\n"
        "Information: PutContentToRegistry failed.\n";
    EXPECT_EQ(run.err, expected);
    EXPECT_EQ(MessageLog(), expected);
    EXPECT_EQ(tevo::testing::ReadFile(hive), damaged);
}

TEST(Launcher, ReportsAValueThatCannotBeSet) {
    ASSERT_EQ(tevo::testing::WriteResultValue("Other", REG_SZ, "x\0"s), ERROR_SUCCESS);
    // A folder where the registry writes the hive's next version: the key still opens,
    // but no value can be set.
    const std::filesystem::path obstacle = tevo::win::RegistryDirectory() / "HKLM.reg.new";
    ASSERT_TRUE(std::filesystem::create_directory(obstacle));
    ASSERT_NE(tevo::testing::WriteResultValue("Probe", REG_SZ, "x\0"s), ERROR_SUCCESS)
        << "the obstacle no longer keeps the registry from writing";

    const ProgramRun run = LaunchChild({"exit", "3"});
    EXPECT_EQ(run.exit_code, kFailed);
    const std::string expected =
        "Information: Error: PutContentToRegistry::RegSetValueEx\nResultLauncher\n"
        "Information: PutContentToRegistry failed.\n";
    EXPECT_EQ(run.err, expected);
    EXPECT_EQ(MessageLog(), expected);
    std::filesystem::remove(obstacle);
    EXPECT_EQ(StoredResult(), "<missing>");
}

// Launcher runs again and again while another process keeps changing values of the same
// key: every change of both survives.
TEST(Launcher, LosesNothingWhileAnotherProcessWritesTheRegistry) {
    tevo::testing::TempDir dir;
    const std::string stop = (dir / "stop").string();
    std::string line = std::string(TEVO_RUNNER_TEST_CHILD) + " write-values " + stop;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION writer{};
    ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &writer));
    CloseHandle(writer.hThread);

    // The writer is at work once its first value is there.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!ReadResultValue("Writer0").exists && std::chrono::steady_clock::now() < deadline) {
        if (WaitForSingleObject(writer.hProcess, 1) == WAIT_OBJECT_0) {
            break;  // ended before writing: reported below
        }
    }
    ASSERT_TRUE(ReadResultValue("Writer0").exists) << "the writer did not start writing";

    for (int code = -4; code <= 4; ++code) {
        const ProgramRun run = LaunchChild({"exit", std::to_string(code)});
        EXPECT_EQ(run.exit_code, 0) << run.err;
        EXPECT_EQ(StoredResult(), std::to_string(code));
    }

    tevo::testing::WriteFile(stop, "");
    ASSERT_EQ(WaitForSingleObject(writer.hProcess, 30000), WAIT_OBJECT_0);
    DWORD writer_exit = STILL_ACTIVE;
    EXPECT_TRUE(GetExitCodeProcess(writer.hProcess, &writer_exit));
    CloseHandle(writer.hProcess);
    EXPECT_EQ(writer_exit, 0u);

    const StoredValue count_value = ReadResultValue("WriterCount");
    ASSERT_TRUE(count_value.exists);
    const int count = std::stoi(count_value.bytes);
    ASSERT_GE(count, 1);
    ::testing::Test::RecordProperty("writer_values", count);
    for (int i = 0; i < count; ++i) {
        const StoredValue value = ReadResultValue("Writer" + std::to_string(i));
        ASSERT_TRUE(value.exists) << "Writer" << i << " of " << count << " was lost";
        EXPECT_EQ(value.bytes, std::to_string(i) + '\0');
    }
    EXPECT_EQ(StoredResult(), "4");
    EXPECT_EQ(MessageLog(), "");
}

}  // namespace

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "process_test_support.h"
#include "tevo/testing/temp_dir.h"
#include "tevo/win/lasterror.h"
#include "tevo/win/process.h"
#include "tevo/win/shell.h"
#include "tevo/win/sysroot.h"
#include "tevo/win/text.h"
#include "tevo/win/winerror.h"

namespace {

namespace fs = std::filesystem;
using tevo::process_testing::ChildProgram;
using tevo::process_testing::EchoedArguments;
using tevo::testing::ReadFile;
using tevo::testing::TempDir;

SHELLEXECUTEINFOA Info(const char* file, const char* parameters, const char* directory = nullptr) {
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpVerb = "open";
    info.lpFile = file;
    info.lpParameters = parameters;
    info.lpDirectory = directory;
    info.nShow = SW_HIDE;
    return info;
}

// Waits for the process of a successful call and gives its exit code.
DWORD Finish(const SHELLEXECUTEINFOA& info) {
    EXPECT_EQ(WaitForSingleObject(info.hProcess, INFINITE), WAIT_OBJECT_0);
    DWORD code = STILL_ACTIVE;
    EXPECT_TRUE(GetExitCodeProcess(info.hProcess, &code));
    CloseHandle(info.hProcess);
    return code;
}

TEST(ShellExecution, ScriptHostRunsAShellScriptWithItsParameters) {
    const TempDir dir;
    const std::string work = (dir / "work").string();
    fs::create_directories(work);
    const fs::path report = dir / "report.out";
    const fs::path script = tevo::testing::WriteFile(
        dir / "dr0001.tmp.vbs", "printf '%s|' \"$@\" > '" + report.string() + "'\npwd >> '" +
                                    report.string() + "'\nreadlink /proc/$$/fd/0 >> '" +
                                    report.string() + "'\nexit 5\n");
    const std::string parameters = script.string() + " first \"second arg\"";
    SHELLEXECUTEINFOA info = Info("WScript.exe", parameters.c_str(), work.c_str());
    ASSERT_TRUE(ShellExecuteExA(&info)) << GetLastError();
    EXPECT_GT(reinterpret_cast<LONG_PTR>(info.hInstApp), 32);
    ASSERT_NE(info.hProcess, nullptr);
    EXPECT_EQ(Finish(info), 5u);
    EXPECT_EQ(ReadFile(report), "first|second arg|" + work + "\n/dev/null\n");
}

TEST(ShellExecution, ScriptHostIsKnownByNameAlone) {
    const TempDir dir;
    const fs::path script = tevo::testing::WriteFile(dir / "script.vbs", "exit \"$1\"\n");
    const char* const names[] = {"wscript.exe", "C:\\Windows\\System32\\WSCRIPT.EXE",
                                 "/usr/bin/WScript.Exe", "wscript"};
    int code = 10;
    for (const char* name : names) {
        const std::string parameters = script.string() + " " + std::to_string(code);
        SHELLEXECUTEINFOA info = Info(name, parameters.c_str());
        info.lpVerb = nullptr;
        ASSERT_TRUE(ShellExecuteExA(&info)) << name;
        EXPECT_EQ(Finish(info), static_cast<DWORD>(code)) << name;
        ++code;
    }
}

// The platform's programs lie in bin/ beside the lib/ folder of the platform library; this
// test program is one of them, so its own folder is the one scripts must find first.
TEST(ShellExecution, ScriptHostFindsThePlatformProgramsFirstOnItsPath) {
    const TempDir dir;
    const fs::path report = dir / "path.out";
    const fs::path script = tevo::testing::WriteFile(
        dir / "script.vbs", "printf '%s\\n' \"$PATH\" > '" + report.string() +
                                "'\ncommand -v tevo_win_test >> '" + report.string() + "'\n");
    const std::string parameters = script.string();
    SHELLEXECUTEINFOA info = Info("wscript.exe", parameters.c_str());
    ASSERT_TRUE(ShellExecuteExA(&info)) << GetLastError();
    EXPECT_EQ(Finish(info), 0u);
    const fs::path programs = fs::canonical("/proc/self/exe").parent_path();
    const char* inherited = std::getenv("PATH");
    ASSERT_NE(inherited, nullptr);
    EXPECT_EQ(ReadFile(report), programs.string() + ":" + inherited + "\n" +
                                    (programs / "tevo_win_test").string() + "\n");
}

TEST(ShellExecution, WithoutNoCloseProcessTheProcessRunsOnWithoutAHandle) {
    const TempDir dir;
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    const fs::path script = tevo::testing::WriteFile(
        dir / "script.vbs", "echo ran > '" + (dir / "fifo").string() + "'\n");
    const std::string parameters = script.string();
    SHELLEXECUTEINFOA info = Info("wscript.exe", parameters.c_str(), "");
    info.fMask = SEE_MASK_FLAG_NO_UI;
    info.hProcess = reinterpret_cast<HANDLE>(1);
    ASSERT_TRUE(ShellExecuteExA(&info));
    EXPECT_EQ(info.hProcess, nullptr);
    EXPECT_GT(reinterpret_cast<LONG_PTR>(info.hInstApp), 32);
    // The script's write meets this read: it ran although nobody holds its handle.
    EXPECT_EQ(ReadFile(dir / "fifo"), "ran\n");
}

TEST(ShellExecution, ProgramsGetTheirParametersSplitByTheWindowsRules) {
    const TempDir dir;
    const std::wstring file = tevo::win::Utf8ToWide(ChildProgram());
    const std::wstring directory = dir.path().wstring();
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpFile = file.c_str();
    info.lpParameters = L"echo \"a b\" c\\\"d \"\"";
    info.lpDirectory = directory.c_str();
    ASSERT_TRUE(ShellExecuteExW(&info));
    ASSERT_NE(info.hProcess, nullptr);
    EXPECT_EQ(WaitForSingleObject(info.hProcess, INFINITE), WAIT_OBJECT_0);
    CloseHandle(info.hProcess);
    EXPECT_EQ(EchoedArguments(dir.path()),
              (std::vector<std::string>{ChildProgram(), "echo", "a b", "c\"d", ""}));
}

TEST(ShellExecution, EnvironmentSubstitutionIsDoneWhenAskedFor) {
    const fs::path tool = tevo::win::WindowsDirectory() / "tool.exe";
    fs::create_symlink(ChildProgram(), tool);
    SHELLEXECUTEINFOA info = Info("%SystemRoot%\\tool.exe", "exit 6");
    info.fMask |= SEE_MASK_DOENVSUBST;
    ASSERT_TRUE(ShellExecuteExA(&info)) << GetLastError();
    EXPECT_EQ(Finish(info), 6u);

    info = Info("%SystemRoot%\\tool.exe", "exit 6");
    EXPECT_FALSE(ShellExecuteExA(&info));  // taken literally without the flag
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(info.hInstApp), SE_ERR_FNF);
}

TEST(ShellExecution, FailuresGiveShellErrorCodes) {
    const TempDir dir;
    tevo::testing::WriteFile(dir / "document.txt", "text\n");
    const std::string document = (dir / "document.txt").string();
    const std::string missing = (dir / "missing.exe").string();
    const std::string no_folder = (dir / "no-folder").string();
    struct FailureCase {
        SHELLEXECUTEINFOA info;
        LONG_PTR instance;
        DWORD error;
    };
    SHELLEXECUTEINFOA print = Info("wscript.exe", "x");
    print.lpVerb = "print";
    const FailureCase cases[] = {
        {print, SE_ERR_NOASSOC, ERROR_NO_ASSOCIATION},
        {Info(missing.c_str(), nullptr), SE_ERR_FNF, ERROR_FILE_NOT_FOUND},
        {Info("tevo-no-such-program-anywhere", nullptr), SE_ERR_FNF, ERROR_FILE_NOT_FOUND},
        {Info("", nullptr), SE_ERR_FNF, ERROR_FILE_NOT_FOUND},
        {Info(document.c_str(), nullptr), SE_ERR_ACCESSDENIED, ERROR_ACCESS_DENIED},
        {Info("wscript.exe", "x", no_folder.c_str()), SE_ERR_PNF, ERROR_DIRECTORY},
    };
    for (const FailureCase& c : cases) {
        SHELLEXECUTEINFOA info = c.info;
        info.hProcess = reinterpret_cast<HANDLE>(1);
        SetLastError(0);
        EXPECT_FALSE(ShellExecuteExA(&info)) << info.lpFile;
        EXPECT_EQ(reinterpret_cast<LONG_PTR>(info.hInstApp), c.instance) << info.lpFile;
        EXPECT_EQ(GetLastError(), c.error) << info.lpFile;
        EXPECT_EQ(info.hProcess, nullptr) << info.lpFile;
    }

    SHELLEXECUTEINFOA info = Info("wscript.exe", "x");
    info.cbSize = sizeof info - 1;
    EXPECT_FALSE(ShellExecuteExA(&info));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(ShellExecuteExA(nullptr));
}

}  // namespace

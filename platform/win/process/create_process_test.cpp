#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "process_test_support.h"
#include "tevo/testing/temp_dir.h"
#include "tevo/win/lasterror.h"
#include "tevo/win/process.h"
#include "tevo/win/text.h"
#include "tevo/win/winerror.h"

namespace {

namespace fs = std::filesystem;
using tevo::process_testing::ChildProgram;
using tevo::process_testing::EchoedArguments;
using tevo::process_testing::RunCommand;
using tevo::testing::ReadFile;
using tevo::testing::TempDir;
using Arguments = std::vector<std::string>;

struct ArgvCase {
    const char* arguments;  // the command line after "<child> echo "
    Arguments expected;     // what the child receives after "echo"
};

TEST(ProcessCreation, DeliversExactlyTheIntendedArguments) {
    const ArgvCase cases[] = {
        {"plain words", {"plain", "words"}},
        {R"("with blank" "" tab)", {"with blank", "", "tab"}},
        {R"(embedded\"quote "in \"quotes\"")", {"embedded\"quote", "in \"quotes\""}},
        {R"("trailing backslash\\" next\)", {R"(trailing backslash\)", R"(next\)"}},
        {R"(two\\\\"x y" three\\\"z)", {R"(two\\x y)", R"(three\"z)"}},
        {R"("doubled ""quote"" inside")", {"doubled \"quote\" inside"}},
        {R"(C:\dir\file a\b\\c)", {R"(C:\dir\file)", R"(a\b\\c)"}},
        {"ümlaut \"✓ ✓\"", {"ümlaut", "✓ ✓"}},
    };
    const TempDir dir;
    for (const ArgvCase& c : cases) {
        const std::string line = ChildProgram() + " echo " + c.arguments;
        ASSERT_EQ(RunCommand(line, dir.path()), 0u) << line;
        Arguments expected = {ChildProgram(), "echo"};
        expected.insert(expected.end(), c.expected.begin(), c.expected.end());
        EXPECT_EQ(EchoedArguments(dir.path()), expected) << line;
        // The child's own command line gives the same arguments back.
        EXPECT_EQ(tevo::win::SplitCommandLine(ReadFile(dir / "cmdline.out")), expected) << line;
        fs::remove(dir / "argv.out");
    }
}

TEST(ProcessCreation, ApplicationNameIsTheProgramAndTheCommandLineIsPassedOn) {
    const TempDir dir;
    std::string line = "\"any name\" echo x";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION information{};
    ASSERT_TRUE(CreateProcessA(ChildProgram().c_str(), line.data(), nullptr, nullptr, FALSE, 0,
                               nullptr, dir.path().c_str(), &startup, &information));
    EXPECT_EQ(tevo::process_testing::Finish(information), 0u);
    EXPECT_EQ(EchoedArguments(dir.path()), (Arguments{"any name", "echo", "x"}));
    EXPECT_EQ(line, "\"any name\" echo x");  // not modified

    // Without a command line the application name alone is the command line.
    ASSERT_TRUE(CreateProcessA(ChildProgram().c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, nullptr, &information));
    EXPECT_EQ(tevo::process_testing::Finish(information), 99u);  // its "no arguments" code
}

TEST(ProcessCreation, FailuresAreReportedInTheCaller) {
    const TempDir dir;
    tevo::testing::WriteFile(dir / "not-executable", "#!/bin/sh\nexit 0\n");
    tevo::testing::WriteFile(dir / "no-interpreter-line", "exit 0\n");
    fs::permissions(dir / "no-interpreter-line", fs::perms::owner_all);
    struct FailureCase {
        std::string line;
        DWORD error;
    };
    const FailureCase cases[] = {
        {(dir / "missing").string() + " a b", ERROR_FILE_NOT_FOUND},
        {"tevo-no-such-program-anywhere x", ERROR_FILE_NOT_FOUND},
        {"\"\" x", ERROR_FILE_NOT_FOUND},
        {(dir / "not-executable").string(), ERROR_ACCESS_DENIED},
        {dir.path().string(), ERROR_ACCESS_DENIED},
        {(dir / "no-interpreter-line").string(), ERROR_BAD_EXE_FORMAT},
        {"   ", ERROR_INVALID_PARAMETER},
    };
    for (const FailureCase& c : cases) {
        std::string line = c.line;
        PROCESS_INFORMATION information{};
        SetLastError(0);
        EXPECT_FALSE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                    nullptr, nullptr, &information))
            << c.line;
        EXPECT_EQ(GetLastError(), c.error) << c.line;
        EXPECT_EQ(information.hProcess, nullptr) << c.line;
    }

    std::string line = ChildProgram() + " exit 0";
    PROCESS_INFORMATION information{};
    EXPECT_FALSE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                (dir / "no-such-folder").c_str(), nullptr, &information));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIRECTORY));
    EXPECT_FALSE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                                nullptr, nullptr, nullptr, &information));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    EXPECT_FALSE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                &startup, &information));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
    EXPECT_FALSE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(ProcessCreation, FindsProgramsByWindowsNames) {
    const TempDir dir;
    // "Tool.exe" finds "Tool" when there is no "Tool.exe"...
    fs::create_symlink(ChildProgram(), dir / "Tool");
    EXPECT_EQ(RunCommand((dir / "Tool.exe").string() + " exit 3"), 3u);
    // ...and "Tool.exe" itself once there is one, in any letter case.
    tevo::testing::WriteFile(dir / "Tool.exe", "#!/bin/sh\nexit 4\n");
    fs::permissions(dir / "Tool.exe", fs::perms::owner_all);
    EXPECT_EQ(RunCommand((dir / "TOOL.EXE").string() + " exit 3"), 4u);
    // A bare name is found on PATH.
    EXPECT_EQ(RunCommand("sh -c \"exit 7\""), 7u);
    // An unquoted path with blanks, as a program builds it from its own folder.
    fs::create_directories(dir / "my tools");
    fs::create_symlink(ChildProgram(), dir / "my tools" / "Setup.exe");
    const std::string line = (dir / "my tools" / "Setup.exe").string() + " echo a \"b c\"";
    EXPECT_EQ(RunCommand(line, dir.path()), 0u);
    EXPECT_EQ(EchoedArguments(dir.path()),
              (Arguments{(dir / "my tools" / "Setup.exe").string(), "echo", "a", "b c"}));
}

TEST(ProcessCreation, EnvironmentBlocksReplaceTheEnvironment) {
    const TempDir dir;
    std::string line = ChildProgram() + " env TEVO_BLOCK_VALUE";
    const char narrow_block[] = "=C:=C:\\\0TEVO_BLOCK_VALUE=from the block\0OTHER=1\0";
    PROCESS_INFORMATION information{};
    ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0,
                               const_cast<char*>(narrow_block), dir.path().c_str(), nullptr,
                               &information));
    EXPECT_EQ(tevo::process_testing::Finish(information), 0u);
    EXPECT_EQ(ReadFile(dir / "env.out"), "from the block");

    // A wide block, through CreateProcessW; PATH of the caller is not in it.
    std::wstring wide_line = tevo::win::Utf8ToWide(ChildProgram() + " env TEVO_BLOCK_VALUE");
    const wchar_t wide_block[] = L"TEVO_BLOCK_VALUE=grüße\0";
    const std::wstring wide_dir = dir.path().wstring();
    ASSERT_TRUE(CreateProcessW(nullptr, wide_line.data(), nullptr, nullptr, FALSE,
                               CREATE_UNICODE_ENVIRONMENT, const_cast<wchar_t*>(wide_block),
                               wide_dir.c_str(), nullptr, &information));
    EXPECT_EQ(tevo::process_testing::Finish(information), 0u);
    EXPECT_EQ(ReadFile(dir / "env.out"), "grüße");

    line = ChildProgram() + " env PATH";
    ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0,
                               const_cast<char*>(narrow_block), dir.path().c_str(), nullptr,
                               &information));
    EXPECT_EQ(tevo::process_testing::Finish(information), 0u);
    EXPECT_EQ(ReadFile(dir / "env.out"), "(unset)");
}

TEST(ProcessCreation, DescriptorsReachTheChildOnlyWhenHandlesAreInherited) {
    const TempDir dir;
    // A descriptor without close-on-exec, as code that locks a file might hold one.
    const int leaked = open("/dev/null", O_RDONLY);
    ASSERT_GE(leaked, 3);
    const std::string line = ChildProgram() + " fds";
    for (const BOOL inherit : {FALSE, TRUE}) {
        std::string text = line;
        PROCESS_INFORMATION information{};
        ASSERT_TRUE(CreateProcessA(nullptr, text.data(), nullptr, nullptr, inherit, 0, nullptr,
                                   dir.path().c_str(), nullptr, &information));
        EXPECT_EQ(tevo::process_testing::Finish(information), 0u);
        const std::string listed = ReadFile(dir / "fds.out");
        const bool found =
            ("\n" + listed).find("\n" + std::to_string(leaked) + "\n") != std::string::npos;
        EXPECT_EQ(found, inherit != FALSE) << "inherit " << inherit << ", open: " << listed;
    }
    close(leaked);
}

TEST(ProcessCreation, ChildStartsWithDefaultSignalState) {
    const TempDir dir;
    struct sigaction ignore {};
    struct sigaction previous {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, &previous);
    sigset_t usr1;
    sigset_t previous_mask;
    sigemptyset(&usr1);
    sigaddset(&usr1, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &usr1, &previous_mask);

    const DWORD code = RunCommand(ChildProgram() + " signals", dir.path());

    pthread_sigmask(SIG_SETMASK, &previous_mask, nullptr);
    sigaction(SIGPIPE, &previous, nullptr);
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(ReadFile(dir / "signals.out"), "SIGPIPE=default blocked=0");
}

}  // namespace

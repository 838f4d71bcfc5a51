// SetupRunner end to end: the built program is copied into a folder of the test's own,
// with tevo_runner_test_child beside it as "Setup.exe", and run in the test's system root;
// results are checked through its exit code, the registry and the root's message log.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "runner_test_support.h"
#include "tevo/testing/run_program.h"
#include "tevo/testing/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using tevo::testing::MessageLog;
using tevo::testing::ProgramRun;
using tevo::testing::ReadResultValue;
using tevo::testing::WriteResultValue;

// SetupRunner's exit code -1 as a Linux exit status.
constexpr int kFailed = 255;

// The Linux exit status that carries a number from -128 to 127.
int ExitStatus(int number) {
    return number & 0xFF;
}

class SetupRunner : public ::testing::Test {
  protected:
    // Places the program in folder/bin, with folder/lib leading to the build's libraries and,
    // when asked for, the test child as folder/bin/Setup.exe. Returns SetupRunner's path.
    static fs::path Install(const fs::path& folder, bool with_setup = true) {
        fs::create_directories(folder / "bin");
        fs::create_directory_symlink(TEVO_LIBRARY_DIR, folder / "lib");
        fs::path program = folder / "bin" / "setuprunner";
        fs::copy_file(TEVO_SETUPRUNNER_PROGRAM, program);
        if (with_setup) {
            fs::create_symlink(TEVO_RUNNER_TEST_CHILD, folder / "bin" / "Setup.exe");
        }
        return program;
    }

    static std::string Information(const std::string& text) {
        return "Information: " + text + "\n";
    }

    tevo::testing::TempDir dir_{"tevo-setuprunner"};
};

TEST_F(SetupRunner, ReturnsTheNumberTheSetupLeft) {
    const fs::path program = Install(dir_.path());
    std::string log;
    for (const char* result : {"42", "0", "-5", "127", "-128", "  17 apples"}) {
        const ProgramRun run = tevo::testing::RunProgram(program, {"result-setup", result});
        const int number = std::stoi(result);
        EXPECT_EQ(run.exit_code, ExitStatus(number)) << result;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, Information("Value to return: " + std::to_string(number) + "."));
        log += run.err;
    }
    EXPECT_EQ(MessageLog(), log);
}

TEST_F(SetupRunner, TakesTheValueWhateverTheSetupsOwnExitCode) {
    const fs::path program = Install(dir_.path());
    ASSERT_EQ(WriteResultValue("ResultSetup", REG_SZ, "9\0"s), ERROR_SUCCESS);
    const ProgramRun run = tevo::testing::RunProgram(program, {"exit", "3"});
    EXPECT_EQ(run.exit_code, 9);
    EXPECT_EQ(MessageLog(), Information("Value to return: 9."));
}

TEST_F(SetupRunner, LettersOnlyReturnMinusOne) {
    const fs::path program = Install(dir_.path());
    const ProgramRun run = tevo::testing::RunProgram(program, {"result-setup", "abc"});
    EXPECT_EQ(run.exit_code, kFailed);
    EXPECT_EQ(MessageLog(), Information("Value to return: -1."));
}

TEST_F(SetupRunner, AnEmptyTextFailsTheScan) {
    const fs::path program = Install(dir_.path());
    for (const char* result : {"", " \t "}) {
        const ProgramRun run = tevo::testing::RunProgram(program, {"result-setup", result});
        EXPECT_EQ(run.exit_code, kFailed);
    }
    EXPECT_EQ(MessageLog(), Information("sscanf failed") + Information("sscanf failed"));
}

TEST_F(SetupRunner, ReportsAMissingValue) {
    const fs::path program = Install(dir_.path());
    // No key, then the key without the value, then a value that is not a string.
    EXPECT_EQ(tevo::testing::RunProgram(program, {"exit", "0"}).exit_code, kFailed);
    ASSERT_EQ(WriteResultValue("ResultLauncher", REG_SZ, "0\0"s), ERROR_SUCCESS);
    EXPECT_EQ(tevo::testing::RunProgram(program, {"exit", "0"}).exit_code, kFailed);
    ASSERT_EQ(WriteResultValue("ResultSetup", REG_DWORD, "\x05\0\0\0"s), ERROR_SUCCESS);
    EXPECT_EQ(tevo::testing::RunProgram(program, {"exit", "0"}).exit_code, kFailed);
    const std::string message = Information("GetStringRegistryValue failed");
    EXPECT_EQ(MessageLog(), message + message + message);
}

TEST_F(SetupRunner, ReportsAMissingSetup) {
    const fs::path program = Install(dir_.path(), false);
    ASSERT_EQ(WriteResultValue("ResultSetup", REG_SZ, "5\0"s), ERROR_SUCCESS);
    const ProgramRun bare = tevo::testing::RunProgram(program, {});
    EXPECT_EQ(bare.exit_code, kFailed);
    const ProgramRun with_arguments = tevo::testing::RunProgram(program, {"-q", "a b"});
    EXPECT_EQ(with_arguments.exit_code, kFailed);
    const std::string setup = (dir_.path() / "bin" / "Setup.exe").string();
    EXPECT_EQ(MessageLog(), Information("CreateProcess failed for " + setup + " .") +
                                Information("CreateProcess failed for " + setup + " -q \"a b\"."));
}

TEST_F(SetupRunner, ReadsAResultLongerThanAnyFixedBuffer) {
    const fs::path program = Install(dir_.path());
    const std::string result = std::string(100000, ' ') + "-3";
    const ProgramRun run = tevo::testing::RunProgram(program, {"result-setup", result});
    EXPECT_EQ(run.exit_code, ExitStatus(-3));
    EXPECT_EQ(MessageLog(), Information("Value to return: -3."));
    EXPECT_EQ(ReadResultValue("ResultSetup").bytes, result + '\0');
}

TEST_F(SetupRunner, HandsItsArgumentsOnUnchanged) {
    const fs::path program = Install(dir_.path());
    ASSERT_EQ(WriteResultValue("ResultSetup", REG_SZ, "0\0"s), ERROR_SUCCESS);
    const std::string report = (dir_.path() / "argv").string();
    const std::vector<std::string> arguments = {"echo",      report,
                                                "a b",       "c\"d",
                                                "e\\",       "f\\\\\"g",
                                                "",          "\\\\server\\share\\",
                                                "tab\there", "\xC3\xA9\xE2\x82\xAC"};
    const ProgramRun run = tevo::testing::RunProgram(program, arguments);
    EXPECT_EQ(run.exit_code, 0) << run.err;
    std::vector<std::string> expected = {(dir_.path() / "bin" / "Setup.exe").string()};
    expected.insert(expected.end(), arguments.begin(), arguments.end());
    EXPECT_EQ(tevo::testing::ReadEchoedArguments(report), expected);
}

// In a folder with a blank, the Setup.exe beside SetupRunner starts, not a program named
// after the part of the path before the blank.
TEST_F(SetupRunner, StartsItsOwnSetupFromAFolderWithBlanks) {
    fs::create_symlink(TEVO_RUNNER_TEST_CHILD, dir_.path() / "my");
    const fs::path program = Install(dir_.path() / "my tools");
    const ProgramRun run = tevo::testing::RunProgram(program, {"result-setup", "42"});
    EXPECT_EQ(run.exit_code, 42) << run.err;
    EXPECT_EQ(MessageLog(), Information("Value to return: 42."));
}

TEST_F(SetupRunner, StartsItsOwnSetupFromAFolderWithALongPath) {
    fs::path folder = dir_.path();
    while (folder.string().size() <= 600) {
        folder /= std::string(90, 'd');
    }
    const fs::path program = Install(folder);
    ASSERT_GT(program.string().size(), 600u);
    const ProgramRun run = tevo::testing::RunProgram(program, {"result-setup", "42"});
    EXPECT_EQ(run.exit_code, 42) << run.err;
    EXPECT_EQ(MessageLog(), Information("Value to return: 42."));
}

// A double quote cannot be part of a program name on a command line: SetupRunner starts
// nothing rather than a program the mangled name might find. (Its own command line cannot
// carry its name either, so its argument text is lost; no arguments are given here.)
TEST_F(SetupRunner, RefusesAFolderThatACommandLineCannotName) {
    const fs::path program = Install(dir_.path() / "a\"b");
    // What the name would be taken for: the quote dropped, the blank after it kept.
    const fs::path marker = dir_.path() / "decoy-ran";
    const fs::path decoy = tevo::testing::WriteFile(dir_.path() / "ab" / "bin" / "Setup.exe ",
                                                    "#!/bin/sh\ntouch '" + marker.string() + "'\n");
    fs::permissions(decoy, fs::perms::owner_all);
    const ProgramRun run = tevo::testing::RunProgram(program, {});
    EXPECT_EQ(run.exit_code, kFailed);
    EXPECT_FALSE(fs::exists(marker));
    EXPECT_EQ(MessageLog(),
              Information("CreateProcess failed for " +
                          (dir_.path() / "a\"b" / "bin" / "Setup.exe").string() + " ."));
}

}  // namespace

// The command line that starts Setup.exe from SetupRunner's folder.
#include "setup_command.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tevo/win/process.h"

namespace {

using tevo::tools::SetupCommandLine;
using tevo::tools::SetupProgramPath;

TEST(SetupCommand, OwnProgramPathIsThisProgramsFile) {
    EXPECT_EQ(std::filesystem::path(tevo::tools::OwnProgramPath()),
              std::filesystem::canonical("/proc/self/exe"));
}

TEST(SetupCommand, SetupIsInTheProgramsFolder) {
    EXPECT_EQ(SetupProgramPath("/opt/tools/SetupRunner"), "/opt/tools/Setup.exe");
    EXPECT_EQ(SetupProgramPath("C:\\Install\\SetupRunner.exe"), "C:\\Install\\Setup.exe");
    EXPECT_EQ(SetupProgramPath("/opt/a\\b/SetupRunner"), "/opt/a\\b/Setup.exe");
    EXPECT_EQ(SetupProgramPath("C:\\a/b\\SetupRunner.exe"), "C:\\a/b\\Setup.exe");
    EXPECT_EQ(SetupProgramPath("/SetupRunner"), "/Setup.exe");
    EXPECT_EQ(SetupProgramPath("SetupRunner"), "");
    EXPECT_EQ(SetupProgramPath(""), "");
}

TEST(SetupCommand, ArgumentsFollowTheProgramUnchanged) {
    EXPECT_EQ(SetupCommandLine("/opt/tools/Setup.exe", "-q \"a  b\" c\\\"d"),
              "/opt/tools/Setup.exe -q \"a  b\" c\\\"d");
    EXPECT_EQ(SetupCommandLine("/opt/tools/Setup.exe", ""), "/opt/tools/Setup.exe ");
}

TEST(SetupCommand, AProgramPathWithBlanksIsQuoted) {
    const std::string line = SetupCommandLine("/opt/my tools\t1/Setup.exe", "x \"y z\"");
    EXPECT_EQ(line, "\"/opt/my tools\t1/Setup.exe\" x \"y z\"");
    const std::vector<std::string> expected = {"/opt/my tools\t1/Setup.exe", "x", "y z"};
    EXPECT_EQ(tevo::win::SplitCommandLine(line), expected);
}

TEST(SetupCommand, NoCommandLineForAPathACommandLineCannotCarry) {
    EXPECT_EQ(SetupCommandLine("/opt/a\"b/Setup.exe", "x"), "");
    EXPECT_EQ(SetupCommandLine("", "x"), "");
}

}  // namespace

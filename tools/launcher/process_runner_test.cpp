// The argument text that Launcher and SetupRunner take from their own command line. Starting
// the command and the message boxes are tested end to end with the programs.
#include "process_runner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tevo/win/process.h"

namespace {

TEST(ArgumentText, IsWhatFollowsTheProgramNameUnchanged) {
    struct Case {
        const char* line;
        const char* arguments;
    };
    const std::vector<Case> cases = {
        {"prog a b", "a b"},
        {"  prog \t  a  \"b  c\" ", "a  \"b  c\" "},
        {"prog", ""},
        {"prog   ", ""},
        {"", ""},
        {"\"C:\\my dir\\prog.exe\" -x", "-x"},
        // Backslashes are literal in the program name: the quote still ends quoting.
        {"\"C:\\dir\\\" arg", "arg"},
        {"C:\\dir\\\"x y\" z", "z"},
        {"\"a b\"c d e", "d e"},
        // An unclosed quote takes the rest of the line into the program name.
        {"\"prog a b", ""},
        {"prog\t\ta\\\"b", "a\\\"b"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(tevo::tools::ArgumentText(c.line), c.arguments) << c.line;
    }
}

TEST(ArgumentText, SplitsAsTheCommandLineRulesDo) {
    // The program name that the rules read, followed by the argument text, is the line.
    const std::string line = "\"/opt/my tools/prog\" one \"two three\" \\\"four\\\" \"\"";
    const std::vector<std::string> whole = tevo::win::SplitCommandLine(line);
    std::vector<std::string> rest = tevo::win::SplitArguments(tevo::tools::ArgumentText(line));
    rest.insert(rest.begin(), "/opt/my tools/prog");
    EXPECT_EQ(rest, whole);
}

}  // namespace

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tevo/win/lasterror.h"
#include "tevo/win/process.h"
#include "tevo/win/resources.h"
#include "tevo/win/shell.h"
#include "tevo/win/text.h"
#include "tevo/win/winerror.h"

namespace {

using Arguments = std::vector<std::string>;

struct SplitCase {
    const char* line;
    Arguments expected;
};

TEST(CommandLine, SplitsByTheWindowsRules) {
    const SplitCase cases[] = {
        {"prog a b c", {"prog", "a", "b", "c"}},
        {"  prog \t a\tb   ", {"prog", "a", "b"}},
        {"prog \"a b\" c", {"prog", "a b", "c"}},
        {"prog a\"b c\"d", {"prog", "ab cd"}},
        // 2n+1 backslashes before a quote: n backslashes and a literal quote.
        {R"(prog "a\"b")", {"prog", "a\"b"}},
        {R"(prog a\\\"b)", {"prog", R"(a\"b)"}},
        // 2n backslashes before a quote: n backslashes, and the quote toggles quoting.
        {R"(prog a\\"b c")", {"prog", R"(a\b c)"}},
        {R"(prog "dir\\" next)", {"prog", R"(dir\)", "next"}},
        {R"(prog "a\\\\")", {"prog", R"(a\\)"}},
        // Backslashes not before a quote are literal.
        {R"(prog a\b\\c d\)", {"prog", R"(a\b\\c)", R"(d\)"}},
        // "" inside quotes is a literal quote and quoting goes on.
        {R"(prog "a""b c")", {"prog", "a\"b c"}},
        {R"(prog """")", {"prog", "\""}},
        {R"(prog a""b)", {"prog", "ab"}},
        {R"(prog "" b "")", {"prog", "", "b", ""}},
        {R"(prog \"a b\")", {"prog", "\"a", "b\""}},
        {"prog \"open to the end", {"prog", "open to the end"}},
        // The program name: quotes group, backslashes are literal.
        {R"("C:\dir\" arg)", {R"(C:\dir\)", "arg"}},
        {"\"my prog\" x", {"my prog", "x"}},
        {"p\"ro g\"ram x", {"pro gram", "x"}},
        {R"(/opt/a\b x)", {R"(/opt/a\b)", "x"}},
        {"\"\"", {""}},
        {"", {}},
        {" \t ", {}},
    };
    for (const SplitCase& c : cases) {
        EXPECT_EQ(tevo::win::SplitCommandLine(c.line), c.expected) << "command line: " << c.line;
    }
}

TEST(CommandLine, ArgumentTextsHaveNoProgramNameRule) {
    // The same text as a program name and as an argument: the escaped quote counts only in
    // the argument.
    EXPECT_EQ(tevo::win::SplitArguments(R"("C:\dir\" x)"), Arguments{R"(C:\dir" x)"});
    EXPECT_EQ(tevo::win::SplitCommandLine(R"("C:\dir\" x)"), (Arguments{R"(C:\dir\)", "x"}));
    EXPECT_EQ(tevo::win::SplitArguments("/tmp/dr0001.tmp.vbs"), Arguments{"/tmp/dr0001.tmp.vbs"});
    EXPECT_EQ(tevo::win::SplitArguments(""), Arguments{});
}

TEST(CommandLine, QuotingGivesEveryArgumentBack) {
    EXPECT_EQ(tevo::win::QuoteArgument("plain"), "plain");
    EXPECT_EQ(tevo::win::QuoteArgument(""), "\"\"");
    EXPECT_EQ(tevo::win::QuoteArgument(R"(a b\)"), R"("a b\\")");
    EXPECT_EQ(tevo::win::QuoteArgument(R"(say "hi")"), R"("say \"hi\"")");
    EXPECT_EQ(tevo::win::QuoteArgument(R"(a\b)"), R"(a\b)");

    const Arguments tricky = {"/path with blank/prog",
                              "",
                              "a b",
                              "a\"b",
                              R"(a\)",
                              R"(a\\\"b)",
                              R"(\")",
                              "tab\there",
                              R"(trailing\\)",
                              "\"\"",
                              R"(x y\)",
                              "ümlaut ✓"};
    const std::string line = tevo::win::JoinCommandLine(tricky);
    EXPECT_EQ(tevo::win::SplitCommandLine(line), tricky) << line;
    EXPECT_EQ(tevo::win::JoinCommandLine({"prog", "a"}), "prog a");
}

TEST(CommandLine, CommandLineToArgvWGivesOneBlock) {
    int count = -1;
    LPWSTR* arguments = CommandLineToArgvW(L"prog \"a b\" c\\\"d", &count);
    ASSERT_NE(arguments, nullptr);
    ASSERT_EQ(count, 3);
    EXPECT_STREQ(arguments[0], L"prog");
    EXPECT_STREQ(arguments[1], L"a b");
    EXPECT_STREQ(arguments[2], L"c\"d");
    EXPECT_EQ(arguments[3], nullptr);
    EXPECT_EQ(LocalFree(arguments), nullptr);

    // An empty command line stands for the running program.
    arguments = CommandLineToArgvW(L"", &count);
    ASSERT_NE(arguments, nullptr);
    ASSERT_EQ(count, 1);
    EXPECT_EQ(std::filesystem::path(arguments[0]), std::filesystem::read_symlink("/proc/self/exe"));
    LocalFree(arguments);

    SetLastError(0);
    EXPECT_EQ(CommandLineToArgvW(L"prog", nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(CommandLine, OwnCommandLineIsStableAndAgreesInBothWidths) {
    const LPSTR narrow = GetCommandLineA();
    ASSERT_NE(narrow, nullptr);
    EXPECT_EQ(GetCommandLineA(), narrow);
    EXPECT_EQ(tevo::win::Utf8ToWide(narrow), std::wstring(GetCommandLineW()));
    const Arguments own = tevo::win::SplitCommandLine(narrow);
    ASSERT_FALSE(own.empty());
    EXPECT_NE(own.front().find("tevo_win_test"), std::string::npos) << own.front();
}

}  // namespace

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tevo/testing/temp_dir.h"
#include "tevo/win/messagebox.h"
#include "tevo/win/sysroot.h"

namespace {

std::string MessagesLog() {
    return tevo::testing::ReadFile(tevo::testing::CurrentSystemRoot() / "messages.log");
}

TEST(MessageBoxes, WritesTheLineToStandardErrorAndTheLogAndReturnsOk) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxA(nullptr, "CreateProcess failed for Setup.exe.", "Information",
                          MB_OK | MB_ICONINFORMATION),
              IDOK);
    EXPECT_EQ(MessageBoxW(nullptr, L"Value to return: -1.", L"Inf\u00f6rmation", MB_OK), IDOK);
    // Boxes that would ask a question still return at once.
    EXPECT_EQ(MessageBoxA(nullptr, "Continue?", nullptr, MB_YESNO | MB_ICONQUESTION), IDOK);
    const std::string expected =
        "Information: CreateProcess failed for Setup.exe.\n"
        "Inf\xC3\xB6rmation: Value to return: -1.\n"
        "Error: Continue?\n";
    EXPECT_EQ(testing::internal::GetCapturedStderr(), expected);
    EXPECT_EQ(MessagesLog(), expected);
}

TEST(MessageBoxes, KeepsMultiLineTextsAndEmptyTexts) {
    testing::internal::CaptureStderr();
    MessageBoxA(nullptr, "Error: PutContentToRegistry::RegOpenKeyEx\nSOFTWARE\\Sorvant\\Tmp",
                "Information", MB_OK);
    MessageBoxW(nullptr, nullptr, L"Empty", MB_OK);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(MessagesLog(),
              "Information: Error: PutContentToRegistry::RegOpenKeyEx\nSOFTWARE\\Sorvant\\Tmp\n"
              "Empty: \n");
}

TEST(MessageBoxes, LinesOfProcessesWritingAtOnceNeverMix) {
    const std::string root = tevo::testing::CurrentSystemRoot().string();
    tevo::win::SystemRoot();  // set up before the writers start
    const std::string long_text(5000, 'z');
    std::vector<pid_t> children;
    for (int c = 0; c < 4; ++c) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // Standard error goes nowhere; only the log is looked at.
            freopen("/dev/null", "w", stderr);
            for (int i = 0; i < 50; ++i) {
                const std::string caption = "writer" + std::to_string(c);
                MessageBoxA(nullptr, (std::to_string(i) + " " + long_text).c_str(), caption.c_str(),
                            MB_OK);
            }
            _exit(0);
        }
        children.push_back(child);
    }
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::istringstream log(MessagesLog());
    std::map<std::string, int> next;  // per writer, the number of its next line
    std::string line;
    int lines = 0;
    while (std::getline(log, line)) {
        ++lines;
        const std::size_t colon = line.find(": ");
        ASSERT_NE(colon, std::string::npos) << line.substr(0, 40);
        const std::string writer = line.substr(0, colon);
        const std::string expected = std::to_string(next[writer]++) + " " + long_text;
        ASSERT_EQ(line.substr(colon + 2), expected) << writer;
    }
    EXPECT_EQ(lines, 200);
    EXPECT_EQ(next.size(), 4u);
}

}  // namespace

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "tevo/testing/temp_dir.h"
#include "tevo/win/sysroot.h"
#include "tevo/win/text.h"

namespace {

namespace fs = std::filesystem;

TEST(WindowsDirectories, FollowTheWindowsSizeProtocol) {
    const std::string expected = (tevo::testing::CurrentSystemRoot() / "Windows").string();
    const UINT length = static_cast<UINT>(expected.size());
    char buffer[MAX_PATH];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(GetWindowsDirectoryA(buffer, length), length + 1);  // no room for the zero
    EXPECT_EQ(buffer[0], 'x');
    EXPECT_EQ(GetWindowsDirectoryA(nullptr, 0), length + 1);
    EXPECT_EQ(GetWindowsDirectoryA(buffer, length + 1), length);
    EXPECT_EQ(std::string(buffer), expected);
    EXPECT_EQ(GetSystemWindowsDirectoryA(buffer, MAX_PATH), length);

    ASSERT_GT(GetSystemDirectoryA(buffer, MAX_PATH), 0u);
    EXPECT_EQ(std::string(buffer), expected + "/System32");

    const DWORD temp_length = GetTempPathA(MAX_PATH, buffer);
    EXPECT_EQ(std::string(buffer), expected + "/Temp/");
    EXPECT_EQ(temp_length, expected.size() + 6);
    EXPECT_TRUE(fs::is_directory(buffer));
}

TEST(WindowsDirectories, WideFormsCountCharacters) {
    const fs::path root = tevo::testing::CurrentSystemRoot() / "r\xC3\xBC\xC3\xBC";  // "rüü"
    setenv("TEVO_SYSTEM_ROOT", root.c_str(), 1);
    const std::wstring expected = tevo::win::Utf8ToWide((root / "Windows").string());
    wchar_t buffer[MAX_PATH];
    EXPECT_EQ(GetWindowsDirectoryW(buffer, 3), expected.size() + 1);
    ASSERT_EQ(GetWindowsDirectoryW(buffer, MAX_PATH), expected.size());
    EXPECT_EQ(std::wstring(buffer), expected);
    ASSERT_GT(GetTempPathW(MAX_PATH, buffer), 0u);
    EXPECT_EQ(std::wstring(buffer), expected + L"/Temp/");
    ASSERT_GT(GetSystemDirectoryW(buffer, MAX_PATH), 0u);
    EXPECT_EQ(std::wstring(buffer), expected + L"/System32");
}

TEST(EnvironmentExpansion, ExpandsMachineAndProcessVariables) {
    const std::string windows = (tevo::testing::CurrentSystemRoot() / "Windows").string();
    setenv("TEVO_TEST_VARIABLE", "value", 1);
    char buffer[1024];
    const auto expand = [&](const char* text) {
        const DWORD size = ExpandEnvironmentStringsA(text, buffer, sizeof buffer);
        EXPECT_EQ(size, std::strlen(buffer) + 1) << text;
        return std::string(buffer);
    };
    EXPECT_EQ(expand("%windir%\\Help"), windows + "\\Help");
    EXPECT_EQ(expand("%SYSTEMROOT%"), windows);
    EXPECT_EQ(expand("%TEMP%/x"), windows + "/Temp/x");
    EXPECT_EQ(expand("%ProgramData%"),
              (tevo::testing::CurrentSystemRoot() / "ProgramData").string());
    EXPECT_EQ(expand("%SystemDrive%"), tevo::testing::CurrentSystemRoot().string());
    EXPECT_EQ(expand("[%tevo_test_variable%]"), "[value]");  // names ignore case
    EXPECT_EQ(expand("%TEVO_NOT_SET_ANYWHERE%"), "%TEVO_NOT_SET_ANYWHERE%");
    EXPECT_EQ(expand("100% sure"), "100% sure");
    EXPECT_EQ(expand("%%"), "%%");
    // An unknown reference gives up its first "%" only; its closing one may open the next.
    EXPECT_EQ(expand("%TEVO_NOT_SET%windir%"), "%TEVO_NOT_SET" + windows);
    unsetenv("TEVO_TEST_VARIABLE");
}

TEST(EnvironmentExpansion, ReportsTheSizeNeededWhenTheBufferIsShort) {
    setenv("TEVO_TEST_VARIABLE", "value", 1);
    char buffer[8];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(ExpandEnvironmentStringsA("a%TEVO_TEST_VARIABLE%b", buffer, 7), 8u);
    EXPECT_EQ(buffer[0], 'x');
    EXPECT_EQ(ExpandEnvironmentStringsA("a%TEVO_TEST_VARIABLE%b", buffer, 8), 8u);
    EXPECT_STREQ(buffer, "avalueb");
    wchar_t wide[8];
    EXPECT_EQ(ExpandEnvironmentStringsW(L"\u00e9%TEVO_TEST_VARIABLE%", wide, 8), 7u);
    EXPECT_EQ(std::wstring(wide), L"\u00e9value");
    unsetenv("TEVO_TEST_VARIABLE");
}

}  // namespace

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <set>
#include <string>

#include "file_support.h"
#include "temp_file_name.h"
#include "tevo/testing/temp_dir.h"
#include "tevo/win/files.h"
#include "tevo/win/lasterror.h"
#include "tevo/win/sysroot.h"
#include "tevo/win/winerror.h"

namespace {

namespace fs = std::filesystem;

std::size_t EntryCount(const fs::path& folder) {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

TEST(TempFileNames, AGivenNumberAlwaysGivesTheSameNameAndCreatesNothing) {
    char temp_path[MAX_PATH];
    ASSERT_GT(GetTempPathA(MAX_PATH, temp_path), 0u);
    const fs::path temp_folder = tevo::win::TempDirectory();
    const std::size_t before = EntryCount(temp_folder);

    char first[MAX_PATH];
    char second[MAX_PATH];
    EXPECT_EQ(GetTempFileNameA(temp_path, "dr", 1, first), 1u);
    EXPECT_EQ(GetTempFileNameA(temp_path, "dr", 1, second), 1u);
    EXPECT_STREQ(first, second);
    EXPECT_EQ(std::string(first), std::string(temp_path) + "dr0001.tmp");
    EXPECT_EQ(EntryCount(temp_folder), before);
    EXPECT_FALSE(fs::exists(first));

    // Only three characters of the prefix and the low 16 bits of the number are used; a
    // folder without a trailing separator gets one.
    const std::string folder = temp_folder.string();
    EXPECT_EQ(GetTempFileNameA(folder.c_str(), "prefix", 0x1ABCD, first), 0x1ABCDu);
    EXPECT_EQ(std::string(first), folder + "/preABCD.tmp");
    wchar_t wide[MAX_PATH];
    EXPECT_EQ(GetTempFileNameW(L"C:\\Temp\\", L"\u00e9t\u00e9s", 0xbeef, wide), 0xbeefu);
    EXPECT_EQ(std::wstring(wide), L"C:\\Temp\\\u00e9t\u00e9BEEF.tmp");
}

TEST(TempFileNames, NumberZeroCreatesAUniqueEmptyFileEachTime) {
    const std::string folder = tevo::win::TempDirectory().string();
    std::set<std::string> names;
    for (int i = 0; i < 20; ++i) {
        char name[MAX_PATH];
        const UINT number = GetTempFileNameA(folder.c_str(), "tv", 0, name);
        ASSERT_NE(number, 0u);
        char expected[16];
        std::snprintf(expected, sizeof expected, "tv%04X.tmp", number);
        EXPECT_EQ(fs::path(name).filename().string(), expected);
        EXPECT_TRUE(fs::is_regular_file(name));
        EXPECT_EQ(fs::file_size(name), 0u);
        names.insert(name);
    }
    EXPECT_EQ(names.size(), 20u);
}

TEST(TempFileNames, TheFreeNumberSkipsNamesTakenInAnyLetterCase) {
    using tevo::win::detail::FirstFreeTempNumber;
    using tevo::win::detail::FoldedName;
    std::set<std::wstring> taken = {FoldedName("AB0005.TMP"), FoldedName("ab0006.tmp"),
                                    FoldedName("Ab0007.Tmp"), FoldedName("AB0009.TMP"),
                                    FoldedName("ABFFFF.TMP")};
    EXPECT_EQ(FirstFreeTempNumber(taken, L"ab", 5), 8u);
    EXPECT_EQ(FirstFreeTempNumber(taken, L"AB", 9), 10u);
    EXPECT_EQ(FirstFreeTempNumber(taken, L"ab", 0xFFFF), 1u);  // goes on at 1, never 0
    EXPECT_EQ(FirstFreeTempNumber(taken, L"cd", 5), 5u);
    for (unsigned number = 1; number <= 0xFFFF; ++number) {
        taken.insert(FoldedName(tevo::win::detail::TempFileName(L"AB", number)));
    }
    EXPECT_EQ(FirstFreeTempNumber(taken, L"ab", 5), 0u);
}

TEST(TempFileNames, AFileTakenInAnotherCaseIsNotCreatedAgain) {
    const tevo::testing::TempDir dir;
    char name[MAX_PATH];
    const UINT number = GetTempFileNameA(dir.path().c_str(), "ab", 0, name);
    ASSERT_NE(number, 0u);
    // Rename the new file to upper case: the next name must still differ from it.
    std::string upper_name = fs::path(name).filename().string();
    for (char& c : upper_name) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    fs::rename(name, dir / upper_name);
    for (int i = 0; i < 3; ++i) {
        char next[MAX_PATH];
        ASSERT_NE(GetTempFileNameA(dir.path().c_str(), "ab", 0, next), 0u);
        EXPECT_FALSE(
            tevo::win::NamesEqualIgnoringCase(fs::path(next).filename().string(), upper_name));
    }
    EXPECT_EQ(EntryCount(dir.path()), 4u);
}

TEST(TempFileNames, FailsCleanlyOnBadFoldersAndLongNames) {
    char name[MAX_PATH];
    const std::string missing = (tevo::win::TempDirectory() / "missing").string();
    EXPECT_EQ(GetTempFileNameA(missing.c_str(), "x", 0, name), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

    const std::string long_folder(MAX_PATH - 10, 'a');
    EXPECT_EQ(GetTempFileNameA(long_folder.c_str(), "x", 1, name), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BUFFER_OVERFLOW));
    EXPECT_EQ(GetTempFileNameA(nullptr, "x", 1, name), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace

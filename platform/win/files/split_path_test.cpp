#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tevo/testing/temp_dir.h"
#include "tevo/win/files.h"
#include "tevo/win/sysroot.h"
#include "tevo/win/text.h"

namespace {

namespace fs = std::filesystem;

struct Parts {
    std::string drive, dir, fname, ext;
};

Parts Split(const std::string& path) {
    char drive[_MAX_DRIVE];
    char dir[_MAX_DIR];
    char fname[_MAX_FNAME];
    char ext[_MAX_EXT];
    _splitpath(path.c_str(), drive, dir, fname, ext);
    return {drive, dir, fname, ext};
}

void ExpectParts(const std::string& path, const Parts& expected) {
    const Parts parts = Split(path);
    EXPECT_EQ(parts.drive, expected.drive) << path;
    EXPECT_EQ(parts.dir, expected.dir) << path;
    EXPECT_EQ(parts.fname, expected.fname) << path;
    EXPECT_EQ(parts.ext, expected.ext) << path;
}

TEST(SplitPath, TakesWindowsPathsApart) {
    ExpectParts("C:\\Windows\\Help\\hhcolreg.dat", {"C:", "\\Windows\\Help\\", "hhcolreg", ".dat"});
    ExpectParts("c:name.tar.gz", {"c:", "", "name.tar", ".gz"});
    ExpectParts("folder/.profile", {"", "folder/", "", ".profile"});
    ExpectParts("no_extension", {"", "", "no_extension", ""});
    ExpectParts("/outside/the/root/", {"", "/outside/the/root/", "", ""});
    ExpectParts("", {"", "", "", ""});
}

TEST(SplitPath, TheSystemRootIsTheDriveOfPathsInsideIt) {
    const std::string root = tevo::win::SystemRoot().string();
    char windows[MAX_PATH];
    ASSERT_GT(GetWindowsDirectoryA(windows, MAX_PATH), 0u);
    ExpectParts(windows, {root, "/", "Windows", ""});
    ExpectParts(root + "\\Windows\\Help\\x.chm", {root, "\\Windows\\Help\\", "x", ".chm"});
    ExpectParts(root + "-sibling/x.txt", {"", root + "-sibling/", "x", ".txt"});  // not inside
    // A Windows-style path built on that drive lands inside the root: the older all-users
    // folder name leads to the all-users data directory.
    tevo::testing::WriteFile(
        tevo::win::AllUsersDataDirectory() / "Microsoft/HTML Help/hhcolreg.dat", "x");
    const std::string old_style =
        Split(windows).drive +
        "\\Documents and Settings\\All Users\\Application Data\\Microsoft\\HTML Help\\"
        "hhcolreg.dat";
    EXPECT_EQ(GetFileAttributesA(old_style.c_str()), FILE_ATTRIBUTE_NORMAL);

    wchar_t drive[_MAX_DRIVE];
    wchar_t dir[_MAX_DIR];
    _wsplitpath(tevo::win::Utf8ToWide(root + "/ProgramData/a.b").c_str(), drive, dir, nullptr,
                nullptr);
    EXPECT_EQ(std::wstring(drive), tevo::win::Utf8ToWide(root));
    EXPECT_EQ(std::wstring(dir), L"/ProgramData/");
}

TEST(SplitPath, CutsLongPartsToTheirBuffersOnCharacterBoundaries) {
    std::string long_name;
    for (int i = 0; i < 200; ++i) {
        long_name += "\xC3\xA9";  // 400 bytes of "é"
    }
    char fname[_MAX_FNAME];
    char ext[_MAX_EXT];
    _splitpath(("dir/" + long_name + ".x").c_str(), nullptr, nullptr, fname, ext);
    EXPECT_EQ(std::string(fname).size(), 254u);  // 127 whole characters fit in 255 bytes
    EXPECT_TRUE(tevo::win::IsValidUtf8(fname));
    EXPECT_STREQ(ext, ".x");
}

TEST(FullPathNames, MakesPathsAbsoluteWithTheWindowsSizeProtocol) {
    const tevo::testing::TempDir dir;
    const fs::path previous = fs::current_path();
    fs::current_path(dir.path());
    char buffer[MAX_PATH];
    char* file_part = nullptr;
    const DWORD length = GetFullPathNameA("sub\\..\\a\\.\\b.txt", MAX_PATH, buffer, &file_part);
    fs::current_path(previous);
    const std::string expected = (dir.path() / "a/b.txt").string();
    EXPECT_EQ(std::string(buffer), expected);
    EXPECT_EQ(length, expected.size());
    ASSERT_NE(file_part, nullptr);
    EXPECT_STREQ(file_part, "b.txt");

    EXPECT_EQ(GetFullPathNameA("/x/y/", MAX_PATH, buffer, &file_part), 5u);
    EXPECT_STREQ(buffer, "/x/y/");
    EXPECT_EQ(file_part, nullptr);
    EXPECT_EQ(GetFullPathNameA("/x/y", 4, buffer, &file_part), 5u);  // size needed
    wchar_t wide[8];
    EXPECT_EQ(GetFullPathNameW(L"/\u00e9/.", 8, wide, nullptr), 2u);
    EXPECT_EQ(std::wstring(wide), L"/\u00e9");
    EXPECT_EQ(GetFullPathNameA("", MAX_PATH, buffer, nullptr), 0u);
}

}  // namespace

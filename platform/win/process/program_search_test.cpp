#include "program_search.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "tevo/testing/temp_dir.h"
#include "tevo/win/winerror.h"

namespace {

namespace fs = std::filesystem;
using tevo::win::detail::FindProgram;

// An executable file (or, with executable false, one that may not be run).
fs::path MakeProgram(const fs::path& path, bool executable = true) {
    tevo::testing::WriteFile(path, "#!/bin/sh\nexit 0\n");
    fs::permissions(
        path, executable ? fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read
                         : fs::perms::owner_read | fs::perms::owner_write);
    return path;
}

TEST(ProgramSearch, PathsAreTakenAsTheyAreWithTheExeEndingDroppedWhenMissing) {
    const tevo::testing::TempDir dir;
    MakeProgram(dir / "Setup");
    // No "Setup.exe": the name without its ending is found.
    auto found = FindProgram((dir / "Setup.exe").string(), true, "");
    EXPECT_EQ(found.error, static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(fs::path(found.path), dir / "Setup");
    // Both exist: the name as written wins.
    MakeProgram(dir / "Setup.exe");
    found = FindProgram((dir / "Setup.exe").string(), true, "");
    EXPECT_EQ(fs::path(found.path), dir / "Setup.exe");
    // Letter case and "\" separators as Windows names have them.
    found = FindProgram(dir.path().string() + "\\SETUP.EXE", true, "");
    EXPECT_EQ(found.error, static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(fs::path(found.path), dir / "Setup.exe");
    // Only an ending ".exe" is dropped.
    EXPECT_EQ(FindProgram((dir / "Setup.bat").string(), true, "").error,
              static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(ProgramSearch, BareNamesAreLookedForOnThePathInOrder) {
    const tevo::testing::TempDir dir;
    fs::create_directories(dir / "first");
    fs::create_directories(dir / "second");
    MakeProgram(dir / "first" / "tool", false);  // found first but may not be run
    MakeProgram(dir / "second" / "tool");
    MakeProgram(dir / "second" / "other");
    MakeProgram(dir / "first" / "other");
    const std::string path_list = (dir / "missing").string() + "::" + (dir / "first").string() +
                                  ":" + (dir / "second").string();

    auto found = FindProgram("other", true, path_list);
    EXPECT_EQ(fs::path(found.path), dir / "first" / "other");
    found = FindProgram("tool.exe", true, path_list);
    EXPECT_EQ(found.error, static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(fs::path(found.path), dir / "second" / "tool");
    // Without the search, a bare name is only a file of the current folder.
    EXPECT_EQ(FindProgram("other", false, path_list).error,
              static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    // A name with a folder part is never looked for on the path.
    EXPECT_EQ(FindProgram("first/other", true, (dir / "x").string()).error,
              static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(ProgramSearch, FailuresTellMissingFromDenied) {
    const tevo::testing::TempDir dir;
    MakeProgram(dir / "readonly", false);
    fs::create_directories(dir / "folder");

    auto found = FindProgram((dir / "readonly").string(), true, "");
    EXPECT_EQ(found.error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(FindProgram((dir / "folder").string(), true, "").error,
              static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(FindProgram((dir / "nothing").string(), true, "").error,
              static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(FindProgram("tevo-no-such-program", true, dir.path().string()).error,
              static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(FindProgram("", true, dir.path().string()).error,
              static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(FindProgram(dir.path().string() + "/", true, "").error,
              static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

}  // namespace

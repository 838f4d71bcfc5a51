#include <gtest/gtest.h>

#include <filesystem>

#include "tevo/testing/temp_dir.h"
#include "tevo/win/files.h"
#include "tevo/win/text.h"

namespace {

namespace fs = std::filesystem;
using tevo::testing::TempDir;
using tevo::testing::WriteFile;
using tevo::win::ResolvePath;

TEST(PathResolver, FindsFilesAndFoldersWithoutRegardToCase) {
    const TempDir dir;
    WriteFile(dir / "Windows/Help/hhcolreg.dat", "registry");
    const std::string base = dir.path().string();

    const auto file = ResolvePath(base + "/WINDOWS/help/HHCOLREG.DAT");
    EXPECT_TRUE(file.exists);
    EXPECT_EQ(file.path, dir.path() / "Windows/Help/hhcolreg.dat");

    const auto folder = ResolvePath(base + "\\windows\\HELP\\");
    EXPECT_TRUE(folder.exists);
    EXPECT_EQ(folder.path, dir.path() / "Windows/Help");

    const auto wide = ResolvePath(tevo::win::Utf8ToWide(base) + L"\\Windows\\Help\\HhColReg.Dat");
    EXPECT_TRUE(wide.exists);
    EXPECT_EQ(wide.path, file.path);
}

TEST(PathResolver, TellsAMissingFileFromAMissingFolder) {
    const TempDir dir;
    WriteFile(dir / "Data/present.txt", "");
    const std::string base = dir.path().string();

    const auto missing_file = ResolvePath(base + "/DATA/New File.TXT");
    EXPECT_FALSE(missing_file.exists);
    EXPECT_TRUE(missing_file.folder_exists);
    // A new file keeps the name as given, in the folder that was found.
    EXPECT_EQ(missing_file.path, dir.path() / "Data/New File.TXT");

    const auto missing_folder = ResolvePath(base + "/Nothing/here.txt");
    EXPECT_FALSE(missing_folder.exists);
    EXPECT_FALSE(missing_folder.folder_exists);

    // A file cannot hold anything.
    const auto below_file = ResolvePath(base + "/data/PRESENT.txt/x");
    EXPECT_FALSE(below_file.exists);
    EXPECT_FALSE(below_file.folder_exists);

    EXPECT_FALSE(ResolvePath(std::string_view()).exists);
}

TEST(PathResolver, PrefersTheExactNameAndOtherwiseAFixedChoice) {
    const TempDir dir;
    WriteFile(dir / "readme", "lower");
    WriteFile(dir / "README", "upper");
    const std::string base = dir.path().string();
    EXPECT_EQ(ResolvePath(base + "/readme").path, dir.path() / "readme");
    EXPECT_EQ(ResolvePath(base + "/README").path, dir.path() / "README");
    // Neither spelling given: the first in byte order.
    EXPECT_EQ(ResolvePath(base + "/ReadMe").path, dir.path() / "README");
}

TEST(PathResolver, FoldsLettersBeyondAscii) {
    const TempDir dir;
    WriteFile(dir / "caf\xC3\xA9/\xD0\xB4\xD0\xB0\xD0\xBD\xD0\xBD\xD1\x8B\xD0\xB5.txt",
              "");  // café/данные
    const std::string base = dir.path().string();
    const auto found =
        ResolvePath(base + "/CAF\xC3\x89/\xD0\x94\xD0\x90\xD0\x9D\xD0\x9D\xD0\xAB\xD0\x95.TXT");
    EXPECT_TRUE(found.exists);
    EXPECT_TRUE(tevo::win::NamesEqualIgnoringCase("\xCE\xA3\xCE\xBF\xCF\x86\xCE\xAF\xCE\xB1",
                                                  "\xCF\x83\xCE\x9F\xCE\xA6\xCE\x8A\xCE\x91"));
    EXPECT_TRUE(
        tevo::win::NamesEqualIgnoringCase("\xC5\x81\xC3\xB3"
                                          "d"
                                          "\xC5\xBA",
                                          "\xC5\x82\xC3\x93\x44\xC5\xB9"));  // Łódź
    EXPECT_FALSE(tevo::win::NamesEqualIgnoringCase("file1", "file2"));
    EXPECT_FALSE(tevo::win::NamesEqualIgnoringCase("abc", "abcd"));
}

TEST(PathResolver, HandlesDotsAndRelativePaths) {
    const TempDir dir;
    WriteFile(dir / "A/b/c.txt", "");
    const std::string base = dir.path().string();
    const auto dotted = ResolvePath(base + "/a/./B/../B/C.TXT");
    EXPECT_TRUE(dotted.exists);
    EXPECT_TRUE(fs::equivalent(dotted.path, dir.path() / "A/b/c.txt"));

    const fs::path previous = fs::current_path();
    fs::current_path(dir.path());
    const auto relative = ResolvePath("a\\B\\c.TXT");
    fs::current_path(previous);
    EXPECT_TRUE(relative.exists);
    EXPECT_EQ(relative.path, fs::path("A/b/c.txt"));
}

}  // namespace

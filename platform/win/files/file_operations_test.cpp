#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tevo/testing/temp_dir.h"
#include "tevo/win/files.h"
#include "tevo/win/lasterror.h"
#include "tevo/win/text.h"
#include "tevo/win/winerror.h"

namespace {

namespace fs = std::filesystem;
using tevo::testing::ReadFile;
using tevo::testing::TempDir;
using tevo::testing::WriteFile;

DWORD LastError() {
    return GetLastError();
}

constexpr DWORD Code(LONG code) {
    return static_cast<DWORD>(code);
}

class FileOperations : public ::testing::Test {
  protected:
    std::string At(const std::string& name) const { return (dir_.path() / name).string(); }
    TempDir dir_;
};

TEST_F(FileOperations, AttributesTellFilesFoldersAndWhatIsMissing) {
    WriteFile(dir_ / "Folder/file.txt", "x");
    EXPECT_EQ(GetFileAttributesA(At("folder").c_str()), FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(GetFileAttributesA(At("FOLDER\\FILE.TXT").c_str()), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(GetFileAttributesW(tevo::win::Utf8ToWide(At("Folder/File.txt")).c_str()),
              FILE_ATTRIBUTE_NORMAL);

    EXPECT_EQ(GetFileAttributesA(At("Folder/none.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(LastError(), Code(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(GetFileAttributesA(At("None/none.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(LastError(), Code(ERROR_PATH_NOT_FOUND));

    fs::permissions(dir_ / "Folder/file.txt", fs::perms::owner_read);
    EXPECT_EQ(GetFileAttributesA(At("Folder/file.txt").c_str()), FILE_ATTRIBUTE_READONLY);
}

TEST_F(FileOperations, CopyHonoursFailIfExistsAndReplacesWholeFiles) {
    WriteFile(dir_ / "source.bin", std::string("new\0content", 11));
    WriteFile(dir_ / "Target.BIN", "old");

    EXPECT_FALSE(CopyFileA(At("source.bin").c_str(), At("target.bin").c_str(), TRUE));
    EXPECT_EQ(LastError(), Code(ERROR_FILE_EXISTS));
    EXPECT_EQ(ReadFile(dir_ / "Target.BIN"), "old");

    // The existing file, found without regard to case, is replaced; no second one appears.
    EXPECT_TRUE(CopyFileA(At("SOURCE.bin").c_str(), At("target.bin").c_str(), FALSE));
    EXPECT_EQ(ReadFile(dir_ / "Target.BIN"), std::string("new\0content", 11));
    EXPECT_FALSE(fs::exists(dir_ / "target.bin") &&
                 !fs::equivalent(dir_ / "target.bin", dir_ / "Target.BIN"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator()), 2);

    EXPECT_TRUE(CopyFileW(tevo::win::Utf8ToWide(At("source.bin")).c_str(),
                          tevo::win::Utf8ToWide(At("copy.bin")).c_str(), TRUE));
    EXPECT_EQ(ReadFile(dir_ / "copy.bin"), std::string("new\0content", 11));
}

TEST_F(FileOperations, CopyReportsWhatIsWrong) {
    WriteFile(dir_ / "source.txt", "x");
    fs::create_directory(dir_ / "folder");
    EXPECT_FALSE(CopyFileA(At("missing.txt").c_str(), At("copy.txt").c_str(), FALSE));
    EXPECT_EQ(LastError(), Code(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(CopyFileA(At("source.txt").c_str(), At("no/copy.txt").c_str(), FALSE));
    EXPECT_EQ(LastError(), Code(ERROR_PATH_NOT_FOUND));
    EXPECT_FALSE(CopyFileA(At("folder").c_str(), At("copy.txt").c_str(), FALSE));
    EXPECT_EQ(LastError(), Code(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(CopyFileA(At("source.txt").c_str(), At("folder").c_str(), FALSE));
    EXPECT_EQ(LastError(), Code(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(fs::exists(dir_ / "copy.txt"));
}

TEST_F(FileOperations, DeleteRemovesFilesOnly) {
    WriteFile(dir_ / "Sub/File.txt", "x");
    WriteFile(dir_ / "locked.txt", "x");
    fs::permissions(dir_ / "locked.txt", fs::perms::owner_read);
    EXPECT_TRUE(DeleteFileA(At("SUB\\file.TXT").c_str()));
    EXPECT_FALSE(fs::exists(dir_ / "Sub/File.txt"));
    EXPECT_FALSE(DeleteFileA(At("Sub/File.txt").c_str()));
    EXPECT_EQ(LastError(), Code(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(DeleteFileA(At("Gone/File.txt").c_str()));
    EXPECT_EQ(LastError(), Code(ERROR_PATH_NOT_FOUND));
    EXPECT_FALSE(DeleteFileA(At("Sub").c_str()));
    EXPECT_EQ(LastError(), Code(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(DeleteFileW(tevo::win::Utf8ToWide(At("locked.txt")).c_str()));
    EXPECT_EQ(LastError(), Code(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(fs::exists(dir_ / "locked.txt"));
}

TEST_F(FileOperations, MoveReplacesOnlyWhenAskedTo) {
    WriteFile(dir_ / "a.txt", "a");
    WriteFile(dir_ / "B.txt", "b");
    EXPECT_FALSE(MoveFileExA(At("a.txt").c_str(), At("b.txt").c_str(), 0));
    EXPECT_EQ(LastError(), Code(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(ReadFile(dir_ / "B.txt"), "b");

    EXPECT_TRUE(MoveFileExA(At("A.TXT").c_str(), At("b.txt").c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
    EXPECT_EQ(ReadFile(dir_ / "B.txt"), "a");
    EXPECT_FALSE(fs::exists(dir_ / "a.txt"));
    EXPECT_FALSE(fs::exists(dir_ / "b.txt") && !fs::equivalent(dir_ / "b.txt", dir_ / "B.txt"));

    EXPECT_TRUE(MoveFileA(At("B.txt").c_str(), At("c.txt").c_str()));
    EXPECT_EQ(ReadFile(dir_ / "c.txt"), "a");
    EXPECT_FALSE(MoveFileA(At("B.txt").c_str(), At("d.txt").c_str()));
    EXPECT_EQ(LastError(), Code(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(MoveFileA(At("c.txt").c_str(), At("none/d.txt").c_str()));
    EXPECT_EQ(LastError(), Code(ERROR_PATH_NOT_FOUND));
    EXPECT_FALSE(
        MoveFileExA(At("c.txt").c_str(), At("d.txt").c_str(), MOVEFILE_DELAY_UNTIL_REBOOT));
    EXPECT_EQ(ReadFile(dir_ / "c.txt"), "a");
}

TEST_F(FileOperations, MoveChangesLetterCaseAndMovesFolders) {
    WriteFile(dir_ / "Folder/name.txt", "x");
    EXPECT_TRUE(MoveFileExW(tevo::win::Utf8ToWide(At("folder/name.txt")).c_str(),
                            tevo::win::Utf8ToWide(At("folder/NAME.TXT")).c_str(), 0));
    EXPECT_EQ(fs::directory_iterator(dir_ / "Folder")->path().filename(), "NAME.TXT");

    EXPECT_TRUE(MoveFileExA(At("folder").c_str(), At("Renamed").c_str(), 0));
    EXPECT_EQ(ReadFile(dir_ / "Renamed/NAME.TXT"), "x");
    fs::create_directory(dir_ / "Other");
    EXPECT_FALSE(
        MoveFileExA(At("Renamed").c_str(), At("other").c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(LastError(), Code(ERROR_ACCESS_DENIED));
}

TEST_F(FileOperations, FoldersAreCreatedAndRemovedOneLevelAtATime) {
    EXPECT_TRUE(CreateDirectoryA(At("New").c_str(), nullptr));
    EXPECT_FALSE(CreateDirectoryA(At("new").c_str(), nullptr));
    EXPECT_EQ(LastError(), Code(ERROR_ALREADY_EXISTS));
    EXPECT_FALSE(CreateDirectoryA(At("missing/deeper").c_str(), nullptr));
    EXPECT_EQ(LastError(), Code(ERROR_PATH_NOT_FOUND));
    EXPECT_TRUE(CreateDirectoryW(tevo::win::Utf8ToWide(At("NEW\\Inner")).c_str(), nullptr));
    EXPECT_TRUE(fs::is_directory(dir_ / "New/Inner"));

    EXPECT_FALSE(RemoveDirectoryA(At("new").c_str()));
    EXPECT_EQ(LastError(), Code(ERROR_DIR_NOT_EMPTY));
    WriteFile(dir_ / "file.txt", "");
    EXPECT_FALSE(RemoveDirectoryA(At("file.txt").c_str()));
    EXPECT_EQ(LastError(), Code(ERROR_DIRECTORY));
    EXPECT_TRUE(RemoveDirectoryA(At("new/inner").c_str()));
    EXPECT_TRUE(RemoveDirectoryW(tevo::win::Utf8ToWide(At("NEW")).c_str()));
    EXPECT_FALSE(fs::exists(dir_ / "New"));
    EXPECT_FALSE(RemoveDirectoryA(At("New").c_str()));
    EXPECT_EQ(LastError(), Code(ERROR_FILE_NOT_FOUND));
}

}  // namespace

#include <gtest/gtest.h>

#include <filesystem>

#include "help_fixtures.h"
#include "tevo/quill.h"

namespace tevo::quill {
namespace {

using testing::Fixture;
using testing::GetFile;
using testing::LastError;
using testing::PutFile;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

std::filesystem::path Put(const std::string& name, const std::string& text) {
    auto path = testing::WindowsHelpDirectory() / name;
    PutFile(path, text);
    return path;
}

TEST(CollectionFilesTest, RootNameIsComparedWithoutRegardToCase) {
    const auto file = Put("lower.col", Fixture("collection/lowercase_root.col"));
    unsigned long collection = 0;
    ASSERT_EQ(QuillLoadCollection(file.c_str(), &collection), QUILL_OK);
    unsigned long folder = 0;
    ASSERT_EQ(QuillFindFolder(collection, "Only", &folder), QUILL_OK);
    QuillReleaseCollection(collection);
}

TEST(CollectionFilesTest, WrongOrMissingRootAndParseFailuresAreReported) {
    unsigned long collection = 12345;
    const auto wrong = Put("wrong.col", "<HelpCollection><Folders/></HelpCollection>");
    EXPECT_EQ(QuillLoadCollection(wrong.c_str(), &collection), QUILL_WRONG_STRUCTURE);
    EXPECT_EQ(LastError(), "HTMLHelpCollection root element not found");

    const auto no_root = Put("empty.col", "<?xml version=\"1.0\"?>\n<!-- nothing -->\n");
    EXPECT_EQ(QuillLoadCollection(no_root.c_str(), &collection), QUILL_NO_ROOT_ELEMENT);
    EXPECT_EQ(LastError(), "Root element not present");

    const auto broken =
        Put("broken.col", "<HTMLHelpCollection>\n  <Folders>\n</HTMLHelpCollection>");
    EXPECT_EQ(QuillLoadCollection(broken.c_str(), &collection), QUILL_PARSE_FAILED);
    EXPECT_EQ(LastError(),
              "Error Message : Start-end tags mismatch\n"
              "Error Code    : 14\n"
              "Error occurred near line 3, column 3\n");

    const auto missing = testing::WindowsHelpDirectory() / "missing.col";
    EXPECT_EQ(QuillLoadCollection(missing.c_str(), &collection), QUILL_PARSE_FAILED);
    EXPECT_EQ(LastError().rfind("Error Message : File was not found\n", 0), 0U) << LastError();
    EXPECT_EQ(collection, 12345UL);  // no handle is handed out on failure

    EXPECT_EQ(QuillLoadCollection(nullptr, &collection), QUILL_INVALID_ARGUMENT);
    EXPECT_EQ(QuillLoadCollection(wrong.c_str(), nullptr), QUILL_INVALID_ARGUMENT);
}

TEST(CollectionFilesTest, DefaultCollectionNeedsTheRegistryValues) {
    unsigned long collection = 0;
    CaptureStdout();
    EXPECT_EQ(QuillLoadDefaultCollection(&collection), QUILL_NO_DEFAULT_COLLECTION);
    EXPECT_EQ(GetCapturedStdout(), "Failed to get collection filename\n");

    const auto files = testing::SetUpHelpFiles();
    ASSERT_EQ(QuillLoadDefaultCollection(&collection), QUILL_OK);
    unsigned long folder = 0;
    EXPECT_EQ(QuillFindFolder(collection, "Generators", &folder), QUILL_OK);
    QuillReleaseCollection(collection);
}

TEST(CollectionFilesTest, SaveWritesTheWholeDocumentBackToItsFile) {
    const auto files = testing::SetUpHelpFiles();
    // Loaded under another spelling, saved to the file that name found.
    const std::string upper = (files.collection.parent_path() / "DEVELOPER.COL").string();
    unsigned long collection = 0;
    ASSERT_EQ(QuillLoadCollection(upper.c_str(), &collection), QUILL_OK);
    unsigned long folder = 0;
    ASSERT_EQ(QuillAddFolder(collection, "Added", &folder), QUILL_OK);
    EXPECT_EQ(GetFile(files.collection).find("Added"), std::string::npos);  // not saved yet
    ASSERT_EQ(QuillSaveCollection(collection), QUILL_OK);
    QuillReleaseCollection(collection);

    const std::string saved = GetFile(files.collection);
    for (const char* kept : {"loose text between folders", "<!-- a comment between folders -->",
                             "<Bookmark value=\"not a folder\" />", "<Version value=\"1\" />"}) {
        EXPECT_NE(saved.find(kept), std::string::npos) << kept;
    }
    EXPECT_EQ(testing::FolderPaths(files.collection).back(), "Added");
    EXPECT_FALSE(std::filesystem::exists(files.collection.parent_path() / "DEVELOPER.COL"));
}

TEST(CollectionFilesTest, FailedSaveIsReported) {
    const auto files = testing::SetUpHelpFiles();
    const auto moved = testing::WindowsHelpDirectory() / "sub" / "Developer.col";
    PutFile(moved, GetFile(files.collection));
    unsigned long collection = 0;
    ASSERT_EQ(QuillLoadCollection(moved.c_str(), &collection), QUILL_OK);
    std::filesystem::remove_all(moved.parent_path());
    EXPECT_EQ(QuillSaveCollection(collection), QUILL_SAVE_FAILED);
    EXPECT_EQ(QuillSaveDocInfo(collection), QUILL_SAVE_FAILED);
    QuillReleaseCollection(collection);
}

TEST(CollectionFilesTest, ReleaseEndsTheCollectionAndEveryHandleIntoIt) {
    const auto files = testing::SetUpHelpFiles();
    unsigned long collection = 0;
    ASSERT_EQ(QuillLoadCollection(files.collection.c_str(), &collection), QUILL_OK);
    unsigned long folder = 0;
    unsigned long cursor = 0;
    ASSERT_EQ(QuillFindFolder(collection, "Instruments", &folder), QUILL_OK);
    ASSERT_EQ(QuillEnumCollectionRootFolders(collection, &cursor), QUILL_OK);
    QuillReleaseCollection(collection);
    QuillReleaseCollection(collection);  // a second release does nothing
    QuillReleaseCollection(0);
    char name[64];
    unsigned long next = 0;
    EXPECT_EQ(QuillSaveCollection(collection), QUILL_INVALID_ARGUMENT);
    EXPECT_EQ(QuillGetFolderName(folder, name), QUILL_INVALID_ARGUMENT);
    EXPECT_EQ(QuillNextCollectionFolder(cursor, &next), QUILL_INVALID_ARGUMENT);
    EXPECT_EQ(QuillSaveCollection(0), QUILL_INVALID_ARGUMENT);
}

TEST(CollectionFilesTest, BackupOfTheDefaultCollection) {
    CaptureStdout();
    EXPECT_EQ(QuillBackupDefaultCollection(), QUILL_NO_DEFAULT_COLLECTION);
    EXPECT_EQ(GetCapturedStdout(), "Failed to get collection filename\n");

    const auto files = testing::SetUpHelpFiles();
    const auto backup = files.collection.parent_path() / "Developer.bak";
    PutFile(backup, "older backup");
    EXPECT_EQ(QuillBackupDefaultCollection(), QUILL_OK);
    EXPECT_EQ(GetFile(backup), GetFile(files.collection));

    // A name without extension gets ".bak" added; a dot in a folder name is no extension.
    const auto plain = testing::WindowsHelpDirectory() / "dir.v2" / "Developer";
    PutFile(plain, "<HTMLHelpCollection/>");
    testing::SetDefaultCollection(plain.string());
    EXPECT_EQ(QuillBackupDefaultCollection(), QUILL_OK);
    EXPECT_EQ(GetFile(plain.string() + ".bak"), "<HTMLHelpCollection/>");

    std::filesystem::remove(plain);
    EXPECT_EQ(QuillBackupDefaultCollection(), QUILL_BACKUP_FAILED);
}

}  // namespace
}  // namespace tevo::quill

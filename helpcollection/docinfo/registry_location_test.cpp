#include "registry_location.h"

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
using testing::ReplaceAll;

// The collection number that QuillGetDefaultCollectionNumber reads from a registry text.
int NumberFrom(const std::string& registry_text, std::string* number) {
    const auto file = testing::WindowsHelpDirectory() / "numbers.dat";
    PutFile(file, registry_text);
    unsigned long registry = 0;
    EXPECT_EQ(QuillOpenDocInfo(file.c_str(), &registry), QUILL_OK);
    char buffer[64] = "";
    const int result = QuillGetDefaultCollectionNumber(registry, buffer);
    *number = buffer;
    QuillCloseDocInfo(registry);
    return result;
}

TEST(RegistryLocationTest, OpenByNameChecksExistenceButNotTheRoot) {
    unsigned long registry = 99;
    const auto missing = testing::WindowsHelpDirectory() / "none.dat";
    EXPECT_EQ(QuillOpenDocInfo(missing.c_str(), &registry), QUILL_NOT_FOUND);
    EXPECT_EQ(LastError(), "File does not exist");
    const auto broken = testing::WindowsHelpDirectory() / "broken.dat";
    PutFile(broken, "<a><b></a>");
    EXPECT_EQ(QuillOpenDocInfo(broken.c_str(), &registry), QUILL_PARSE_FAILED);
    EXPECT_EQ(LastError().rfind("Error Message : ", 0), 0U);
    EXPECT_EQ(registry, 99UL);
    const auto any_root = testing::WindowsHelpDirectory() / "any.dat";
    PutFile(any_root, "<Anything/>");
    ASSERT_EQ(QuillOpenDocInfo(any_root.c_str(), &registry), QUILL_OK);
    QuillCloseDocInfo(registry);
    EXPECT_EQ(QuillSaveDocInfo(registry), QUILL_INVALID_ARGUMENT);  // closed
}

TEST(RegistryLocationTest, DefaultCollectionNumberMatchesNameWithoutRegardToCase) {
    testing::SetDefaultCollection("/Help/Developer.col");
    const std::string registry = Fixture("registry/hhcolreg.dat");
    std::string number;
    EXPECT_EQ(
        NumberFrom(ReplaceAll(registry, testing::kCollectionPlaceholder, "/HELP/developer.COL"),
                   &number),
        QUILL_OK);
    EXPECT_EQ(number, "7");
    // The walk leaves its own text behind even when it finds the number.
    EXPECT_EQ(LastError(), "Error locating elements in XML document");

    // Not listed at all.
    EXPECT_EQ(NumberFrom(registry, &number), QUILL_NO_REGISTRY);
}

TEST(RegistryLocationTest, DefaultCollectionNumberSkipsIncompleteCollections) {
    testing::SetDefaultCollection("/Help/Developer.col");
    std::string number;
    // The first collection has no ColName; the second is the default one.
    EXPECT_EQ(NumberFrom("<R><Collections><Collection><ColNum value=\"1\"/></Collection>"
                         "<Collection><ColName value=\"/Help/Developer.col\"/><ColNum value=\"4\"/>"
                         "</Collection></Collections></R>",
                         &number),
              QUILL_OK);
    EXPECT_EQ(number, "4");
    EXPECT_EQ(LastError(), "Error locating ColName within Collection");

    // The default collection without ColNum; a later one with the same name has it.
    EXPECT_EQ(NumberFrom("<R><Collections><Collection><ColName value=\"/Help/Developer.col\"/>"
                         "</Collection><Collection><ColName value=\"/help/developer.col\"/>"
                         "<ColNum value=\"5\"/></Collection></Collections></R>",
                         &number),
              QUILL_OK);
    EXPECT_EQ(number, "5");
    EXPECT_EQ(LastError(), "Error locating ColNum within Collection");

    EXPECT_EQ(NumberFrom("<R><Collections><Collection><ColName value=\"/Help/Developer.col\"/>"
                         "</Collection></Collections></R>",
                         &number),
              QUILL_NO_REGISTRY);
    EXPECT_EQ(LastError(), "Error locating ColNum within Collection");
}

TEST(RegistryLocationTest, DefaultCollectionNumberFailures) {
    std::string number;
    EXPECT_EQ(NumberFrom("<R><Other/></R>", &number), QUILL_NOT_FOUND);
    EXPECT_EQ(LastError(), "Collections element not found under root");
    EXPECT_EQ(NumberFrom("<R><Collections><Collection/></Collections></R>", &number),
              QUILL_NO_COLLECTION_NAME);  // no registry values
    EXPECT_EQ(LastError(), "Error getting default collection");
    testing::SetDefaultCollection("/Help/Developer.col");
    EXPECT_EQ(NumberFrom("<R><Collections>text<Other/></Collections></R>", &number),
              QUILL_NOT_FOUND);
    EXPECT_EQ(LastError(), "Error locating first child collection");
    EXPECT_EQ(QuillGetDefaultCollectionNumber(0, nullptr), QUILL_INVALID_ARGUMENT);
}

TEST(RegistryLocationTest, LocatingPrefersTheWindowsHelpDirectory) {
    const auto files = testing::SetUpHelpFiles();
    // A second registry in the all-users directory lists the collection as number 8.
    PutFile(testing::AllUsersHelpDirectory() / "hhcolreg.dat",
            ReplaceAll(ReplaceAll(GetFile(files.registry), "\"7\"", "\"8\""), "analyzer-guide",
                       "all-users-doc"));
    std::string file;
    std::string number;
    EXPECT_EQ(LocateRegistry(&file, &number, nullptr), QUILL_OK);
    EXPECT_EQ(number, "7");
    unsigned long registry = 0;
    ASSERT_EQ(QuillOpenDocInfo(&registry), QUILL_OK);
    unsigned long doc = 0;
    EXPECT_EQ(QuillFindDoc(registry, "analyzer-guide", &doc), QUILL_OK);
    QuillCloseDocInfo(registry);

    // When the Windows one does not list the default collection, the all-users one is used.
    PutFile(files.registry, Fixture("registry/hhcolreg.dat"));
    EXPECT_EQ(LocateRegistry(&file, &number, nullptr), QUILL_OK);
    EXPECT_EQ(number, "8");
    ASSERT_EQ(QuillOpenDocInfo(&registry), QUILL_OK);
    EXPECT_EQ(QuillFindDoc(registry, "all-users-doc", &doc), QUILL_OK);
    QuillCloseDocInfo(registry);

    std::filesystem::remove(testing::AllUsersHelpDirectory() / "hhcolreg.dat");
    EXPECT_EQ(QuillOpenDocInfo(&registry), QUILL_NO_REGISTRY);
    std::filesystem::remove(files.registry);
    EXPECT_EQ(QuillOpenDocInfo(&registry), QUILL_NO_REGISTRY);
    EXPECT_EQ(QuillOpenDocInfo(nullptr), QUILL_INVALID_ARGUMENT);
}

TEST(RegistryLocationTest, BackupOfTheRegistryFile) {
    EXPECT_EQ(QuillBackupDocInfo(), QUILL_NOT_FOUND);
    const auto files = testing::SetUpHelpFiles(testing::AllUsersHelpDirectory());
    const auto backup = testing::AllUsersHelpDirectory() / "HHCOLREG.BAK";
    PutFile(backup, "older");
    EXPECT_EQ(QuillBackupDocInfo(), QUILL_OK);
    EXPECT_EQ(GetFile(backup), GetFile(files.registry));
}

}  // namespace
}  // namespace tevo::quill

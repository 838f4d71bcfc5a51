#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "help_fixtures.h"
#include "tevo/quill.h"

namespace tevo::quill {
namespace {

using testing::LastError;

// The fixture developer collection, loaded.
class FoldersTest : public ::testing::Test {
  protected:
    void SetUp() override {
        files_ = testing::SetUpHelpFiles();
        ASSERT_EQ(QuillLoadCollection(files_.collection.c_str(), &collection_), QUILL_OK);
    }
    void TearDown() override { QuillReleaseCollection(collection_); }

    static std::string Name(unsigned long folder) {
        char name[256] = "";
        const int result = QuillGetFolderName(folder, name);
        return result == QUILL_OK ? name : "<" + std::to_string(result) + ">";
    }

    // The names of the folders a cursor yields, until it reports 5.
    static std::vector<std::string> Walk(unsigned long cursor) {
        std::vector<std::string> names;
        unsigned long folder = 0;
        while (QuillNextCollectionFolder(cursor, &folder) == QUILL_OK) {
            names.push_back(Name(folder));
        }
        EXPECT_EQ(QuillNextCollectionFolder(cursor, &folder), QUILL_NOT_FOUND);
        return names;
    }

    unsigned long Find(const char* title) {
        unsigned long folder = 0;
        EXPECT_EQ(QuillFindFolder(collection_, title, &folder), QUILL_OK) << title;
        return folder;
    }

    testing::HelpFiles files_;
    unsigned long collection_ = 0;
};

TEST_F(FoldersTest, RootFoldersAreEachVisitedOnceSkippingTextAndOtherElements) {
    unsigned long cursor = 0;
    ASSERT_EQ(QuillEnumCollectionRootFolders(collection_, &cursor), QUILL_OK);
    // The lower-case <folder> counts; the folder without TitleString has no name (5).
    EXPECT_EQ(Walk(cursor),
              (std::vector<std::string>{"Instruments", "Tools", "References", "<5>"}));
}

TEST_F(FoldersTest, RootFolderErrors) {
    const auto other = testing::WindowsHelpDirectory() / "other.col";
    unsigned long cursor = 0;
    unsigned long loaded = 0;
    testing::PutFile(other,
                     "<HTMLHelpCollection><Folders>text<Item/></Folders></HTMLHelpCollection>");
    ASSERT_EQ(QuillLoadCollection(other.c_str(), &loaded), QUILL_OK);
    EXPECT_EQ(QuillEnumCollectionRootFolders(loaded, &cursor), QUILL_NOT_FOUND);
    QuillReleaseCollection(loaded);

    testing::PutFile(other, "<HTMLHelpCollection><folders/></HTMLHelpCollection>");
    ASSERT_EQ(QuillLoadCollection(other.c_str(), &loaded), QUILL_OK);
    EXPECT_EQ(QuillEnumCollectionRootFolders(loaded, &cursor), QUILL_WRONG_STRUCTURE);
    EXPECT_EQ(LastError(), "Failed to locate Folders element");
    unsigned long folder = 0;
    EXPECT_EQ(QuillAddFolder(loaded, "New", &folder), QUILL_WRONG_STRUCTURE);
    QuillReleaseCollection(loaded);

    // A registry file is a loaded document too, but not a collection.
    ASSERT_EQ(QuillOpenDocInfo(files_.registry.c_str(), &loaded), QUILL_OK);
    EXPECT_EQ(QuillEnumCollectionRootFolders(loaded, &cursor), QUILL_WRONG_STRUCTURE);
    EXPECT_EQ(LastError(), "HTMLHelpCollection root element not found");
    EXPECT_EQ(QuillAddFolder(loaded, "New", &folder), QUILL_WRONG_STRUCTURE);
    QuillCloseDocInfo(loaded);
}

TEST_F(FoldersTest, SubFolders) {
    unsigned long cursor = 0;
    ASSERT_EQ(QuillEnumSubFolders(Find("Instruments"), &cursor), QUILL_OK);
    EXPECT_EQ(Walk(cursor), (std::vector<std::string>{"Analyzers", "Generators"}));
    EXPECT_EQ(QuillEnumSubFolders(Find("Generators"), &cursor), QUILL_NOT_FOUND);
}

TEST_F(FoldersTest, FindFolderSearchesTheWholeTreeWithExactTitles) {
    EXPECT_EQ(Name(Find("Drivers")), "Drivers");  // nested two levels deep
    unsigned long cursor = 0;
    ASSERT_EQ(QuillEnumSubFolders(Find("Drivers"), &cursor), QUILL_OK);
    EXPECT_EQ(Walk(cursor), std::vector<std::string>{"=analyzer-guide"});
    // "tools" is the sub-folder of References; "Tools" exists only as a <folder>
    // element, which the exact element name does not match.
    QuillDeleteFolder(Find("tools"));
    EXPECT_EQ(QuillEnumSubFolders(Find("References"), &cursor), QUILL_NOT_FOUND);
    unsigned long folder = 77;
    EXPECT_EQ(QuillFindFolder(collection_, "Tools", &folder), QUILL_NOT_FOUND);
    EXPECT_EQ(QuillFindFolder(collection_, "DRIVERS", &folder), QUILL_NOT_FOUND);
    EXPECT_EQ(folder, 77UL);
}

TEST_F(FoldersTest, FindSubFolderLooksOnlyAtDirectChildrenAndKeepsHandleWhenAbsent) {
    const unsigned long instruments = Find("Instruments");
    unsigned long sub = 0;
    ASSERT_EQ(QuillFindSubFolder(instruments, "Generators", &sub), QUILL_OK);
    EXPECT_EQ(Name(sub), "Generators");
    unsigned long kept = 4242;
    EXPECT_EQ(QuillFindSubFolder(instruments, "Drivers", &kept), QUILL_NOT_FOUND);
    EXPECT_EQ(QuillFindSubFolder(instruments, "generators", &kept), QUILL_NOT_FOUND);
    EXPECT_EQ(kept, 4242UL);
}

TEST_F(FoldersTest, AddedFoldersAreSavedWhereTheyWereAdded) {
    unsigned long top = 0;
    unsigned long sub = 0;
    ASSERT_EQ(QuillAddFolder(collection_, "Vendor", &top), QUILL_OK);
    ASSERT_EQ(QuillAddSubFolder(top, "", &sub), QUILL_OK);
    ASSERT_EQ(QuillAddSubFolder(Find("Generators"), "Signal \xC3\xA9", &sub), QUILL_OK);
    EXPECT_EQ(Name(sub), "Signal \xC3\xA9");
    ASSERT_EQ(QuillSaveCollection(collection_), QUILL_OK);
    const auto paths = testing::FolderPaths(files_.collection);
    EXPECT_EQ(std::count(paths.begin(), paths.end(), "Vendor/"), 1);
    EXPECT_EQ(std::count(paths.begin(), paths.end(), "Instruments/Generators/Signal \xC3\xA9"), 1);
    EXPECT_EQ(paths.back(), "Vendor/");
}

TEST_F(FoldersTest, DeleteRemovesTheSubtreeAndEndsHandlesIntoIt) {
    const unsigned long analyzers = Find("Analyzers");
    const unsigned long drivers = Find("Drivers");
    const unsigned long generators = Find("Generators");
    unsigned long cursor = 0;
    ASSERT_EQ(QuillEnumSubFolders(Find("Instruments"), &cursor), QUILL_OK);

    QuillDeleteFolder(analyzers);

    char name[64];
    EXPECT_EQ(QuillGetFolderName(analyzers, name), QUILL_INVALID_ARGUMENT);
    EXPECT_EQ(QuillGetFolderName(drivers, name), QUILL_INVALID_ARGUMENT);
    QuillDeleteFolder(drivers);  // already gone: nothing happens
    EXPECT_EQ(Name(generators), "Generators");
    EXPECT_EQ(Walk(cursor), std::vector<std::string>{"Generators"});  // moved on past it
    ASSERT_EQ(QuillSaveCollection(collection_), QUILL_OK);
    const auto paths = testing::FolderPaths(files_.collection);
    EXPECT_EQ(paths, (std::vector<std::string>{"Instruments", "Instruments/Generators", "Tools",
                                               "References", "References/tools", "?"}));
}

TEST_F(FoldersTest, ZeroUnknownAndWrongKindHandlesAreRefused) {
    unsigned long out = 0;
    char name[64];
    const unsigned long folder = Find("Instruments");
    for (const unsigned long bad : {0UL, 0xFFFFFFFFUL, collection_ + 100000}) {
        EXPECT_EQ(QuillEnumCollectionRootFolders(bad, &out), QUILL_INVALID_ARGUMENT);
        EXPECT_EQ(QuillNextCollectionFolder(bad, &out), QUILL_INVALID_ARGUMENT);
        EXPECT_EQ(QuillEnumSubFolders(bad, &out), QUILL_INVALID_ARGUMENT);
        EXPECT_EQ(QuillGetFolderName(bad, name), QUILL_INVALID_ARGUMENT);
        EXPECT_EQ(QuillFindFolder(bad, "Tools", &out), QUILL_INVALID_ARGUMENT);
        EXPECT_EQ(QuillFindSubFolder(bad, "Tools", &out), QUILL_INVALID_ARGUMENT);
        EXPECT_EQ(QuillAddFolder(bad, "Tools", &out), QUILL_INVALID_ARGUMENT);
        EXPECT_EQ(QuillAddSubFolder(bad, "Tools", &out), QUILL_INVALID_ARGUMENT);
        QuillDeleteFolder(bad);
    }
    // A folder is not a collection, and a collection is not a folder or a cursor.
    EXPECT_EQ(QuillFindFolder(folder, "Tools", &out), QUILL_INVALID_ARGUMENT);
    EXPECT_EQ(QuillGetFolderName(collection_, name), QUILL_INVALID_ARGUMENT);
    EXPECT_EQ(QuillNextCollectionFolder(folder, &out), QUILL_INVALID_ARGUMENT);
    QuillDeleteFolder(collection_);
    EXPECT_EQ(QuillFindSubFolder(folder, nullptr, &out), QUILL_INVALID_ARGUMENT);
    EXPECT_EQ(QuillGetFolderName(folder, nullptr), QUILL_INVALID_ARGUMENT);
    EXPECT_EQ(Name(folder), "Instruments");
}

}  // namespace
}  // namespace tevo::quill

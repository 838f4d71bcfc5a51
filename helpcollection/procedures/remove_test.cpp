#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "help_fixtures.h"
#include "tevo/quill.h"

namespace tevo::quill {
namespace {

using testing::GetFile;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;
using Paths = std::vector<std::string>;

// The fixtures with "tevo-help" installed below Vendor\Group\Tevo.
class RemoveTest : public ::testing::Test {
  protected:
    void SetUp() override {
        files_ = testing::SetUpHelpFiles();
        const std::string chm = (testing::WindowsHelpDirectory() / "Tevo.chm").string();
        testing::PutFile(chm, "chm");
        ASSERT_EQ(QuillInstall("Vendor\\Group\\Tevo", chm.c_str(), chm.c_str(), "tevo-help"),
                  QUILL_OK);
        registry_ = GetFile(files_.registry);
        collection_ = GetFile(files_.collection);
    }

    bool Registered(const std::string& id) {
        const auto ids = testing::DocIds(files_.registry);
        return std::find(ids.begin(), ids.end(), id) != ids.end();
    }

    Paths VendorPaths() {
        Paths paths;
        for (const std::string& path : testing::FolderPaths(files_.collection)) {
            if (path.rfind("Vendor", 0) == 0) {
                paths.push_back(path);
            }
        }
        return paths;
    }

    testing::HelpFiles files_;
    std::string registry_;
    std::string collection_;
};

TEST_F(RemoveTest, ThreeLevelPathDeletesOnlyTheThirdFolderAndTheDocument) {
    ASSERT_EQ(QuillRemove("Vendor\\Group\\Tevo", "tevo-help"), QUILL_OK);
    EXPECT_FALSE(Registered("tevo-help"));
    EXPECT_TRUE(Registered("analyzer-guide"));
    EXPECT_EQ(VendorPaths(), (Paths{"Vendor", "Vendor/Group"}));
}

TEST_F(RemoveTest, EverythingBelowTheLastFolderGoesWithIt) {
    unsigned long collection = 0;
    ASSERT_EQ(QuillLoadCollection(files_.collection.c_str(), &collection), QUILL_OK);
    unsigned long folder = 0;
    unsigned long sub = 0;
    ASSERT_EQ(QuillFindFolder(collection, "Group", &folder), QUILL_OK);
    ASSERT_EQ(QuillAddSubFolder(folder, "Extra", &sub), QUILL_OK);
    ASSERT_EQ(QuillSaveCollection(collection), QUILL_OK);
    QuillReleaseCollection(collection);

    ASSERT_EQ(QuillRemove("Vendor\\Group", nullptr), QUILL_OK);
    EXPECT_EQ(VendorPaths(), Paths{"Vendor"});
    EXPECT_TRUE(Registered("tevo-help"));  // no identifier: the registry is not touched
}

TEST_F(RemoveTest, UnknownIdentifierChangesNeitherFile) {
    EXPECT_EQ(QuillRemove("Vendor\\Group\\Tevo", "not-registered"), QUILL_OK);
    EXPECT_EQ(GetFile(files_.registry), registry_);
    EXPECT_EQ(GetFile(files_.collection), collection_);
}

TEST_F(RemoveTest, PathNotFoundChangesNothingInTheCollection) {
    for (const char* path :
         {"Vendor\\Missing\\Tevo", "Missing", "Vendor\\Group\\Tevo\\Deeper", "Vendor\\\\Group"}) {
        EXPECT_EQ(QuillRemove(path, nullptr), QUILL_OK) << path;
        EXPECT_EQ(GetFile(files_.collection), collection_) << path;
    }
}

TEST_F(RemoveTest, NullOrEmptyFolderRemovesOnlyTheDocument) {
    ASSERT_EQ(QuillRemove(nullptr, "tevo-help"), QUILL_OK);
    EXPECT_FALSE(Registered("tevo-help"));
    EXPECT_EQ(GetFile(files_.collection), collection_);
    EXPECT_EQ(QuillRemove("", "analyzer-guide"), QUILL_OK);
    EXPECT_FALSE(Registered("analyzer-guide"));
    EXPECT_EQ(QuillRemove(nullptr, nullptr), QUILL_OK);
}

TEST_F(RemoveTest, FirstFolderIsFoundDeepInTheTree) {
    ASSERT_EQ(QuillRemove("Analyzers\\Drivers", nullptr), QUILL_OK);
    const auto paths = testing::FolderPaths(files_.collection);
    EXPECT_EQ(std::count(paths.begin(), paths.end(), "Instruments/Analyzers"), 1);
    EXPECT_EQ(std::count(paths.begin(), paths.end(), "Instruments/Analyzers/Drivers"), 0);
}

TEST_F(RemoveTest, Failures) {
    testing::PutFile(files_.collection, "<HTMLHelpCollection><Folders>");
    CaptureStdout();
    EXPECT_EQ(QuillRemove("Vendor", "tevo-help"), QUILL_REMOVE_FAILED);
    EXPECT_EQ(GetCapturedStdout(), "Failed to load collection, error = 110\n");
    EXPECT_FALSE(Registered("tevo-help"));  // the registry half was done first

    std::filesystem::remove(files_.registry);
    EXPECT_EQ(QuillRemove("Vendor", "tevo-help"), QUILL_NO_REGISTRY);
}

TEST_F(RemoveTest, FolderTextTooLongOrWithTooManyPartsIsRefusedBeforeAnyChange) {
    std::string hundred_parts;
    for (int i = 0; i < 100; ++i) {
        hundred_parts += "Vendor\\";
    }
    EXPECT_EQ(QuillRemove(hundred_parts.c_str(), "tevo-help"), QUILL_REMOVE_FAILED);
    EXPECT_EQ(QuillRemove(std::string(1024, 'V').c_str(), "tevo-help"), QUILL_REMOVE_FAILED);
    EXPECT_EQ(GetFile(files_.registry), registry_);
    EXPECT_EQ(GetFile(files_.collection), collection_);
}

}  // namespace
}  // namespace tevo::quill

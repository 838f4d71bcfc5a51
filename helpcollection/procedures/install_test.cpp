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
using testing::LastError;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;
using Paths = std::vector<std::string>;

// Help files and the fixture registry and collection in a fresh system root.
class InstallTest : public ::testing::Test {
  protected:
    void SetUp() override {
        files_ = testing::SetUpHelpFiles();
        chm_ = (testing::WindowsHelpDirectory() / "Tevo.chm").string();
        chi_ = (testing::WindowsHelpDirectory() / "Tevo.chi").string();
        testing::PutFile(chm_, "chm");
        testing::PutFile(chi_, "chi");
        original_paths_ = testing::FolderPaths(files_.collection);
    }

    int Install(const char* folder, const char* id = "tevo-help") {
        return QuillInstall(folder, chm_.c_str(), chi_.c_str(), id);
    }

    // The folders the installation added to the collection.
    Paths NewPaths() {
        Paths added;
        for (const std::string& path : testing::FolderPaths(files_.collection)) {
            if (std::find(original_paths_.begin(), original_paths_.end(), path) ==
                original_paths_.end()) {
                added.push_back(path);
            }
        }
        return added;
    }

    long Count(const std::string& id) {
        const auto ids = testing::DocIds(files_.registry);
        return std::count(ids.begin(), ids.end(), id);
    }

    testing::HelpFiles files_;
    std::string chm_;
    std::string chi_;
    Paths original_paths_;
};

TEST_F(InstallTest, RegistersTheDocumentAndPlacesItsEntry) {
    ASSERT_EQ(Install("Instruments\\Analyzers\\Tevo"), QUILL_OK);
    EXPECT_EQ(NewPaths(),
              (Paths{"Instruments/Analyzers/Tevo", "Instruments/Analyzers/Tevo/=tevo-help"}));
    const auto value = [&](const char* path) {
        return testing::DocValue(files_.registry, "tevo-help", path);
    };
    EXPECT_EQ(value("DocCompLanguage"), "1033");
    EXPECT_EQ(value("LocationHistory/TitleLocation"), chm_);
    EXPECT_EQ(value("LocationHistory/IndexLocation"), chi_);
    EXPECT_EQ(value("LocationHistory/LocationRef"), "CORVEL-10-Local");
    EXPECT_EQ(value("LocationHistory/ColNum"), "7");
    EXPECT_EQ(testing::DocIds(files_.registry).back(), "tevo-help");
}

TEST_F(InstallTest, InstallingTwiceLeavesOneDocumentWithTheSecondValuesAndOneEntry) {
    ASSERT_EQ(Install("Vendor\\Tevo"), QUILL_OK);
    chm_ = (testing::WindowsHelpDirectory() / "Tevo2.chm").string();
    testing::PutFile(chm_, "chm");
    ASSERT_EQ(Install("Vendor\\Tevo"), QUILL_OK);
    EXPECT_EQ(Count("tevo-help"), 1);
    EXPECT_EQ(testing::DocValue(files_.registry, "tevo-help", "LocationHistory/TitleLocation"),
              chm_);
    EXPECT_EQ(NewPaths(), (Paths{"Vendor", "Vendor/Tevo", "Vendor/Tevo/=tevo-help"}));
}

TEST_F(InstallTest, AnExistingDocumentIsUpdatedInPlace) {
    ASSERT_EQ(Install("", "sweep-reference"), QUILL_OK);
    EXPECT_EQ(Count("sweep-reference"), 1);
    EXPECT_EQ(testing::DocValue(files_.registry, "sweep-reference", "DocCompLanguage"), "1033");
    EXPECT_EQ(testing::DocValue(files_.registry, "sweep-reference", "LocationHistory/ColNum"), "7");
}

TEST_F(InstallTest, EmptyFolderTextRegistersWithoutTouchingTheCollection) {
    std::filesystem::remove(files_.collection);  // would fail any attempt to load it
    ASSERT_EQ(Install(""), QUILL_OK);
    EXPECT_EQ(Count("tevo-help"), 1);
    EXPECT_FALSE(std::filesystem::exists(files_.collection));
}

TEST_F(InstallTest, AdjacentBackslashesGiveAnEmptyFolderAndATrailingOneNothing) {
    ASSERT_EQ(Install("Vendor\\\\Driver\\", "a"), QUILL_OK);
    EXPECT_EQ(NewPaths(), (Paths{"Vendor", "Vendor/", "Vendor//Driver", "Vendor//Driver/=a"}));
}

TEST_F(InstallTest, FirstFolderIsFoundDeepInTheTree) {
    ASSERT_EQ(Install("Drivers\\Tevo"), QUILL_OK);
    EXPECT_EQ(NewPaths(), (Paths{"Instruments/Analyzers/Drivers/Tevo",
                                 "Instruments/Analyzers/Drivers/Tevo/=tevo-help"}));
}

TEST_F(InstallTest, MissingHelpOrIndexFileChangesNothing) {
    const std::string registry = GetFile(files_.registry);
    const std::string missing = (testing::WindowsHelpDirectory() / "none.chm").string();
    EXPECT_EQ(QuillInstall("A", missing.c_str(), chi_.c_str(), "x"), QUILL_HELP_FILE_MISSING);
    EXPECT_EQ(LastError(), "CHM file does not exist");
    EXPECT_EQ(QuillInstall("A", chm_.c_str(), missing.c_str(), "x"), QUILL_INDEX_FILE_MISSING);
    EXPECT_EQ(LastError(), "CHI file does not exist");
    EXPECT_EQ(QuillInstall("A", nullptr, chi_.c_str(), "x"), QUILL_HELP_FILE_MISSING);
    EXPECT_EQ(QuillInstall("A", chm_.c_str(), chi_.c_str(), nullptr), QUILL_INVALID_ARGUMENT);
    EXPECT_EQ(GetFile(files_.registry), registry);
}

TEST_F(InstallTest, FolderTextTooLongOrWithTooManyPartsIsRefusedBeforeAnyChange) {
    const std::string registry = GetFile(files_.registry);
    const std::string collection = GetFile(files_.collection);
    EXPECT_EQ(Install(std::string(1024, 'a').c_str()), QUILL_FOLDER_NOT_ADDED);
    std::string hundred_parts;
    for (int i = 0; i < 100; ++i) {
        hundred_parts += "p\\";
    }
    EXPECT_EQ(Install(hundred_parts.c_str()), QUILL_FOLDER_NOT_ADDED);
    EXPECT_EQ(GetFile(files_.registry), registry);
    EXPECT_EQ(GetFile(files_.collection), collection);
}

TEST_F(InstallTest, RegistryFailures) {
    // No registry file lists the default collection.
    testing::PutFile(files_.registry, testing::Fixture("registry/hhcolreg.dat"));
    EXPECT_EQ(Install("A"), QUILL_NO_REGISTRY);
    // A registry without DocCompilations cannot take the document.
    testing::PutFile(files_.registry,
                     "<R><Collections><Collection><ColName value=\"" + files_.collection.string() +
                         "\"/><ColNum value=\"3\"/></Collection></Collections></R>");
    const std::string before = GetFile(files_.registry);
    CaptureStdout();
    EXPECT_EQ(Install("A"), QUILL_WRONG_STRUCTURE);
    EXPECT_EQ(GetCapturedStdout(), "Failed to add new doc\n");
    EXPECT_EQ(GetFile(files_.registry), before);
}

TEST_F(InstallTest, UnloadableCollectionFailsAfterTheRegistryWasSaved) {
    testing::PutFile(files_.collection, "<HTMLHelpCollection><Folders></HTMLHelpCollection>");
    EXPECT_EQ(Install("A"), QUILL_NO_DEFAULT_COLLECTION);
    EXPECT_EQ(LastError(), "Failed to load collection");
    EXPECT_EQ(Count("tevo-help"), 1);
}

TEST_F(InstallTest, RegistryOfTheAllUsersDirectory) {
    const auto registry = testing::AllUsersHelpDirectory() / "hhcolreg.dat";
    testing::PutFile(registry, GetFile(files_.registry));
    std::filesystem::remove(files_.registry);
    ASSERT_EQ(Install("Vendor"), QUILL_OK);
    EXPECT_EQ(testing::DocValue(registry, "tevo-help", "LocationHistory/ColNum"), "7");
    EXPECT_EQ(NewPaths(), (Paths{"Vendor", "Vendor/=tevo-help"}));
}

}  // namespace
}  // namespace tevo::quill

#include "help_locations.h"

#include <gtest/gtest.h>

#include <cstring>

#include "help_fixtures.h"
#include "tevo/quill.h"
#include "tevo/testing/temp_dir.h"

namespace tevo::quill {
namespace {

using testing::PutFile;

std::string DocumentCollectionFilename(int* result) {
    char buffer[1024] = "";
    *result = QuillGetDefaultDocumentCollectionFilename(buffer, sizeof buffer);
    return buffer;
}

TEST(HelpLocationsTest, DirectoriesOfTheSystemRoot) {
    const std::string root = tevo::testing::CurrentSystemRoot().string();
    EXPECT_EQ(tevo::quill::WindowsHelpDirectory(), root + "/Windows/Help/");
    EXPECT_EQ(tevo::quill::AllUsersHelpDirectory(),
              root + "/Documents and Settings/All Users/Application Data/Microsoft/HTML Help/");
    EXPECT_EQ(WindowsRegistryFile(), root + "/Windows/Help/HHCOLREG.DAT");
    EXPECT_EQ(AllUsersRegistryFile(), *tevo::quill::AllUsersHelpDirectory() + "hhcolreg.dat");
}

TEST(HelpLocationsTest, WindowsHelpDirectoryIsPreferredInAnyLetterCase) {
    PutFile(testing::AllUsersHelpDirectory() / "hhcolreg.dat", "<R/>");
    PutFile(testing::WindowsHelpDirectory() / "hhcolreg.dat", "<R/>");
    int result = 0;
    EXPECT_EQ(DocumentCollectionFilename(&result), *WindowsRegistryFile());
    EXPECT_EQ(result, 1);
}

TEST(HelpLocationsTest, AllUsersDirectoryWhenTheWindowsOneHasNone) {
    PutFile(testing::AllUsersHelpDirectory() / "HHCOLREG.DAT", "<R/>");
    int result = 0;
    EXPECT_EQ(DocumentCollectionFilename(&result), *AllUsersRegistryFile());
    EXPECT_EQ(result, 1);
}

TEST(HelpLocationsTest, NoRegistryFileGivesZeroWithErrorText) {
    int result = 1;
    DocumentCollectionFilename(&result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(testing::LastError(), "HHCOLREG.DAT in %windows%\\HELP not found");
}

TEST(HelpLocationsTest, PathIsCutToTheGivenSizeAndReportedAsUnavailable) {
    PutFile(testing::WindowsHelpDirectory() / "HHCOLREG.DAT", "<R/>");
    char buffer[12];
    std::memset(buffer, 'X', sizeof buffer);
    EXPECT_EQ(QuillGetDefaultDocumentCollectionFilename(buffer, 10), 0);
    EXPECT_EQ(std::string(buffer), WindowsRegistryFile()->substr(0, 9));
    EXPECT_EQ(buffer[10], 'X');
    EXPECT_EQ(QuillGetDefaultDocumentCollectionFilename(nullptr, 10), 0);
}

}  // namespace
}  // namespace tevo::quill

#include "folder_path.h"

#include <gtest/gtest.h>

#include "tevo/quill.h"

namespace tevo::quill {
namespace {

using Parts = std::vector<std::string>;

TEST(FolderPathTest, SplitsAtEveryBackslash) {
    EXPECT_EQ(SplitFolderPath(""), Parts{});
    EXPECT_EQ(SplitFolderPath("A"), Parts{"A"});
    EXPECT_EQ(SplitFolderPath("Maker\\Group\\Driver"), (Parts{"Maker", "Group", "Driver"}));
    EXPECT_EQ(SplitFolderPath("A\\\\B"), (Parts{"A", "", "B"}));  // adjacent backslashes
    EXPECT_EQ(SplitFolderPath("A\\"), Parts{"A"});                // trailing: no extra part
    EXPECT_EQ(SplitFolderPath("\\A"), (Parts{"", "A"}));          // leading: an empty part
    EXPECT_EQ(SplitFolderPath("\\"), Parts{""});
    EXPECT_EQ(SplitFolderPath("A/B"), Parts{"A/B"});  // only "\" separates
}

TEST(FolderPathTest, TooLongOrTooManyPartsIsRefusedNotCut) {
    EXPECT_TRUE(SplitFolderPath(std::string(QUILL_MAX_FOLDER_TEXT, 'a')));
    EXPECT_FALSE(SplitFolderPath(std::string(QUILL_MAX_FOLDER_TEXT + 1, 'a')));

    std::string ninety_nine = "p";
    for (unsigned i = 1; i < QUILL_MAX_FOLDER_PARTS; ++i) {
        ninety_nine += "\\p";
    }
    ASSERT_EQ(SplitFolderPath(ninety_nine)->size(), QUILL_MAX_FOLDER_PARTS);
    EXPECT_TRUE(SplitFolderPath(ninety_nine + "\\"));
    EXPECT_FALSE(SplitFolderPath(ninety_nine + "\\p"));
    EXPECT_FALSE(SplitFolderPath(ninety_nine + "\\\\"));  // the 100th part is empty
}

}  // namespace
}  // namespace tevo::quill

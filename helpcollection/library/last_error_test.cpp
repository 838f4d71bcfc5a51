#include "last_error.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "library_lock.h"
#include "tevo/quill.h"

namespace tevo::quill {
namespace {

TEST(LastErrorTest, IsEmptyInAFreshProcess) {
    // The text lives for the whole process, so this is looked at in a new one.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            char buffer[16] = "unchanged";
            QuillGetLastError(buffer, sizeof buffer);
            std::exit(buffer[0] == '\0' ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(LastErrorTest, QuillGetLastErrorCutsToTheGivenSize) {
    {
        const LibraryLock lock;
        SetLastErrorText("HHCOLREG.DAT not found");
    }
    char buffer[32];
    std::memset(buffer, 'X', sizeof buffer);
    QuillGetLastError(buffer, 9);
    EXPECT_STREQ(buffer, "HHCOLREG");
    EXPECT_EQ(buffer[9], 'X');
    QuillGetLastError(buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "HHCOLREG.DAT not found");
    buffer[0] = 'X';
    QuillGetLastError(buffer, 0);
    EXPECT_EQ(buffer[0], 'X');
    QuillGetLastError(nullptr, 10);  // refused, not dereferenced
}

TEST(LastErrorTest, VersionText) {
    char buffer[64];
    std::memset(buffer, 'X', sizeof buffer);
    QuillGetVersion(buffer);
    EXPECT_STREQ(buffer, "Corvel Quill Version 1.0.0 - Build 002");
    EXPECT_EQ(buffer[std::strlen(buffer) + 1], 'X');
}

}  // namespace
}  // namespace tevo::quill

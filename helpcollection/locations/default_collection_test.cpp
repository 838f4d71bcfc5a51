#include "default_collection.h"

#include <gtest/gtest.h>

#include <cstring>

#include "help_fixtures.h"
#include "tevo/quill.h"
#include "tevo/win/registry.h"

namespace tevo::quill {
namespace {

using testing::kCollectionsKey;
using testing::SetMachineString;

const std::string kBase = kCollectionsKey;

TEST(DefaultCollectionTest, ReadsLanguagePreferredAndFilename) {
    testing::SetDefaultCollection("/help/Dev.col", "1031", "Studio");
    SetMachineString(kBase + "\\1031\\Other", "Filename", "/help/Other.col");
    EXPECT_EQ(DefaultCollectionFilename(), "/help/Dev.col");

    char buffer[64];
    std::memset(buffer, 'X', sizeof buffer);
    EXPECT_EQ(QuillGetDefaultCollectionFilename(buffer, sizeof buffer), 1);
    EXPECT_STREQ(buffer, "/help/Dev.col");
    EXPECT_EQ(buffer[14], 'X');
}

TEST(DefaultCollectionTest, WithoutPreferredTheFirstSubKeyIsUsed) {
    SetMachineString(kBase, "Language", "1033");
    SetMachineString(kBase + "\\1033\\Beta", "Filename", "/help/Beta.col");
    SetMachineString(kBase + "\\1033\\Alpha", "Filename", "/help/Alpha.col");
    EXPECT_EQ(DefaultCollectionFilename(), "/help/Alpha.col");
}

TEST(DefaultCollectionTest, UnavailableWhenAnyReadFails) {
    EXPECT_FALSE(DefaultCollectionFilename());  // nothing registered

    testing::SetDefaultCollection("/help/Dev.col");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, (kBase + "\\1033\\Developer").c_str(), 0,
                            KEY_ALL_ACCESS, &key),
              ERROR_SUCCESS);
    const DWORD number = 5;
    RegSetValueExA(key, "Filename", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                   sizeof number);
    RegCloseKey(key);
    EXPECT_FALSE(DefaultCollectionFilename());  // not a string

    // A value longer than 1024 bytes is not read at all, rather than cut.
    SetMachineString(kBase + "\\1033\\Developer", "Filename", std::string(1024, 'a'));
    EXPECT_FALSE(DefaultCollectionFilename());
    SetMachineString(kBase + "\\1033\\Developer", "Filename", std::string(1023, 'a'));
    EXPECT_TRUE(DefaultCollectionFilename());

    SetMachineString(kBase + "\\1033", "Preferred", "Missing");
    EXPECT_FALSE(DefaultCollectionFilename());  // the preferred key does not exist
}

TEST(DefaultCollectionTest, QuillGetDefaultCollectionFilenameHonoursSize) {
    testing::SetDefaultCollection("/help/Dev.col");
    char buffer[16];
    std::memset(buffer, 'X', sizeof buffer);
    EXPECT_EQ(QuillGetDefaultCollectionFilename(buffer, 13), 0);  // needs 14 bytes
    EXPECT_EQ(buffer[0], 'X');
    EXPECT_EQ(QuillGetDefaultCollectionFilename(buffer, 14), 1);
    EXPECT_STREQ(buffer, "/help/Dev.col");
    EXPECT_EQ(QuillGetDefaultCollectionFilename(nullptr, 14), 0);
}

}  // namespace
}  // namespace tevo::quill

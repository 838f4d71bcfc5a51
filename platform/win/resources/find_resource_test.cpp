#include <gtest/gtest.h>

#include <dlfcn.h>

#include <string>

#include "tevo/testing/temp_dir.h"
#include "tevo/win/lasterror.h"
#include "tevo/win/resources.h"
#include "tevo/win/winerror.h"

namespace {

std::string TestData(const std::string& name) {
    return tevo::testing::ReadFile(std::string(TEVO_RESOURCES_TESTDATA_DIR) + "/" + name);
}

// The bytes of a resource, or "<error N>".
std::string Bytes(HMODULE module, LPCSTR name, LPCSTR type) {
    HRSRC found = FindResourceA(module, name, type);
    if (found == nullptr)
        return "<error " + std::to_string(GetLastError()) + ">";
    const auto* data = static_cast<const char*>(LockResource(LoadResource(module, found)));
    return std::string(data, SizeofResource(module, found));
}

std::string BytesEx(LPCSTR name, LPCSTR type, WORD language) {
    HRSRC found = FindResourceExA(nullptr, type, name, language);
    if (found == nullptr)
        return "<error " + std::to_string(GetLastError()) + ">";
    const auto* data = static_cast<const char*>(LockResource(LoadResource(nullptr, found)));
    return std::string(data, SizeofResource(nullptr, found));
}

std::string Error(DWORD code) {
    return "<error " + std::to_string(code) + ">";
}

TEST(FindResources, EmbeddedFilesComeBackByteForByte) {
    const std::string blob = TestData("blob.bin");
    ASSERT_EQ(blob.size(), 269u);
    ASSERT_NE(blob.find('\0'), std::string::npos);
    EXPECT_EQ(Bytes(nullptr, MAKEINTRESOURCEA(7), RT_RCDATA), blob);
    EXPECT_EQ(Bytes(nullptr, MAKEINTRESOURCEA(1), "TYPELIB"), blob);
    EXPECT_EQ(Bytes(nullptr, MAKEINTRESOURCEA(101), "REGISTRY"), TestData("registry_script.rgs"));
    EXPECT_EQ(Bytes(nullptr, MAKEINTRESOURCEA(201), "CONFIGSCRIPT"), TestData("config_script.sh"));

    // A zero follows the data, so text resources read as C strings.
    HRSRC script = FindResourceA(nullptr, MAKEINTRESOURCEA(101), "REGISTRY");
    ASSERT_NE(script, nullptr);
    const auto* text = static_cast<const char*>(LockResource(LoadResource(nullptr, script)));
    EXPECT_EQ(text[SizeofResource(nullptr, script)], '\0');

    HRSRC empty = FindResourceA(nullptr, "EMPTY", RT_RCDATA);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(SizeofResource(nullptr, empty), 0u);
    EXPECT_NE(LockResource(LoadResource(nullptr, empty)), nullptr);
}

TEST(FindResources, NamesAndTypesIgnoreCaseAndAcceptNumbersAsText) {
    const std::string sample = TestData("sample.txt");
    EXPECT_EQ(Bytes(nullptr, "SAMPLE_TEXT", RT_RCDATA), sample);
    EXPECT_EQ(Bytes(nullptr, "sample_text", MAKEINTRESOURCEA(10)), sample);
    EXPECT_EQ(Bytes(nullptr, "#7", "#10"), TestData("blob.bin"));
    EXPECT_EQ(Bytes(nullptr, MAKEINTRESOURCEA(1), "typelib"), TestData("blob.bin"));
    EXPECT_EQ(Bytes(nullptr, MAKEINTRESOURCEA(201), "ConfigScript"), TestData("config_script.sh"));

    HRSRC wide = FindResourceW(nullptr, L"Sample_Text", MAKEINTRESOURCEW(10));
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(SizeofResource(nullptr, wide), sample.size());
    EXPECT_EQ(FindResourceW(nullptr, MAKEINTRESOURCEW(1), L"TYPELIB"),
              FindResourceA(nullptr, MAKEINTRESOURCEA(1), "TYPELIB"));
}

TEST(FindResources, ReportsWhatIsMissing) {
    EXPECT_EQ(Bytes(nullptr, MAKEINTRESOURCEA(7), "NOSUCHTYPE"),
              Error(ERROR_RESOURCE_TYPE_NOT_FOUND));
    EXPECT_EQ(Bytes(nullptr, MAKEINTRESOURCEA(999), RT_RCDATA),
              Error(ERROR_RESOURCE_NAME_NOT_FOUND));
    // A numeric name does not match a string name that looks like it.
    EXPECT_EQ(Bytes(nullptr, "7", RT_RCDATA), Error(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(Bytes(nullptr, nullptr, RT_RCDATA), Error(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(Bytes(GetModuleHandleA("libc.so.6"), MAKEINTRESOURCEA(7), RT_RCDATA),
              Error(ERROR_RESOURCE_DATA_NOT_FOUND));
    EXPECT_EQ(SizeofResource(nullptr, nullptr), 0u);
    EXPECT_EQ(LoadResource(nullptr, nullptr), nullptr);
}

TEST(FindResources, LanguageChoice) {
    const std::string english = TestData("sample.txt");
    const std::string german = TestData("sample_de.txt");
    EXPECT_EQ(BytesEx(MAKEINTRESOURCEA(8), RT_RCDATA, 0x0407), german);
    EXPECT_EQ(BytesEx(MAKEINTRESOURCEA(8), RT_RCDATA, 0x0807), german);  // same primary language
    EXPECT_EQ(BytesEx(MAKEINTRESOURCEA(8), RT_RCDATA, 0x0409), english);
    EXPECT_EQ(BytesEx(MAKEINTRESOURCEA(8), RT_RCDATA, 0), english);  // English before others
    EXPECT_EQ(Bytes(nullptr, MAKEINTRESOURCEA(8), RT_RCDATA), english);
    // Neutral resources answer every language; others only their own.
    EXPECT_EQ(BytesEx(MAKEINTRESOURCEA(7), RT_RCDATA, 0x040C), TestData("blob.bin"));
    EXPECT_EQ(BytesEx(MAKEINTRESOURCEA(9), RT_RCDATA, 0x0407),
              Error(ERROR_RESOURCE_LANG_NOT_FOUND));
}

class TestModule : public ::testing::Test {
  protected:
    void SetUp() override {
        module_ = LoadLibraryA(TEVO_RESOURCES_TEST_MODULE);
        ASSERT_NE(module_, nullptr) << GetLastError();
    }
    void TearDown() override {
        if (module_ != nullptr)
            FreeLibrary(module_);
    }
    HMODULE module_ = nullptr;
};

TEST_F(TestModule, SameIdsGiveEachModuleItsOwnResources) {
    EXPECT_EQ(Bytes(module_, MAKEINTRESOURCEA(7), RT_RCDATA), TestData("module_blob.txt"));
    EXPECT_EQ(Bytes(nullptr, MAKEINTRESOURCEA(7), RT_RCDATA), TestData("blob.bin"));
    EXPECT_EQ(Bytes(module_, "SAMPLE_TEXT", RT_RCDATA), Error(ERROR_RESOURCE_NAME_NOT_FOUND));

    char buffer[64];
    ASSERT_GT(
        FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE, module_, 1, 0, buffer, sizeof buffer, nullptr),
        0u);
    EXPECT_STREQ(buffer, "Module message one.\r\n");
    ASSERT_GT(
        FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE, nullptr, 1, 0, buffer, sizeof buffer, nullptr),
        0u);
    EXPECT_STREQ(buffer, "Tevo: Success.\r\n");

    EXPECT_EQ(LoadStringA(module_, 17, buffer, sizeof buffer), 15);
    EXPECT_STREQ(buffer, "module: library");
    EXPECT_EQ(LoadStringA(nullptr, 17, buffer, sizeof buffer), 15);
    EXPECT_STREQ(buffer, "module: program");
}

TEST_F(TestModule, UnloadingWithdrawsTheModulesResources) {
    const HMODULE module = module_;
    ASSERT_NE(FindResourceA(module, MAKEINTRESOURCEA(7), RT_RCDATA), nullptr);
    ASSERT_TRUE(FreeLibrary(module_));
    module_ = nullptr;
    void* still_loaded = dlopen(TEVO_RESOURCES_TEST_MODULE, RTLD_LAZY | RTLD_NOLOAD);
    ASSERT_EQ(still_loaded, nullptr) << "the test module was not unloaded";
    EXPECT_EQ(FindResourceA(module, MAKEINTRESOURCEA(7), RT_RCDATA), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));
    // The program's own resources are untouched.
    EXPECT_NE(FindResourceA(nullptr, MAKEINTRESOURCEA(7), RT_RCDATA), nullptr);
}

}  // namespace

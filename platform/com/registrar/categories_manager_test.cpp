// The component-categories manager through COM: categories with their descriptions, and
// the implemented and required categories of a class, written and removed again.
#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "tevo/com/activation.h"
#include "tevo/com/com_ptr.h"
#include "tevo/com/guid.h"
#include "tevo/com/registrar.h"
#include "tevo/win/registry.h"

namespace tevo::com::registrar {
namespace {

using tevo::com::ComPtr;

// {47ED5152-A398-11D4-BA58-000064657374}
constexpr CATID kFirst = {
    0x47ED5152, 0xA398, 0x11D4, {0xBA, 0x58, 0x00, 0x00, 0x64, 0x65, 0x73, 0x74}};
// {47ED5158-A398-11D4-BA58-000064657374}
constexpr CATID kSecond = {
    0x47ED5158, 0xA398, 0x11D4, {0xBA, 0x58, 0x00, 0x00, 0x64, 0x65, 0x73, 0x74}};
// {1C9E2F40-7A3B-4D5E-9F01-23456789ABCD}
constexpr CLSID kClass = {
    0x1C9E2F40, 0x7A3B, 0x4D5E, {0x9F, 0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD}};

std::string ClassesRoot() {
    std::string text;
    EXPECT_EQ(tevo::win::ExportRegistryKey(HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT", &text),
              ERROR_SUCCESS);
    return text;
}

bool KeyExists(const std::string& key) {
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(handle);
    return true;
}

class CategoriesManager : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_PPV_ARGS(&manager_)),
                  S_OK);
    }
    ComPtr<ICatRegister> manager_;
    const std::string class_key_ = "CLSID\\" + GuidToUtf8(kClass);
};

TEST_F(CategoriesManager, WritesAndRemovesCategoriesWithTheirDescriptions) {
    const std::string before = ClassesRoot();
    CATEGORYINFO infos[2] = {{kFirst, 0x409, {}}, {kSecond, 0x407, {}}};
    std::wcscpy(infos[0].szDescription, L"IVI Driver");
    std::wcscpy(infos[1].szDescription, L"IVI-Treiber");
    ASSERT_EQ(manager_->RegisterCategories(2, infos), S_OK);

    char text[256];
    DWORD size = sizeof text;
    const std::string first = "Component Categories\\" + GuidToUtf8(kFirst);
    ASSERT_EQ(
        RegGetValueA(HKEY_CLASSES_ROOT, first.c_str(), "409", RRF_RT_REG_SZ, nullptr, text, &size),
        ERROR_SUCCESS);
    EXPECT_STREQ(text, "IVI Driver");
    size = sizeof text;
    const std::string second = "Component Categories\\" + GuidToUtf8(kSecond);
    ASSERT_EQ(
        RegGetValueA(HKEY_CLASSES_ROOT, second.c_str(), "407", RRF_RT_REG_SZ, nullptr, text, &size),
        ERROR_SUCCESS);
    EXPECT_STREQ(text, "IVI-Treiber");

    CATID ids[] = {kFirst, kSecond};
    ASSERT_EQ(manager_->UnRegisterCategories(2, ids), S_OK);
    EXPECT_FALSE(KeyExists(first));
    EXPECT_FALSE(KeyExists(second));
    // Removing what is not there is no failure.
    EXPECT_EQ(manager_->UnRegisterCategories(2, ids), S_OK);
    EXPECT_EQ(manager_->RegisterCategories(1, nullptr), E_POINTER);
    EXPECT_EQ(ClassesRoot(), before);
}

TEST_F(CategoriesManager, RecordsTheImplementedAndRequiredCategoriesOfAClass) {
    const std::string before = ClassesRoot();
    CATID ids[] = {kFirst, kSecond};
    ASSERT_EQ(manager_->RegisterClassImplCategories(kClass, 1, &ids[0]), S_OK);
    ASSERT_EQ(manager_->RegisterClassImplCategories(kClass, 1, &ids[1]), S_OK);
    ASSERT_EQ(manager_->RegisterClassReqCategories(kClass, 1, &ids[1]), S_OK);
    const std::string implemented = class_key_ + "\\Implemented Categories\\";
    const std::string required = class_key_ + "\\Required Categories\\";
    EXPECT_TRUE(KeyExists(implemented + GuidToUtf8(kFirst)));
    EXPECT_TRUE(KeyExists(implemented + GuidToUtf8(kSecond)));
    EXPECT_TRUE(KeyExists(required + GuidToUtf8(kSecond)));
    EXPECT_FALSE(KeyExists(required + GuidToUtf8(kFirst)));

    // One removed: the other stays, and so does the list.
    ASSERT_EQ(manager_->UnRegisterClassImplCategories(kClass, 1, &ids[0]), S_OK);
    EXPECT_FALSE(KeyExists(implemented + GuidToUtf8(kFirst)));
    EXPECT_TRUE(KeyExists(implemented + GuidToUtf8(kSecond)));
    // The last one removed takes the list key with it.
    ASSERT_EQ(manager_->UnRegisterClassImplCategories(kClass, 2, ids), S_OK);
    EXPECT_FALSE(KeyExists(class_key_ + "\\Implemented Categories"));
    EXPECT_TRUE(KeyExists(required + GuidToUtf8(kSecond)));
    ASSERT_EQ(manager_->UnRegisterClassReqCategories(kClass, 1, &ids[1]), S_OK);
    EXPECT_FALSE(KeyExists(class_key_ + "\\Required Categories"));

    // Only the class key that the categories needed is left over.
    ASSERT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, class_key_.c_str()), ERROR_SUCCESS);
    EXPECT_EQ(ClassesRoot(), before);
}

}  // namespace
}  // namespace tevo::com::registrar

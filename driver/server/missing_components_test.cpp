// Registration and use of the driver when a platform component it calls on is not installed
// in the system root: the registrar's absence fails registration, the categories manager's
// is skipped, and without the tracing service the driver works untraced.
#include <gtest/gtest.h>

#include <string>

#include "testing/driver_test_support.h"
#include "tevo/TraceRuntime.h"
#include "tevo/com/activation.h"
#include "tevo/com/registrar.h"
#include "tevo/win/registry.h"

namespace tevo::driver {
namespace {

using namespace tevo::driver::testing;

using ServerFunction = HRESULT (*)();

void Uninstall(REFCLSID clsid) {
    wchar_t text[40] = {};
    ASSERT_EQ(StringFromGUID2(clsid, text, 40), 39);
    const std::wstring key = std::wstring(L"CLSID\\") + text;
    ASSERT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str()), ERROR_SUCCESS);
}

bool ClassesRootHas(const char* subkey) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, subkey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

constexpr const char* kDriverClassKey = "CLSID\\{02bd502a-d246-488b-bb4c-4659e329a803}";

class MissingComponent : public ::testing::Test {
  protected:
    void SetUp() override {
        module_ = LoadLibraryA(TEVO_DRIVER_MODULE);
        ASSERT_NE(module_, nullptr);
        register_ = reinterpret_cast<ServerFunction>(GetProcAddress(module_, "DllRegisterServer"));
        ASSERT_NE(register_, nullptr);
    }
    void TearDown() override {
        if (module_ != nullptr) {
            FreeLibrary(module_);
        }
    }

    HMODULE module_ = nullptr;
    ServerFunction register_ = nullptr;
};

TEST_F(MissingComponent, WithoutTheRegistrarRegistrationFailsWithItsCreationError) {
    Uninstall(CLSID_Registrar);
    EXPECT_EQ(register_(), REGDB_E_CLASSNOTREG);
    EXPECT_FALSE(ClassesRootHas(kDriverClassKey));
    EXPECT_FALSE(ClassesRootHas("Tevo.Tevo"));
}

TEST_F(MissingComponent, WithoutTheCategoriesManagerCategoriesAreSkipped) {
    Uninstall(CLSID_StdComponentCategoriesMgr);
    ASSERT_EQ(register_(), S_OK);
    EXPECT_TRUE(ClassesRootHas(kDriverClassKey));
    EXPECT_FALSE(ClassesRootHas(
        "CLSID\\{02bd502a-d246-488b-bb4c-4659e329a803}\\Implemented Categories"));
    ComPtr<ITevo> driver;
    EXPECT_EQ(CoCreateInstance(CLSID_Tevo, nullptr, CLSCTX_INPROC_SERVER, IID_ITevo,
                               reinterpret_cast<void**>(&driver)),
              S_OK);
}

TEST_F(MissingComponent, WithoutTheTracingServiceTheDriverIsCreatedAndWorks) {
    Uninstall(CLSID_TracingService);
    ASSERT_EQ(register_(), S_OK);
    ComPtr<ITevo> driver;
    ASSERT_EQ(CoCreateInstance(CLSID_Tevo, nullptr, CLSCTX_INPROC_SERVER, IID_ITevo,
                               reinterpret_cast<void**>(&driver)),
              S_OK);
    ASSERT_EQ(driver->Initialize(Bstr(L"x").Get(), VARIANT_FALSE, VARIANT_FALSE,
                                 Bstr(L"Simulate=true").Get()),
              S_OK);
    Bstr revision;
    ComPtr<IIviDriverIdentity> identity;
    ASSERT_EQ(driver->get_Identity(&identity), S_OK);
    EXPECT_EQ(identity->get_Revision(&revision), S_OK);
    EXPECT_EQ(driver->Close(), S_OK);
}

}  // namespace
}  // namespace tevo::driver

// Self-registration of the built driver module, as regsvr runs it: the keys and values of
// the three classes, the driver's component categories and the type library; creation by
// ProgID and class identifier afterwards; and unregistration back to the hives before.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "testing/driver_test_support.h"
#include "testing/thread_watchdog.h"
#include "tevo/com/activation.h"
#include "tevo/testing/temp_dir.h"
#include "tevo/win/registry.h"

namespace tevo::driver {
namespace {

using namespace tevo::driver::testing;

using ServerFunction = HRESULT (*)();

std::string Hives() {
    std::string all;
    for (const auto& [key, name] : {std::pair{HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT"},
                                    std::pair{HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE"},
                                    std::pair{HKEY_CURRENT_USER, "HKEY_CURRENT_USER"}}) {
        std::string text;
        EXPECT_EQ(tevo::win::ExportRegistryKey(key, name, &text), ERROR_SUCCESS);
        all += text;
    }
    return all;
}

// The key below HKEY_CLASSES_ROOT with everything under it, as REGEDIT4 text; "<missing>"
// when it does not exist.
std::string ClassesRootKey(const std::string& subkey) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return "<missing>";
    }
    std::string text;
    EXPECT_EQ(tevo::win::ExportRegistryKey(key, "HKEY_CLASSES_ROOT\\" + subkey, &text),
              ERROR_SUCCESS);
    RegCloseKey(key);
    return text;
}

struct ExpectedClass {
    const char* clsid;
    const char* description;
    const char* version_independent_progid;
    const char* progid;
};

// Subkeys are exported in name order, so ProgID comes before Programmable.
// Typed from the registration table: identifiers lower-case in braces.
constexpr ExpectedClass kExpectedClasses[] = {
    {"{02bd502a-d246-488b-bb4c-4659e329a803}", "Tevo Class", "Tevo.Tevo", "Tevo.Tevo.1"},
    {"{b87d1c66-102a-4181-bfca-96515b3d61eb}", "TevoSpecAnTrace Class", "Tevo.TevoSpecAnTrace",
     "Tevo.TevoSpecAnTrace.1"},
    {"{9255f43a-b174-4e3f-8083-0faa2d3bfd9b}", "TevoTrace Class", "Tevo.TevoTrace",
     "Tevo.TevoTrace.1"},
};
constexpr const char* kTypeLibrary = "{16f9c0c7-2a66-4cf9-ba35-47d6737eb6e5}";

std::string Section(const std::string& key, const std::string& default_value) {
    return "\n[" + key + "]\n@=\"" + default_value + "\"\n";
}

std::string ExpectedProgIdKey(const ExpectedClass& entry) {
    const std::string key = std::string("HKEY_CLASSES_ROOT\\") + entry.progid;
    return "REGEDIT4\n" + Section(key, entry.description) + Section(key + "\\CLSID", entry.clsid) +
           "\n";
}

std::string ExpectedVersionIndependentKey(const ExpectedClass& entry) {
    const std::string key = std::string("HKEY_CLASSES_ROOT\\") + entry.version_independent_progid;
    return "REGEDIT4\n" + Section(key, entry.description) + Section(key + "\\CLSID", entry.clsid) +
           Section(key + "\\CurVer", entry.progid) + "\n";
}

std::string EscapedForRegedit(const std::string& text) {
    std::string escaped;
    for (const char c : text) {
        if (c == '\\' || c == '"') {
            escaped += '\\';
        }
        escaped += c;
    }
    return escaped;
}

std::string ExpectedClassKey(const ExpectedClass& entry, const std::string& module_path,
                             bool with_categories) {
    const std::string key = std::string("HKEY_CLASSES_ROOT\\CLSID\\") + entry.clsid;
    std::string text = "REGEDIT4\n" + Section(key, entry.description);
    if (with_categories) {
        text += "\n[" + key + "\\Implemented Categories]\n";
        text += "\n[" + key + "\\Implemented Categories\\{47ED5152-A398-11D4-BA58-000064657374}]\n";
        text += "\n[" + key + "\\Implemented Categories\\{47ED5158-A398-11D4-BA58-000064657374}]\n";
    }
    text += Section(key + "\\InprocServer32", EscapedForRegedit(module_path)) +
            "\"ThreadingModel\"=\"Both\"\n";
    text += Section(key + "\\ProgID", entry.progid);
    text += "\n[" + key + "\\Programmable]\n";
    text += Section(key + "\\TypeLib", kTypeLibrary);
    text += Section(key + "\\VersionIndependentProgID", entry.version_independent_progid);
    return text + "\n";
}

class DriverRegistration : public ::testing::Test {
  protected:
    void SetUp() override {
        module_ = LoadLibraryA(TEVO_DRIVER_MODULE);
        ASSERT_NE(module_, nullptr) << TEVO_DRIVER_MODULE;
        register_ = reinterpret_cast<ServerFunction>(GetProcAddress(module_, "DllRegisterServer"));
        unregister_ =
            reinterpret_cast<ServerFunction>(GetProcAddress(module_, "DllUnregisterServer"));
        ASSERT_NE(register_, nullptr);
        ASSERT_NE(unregister_, nullptr);
        char path[4096] = {};
        ASSERT_GT(GetModuleFileNameA(module_, path, sizeof path), 0u);
        module_path_ = path;
    }
    void TearDown() override {
        if (module_ != nullptr) {
            FreeLibrary(module_);
        }
    }

    HMODULE module_ = nullptr;
    ServerFunction register_ = nullptr;
    ServerFunction unregister_ = nullptr;
    std::string module_path_;
};

TEST_F(DriverRegistration, WritesTheKeysOfEveryClassItsCategoriesAndTheTypeLibrary) {
    ASSERT_EQ(register_(), S_OK);
    for (const ExpectedClass& entry : kExpectedClasses) {
        SCOPED_TRACE(entry.progid);
        EXPECT_EQ(ClassesRootKey(entry.progid), ExpectedProgIdKey(entry));
        EXPECT_EQ(ClassesRootKey(entry.version_independent_progid),
                  ExpectedVersionIndependentKey(entry));
        const bool is_driver = &entry == &kExpectedClasses[0];
        EXPECT_EQ(ClassesRootKey(std::string("CLSID\\") + entry.clsid),
                  ExpectedClassKey(entry, module_path_, is_driver));
    }
    // The type library is registered from the module itself.
    EXPECT_NE(ClassesRootKey(std::string("TypeLib\\") + kTypeLibrary), "<missing>");
    ComPtr<ITypeLib> library;
    ASSERT_EQ(LoadRegTypeLib(LIBID_Tevo_ValdacorLib, 1, 0, LOCALE_USER_DEFAULT, &library), S_OK);
    EXPECT_EQ(unregister_(), S_OK);
}

TEST_F(DriverRegistration, RegistrationsRunningAtOnceAllSucceedAndWriteEveryKeyWhole) {
    constexpr int kRegistrations = 3;
    auto results = std::make_shared<std::array<std::atomic<HRESULT>, kRegistrations>>();
    {
        WatchedThreads threads;
        for (int i = 0; i < kRegistrations; ++i) {
            threads.Start([results, i, do_register = register_] { (*results)[i] = do_register(); });
        }
        ASSERT_TRUE(threads.JoinWithin(std::chrono::minutes(5)));
    }
    for (const std::atomic<HRESULT>& result : *results) {
        EXPECT_EQ(result.load(), S_OK);
    }
    for (const ExpectedClass& entry : kExpectedClasses) {
        SCOPED_TRACE(entry.progid);
        EXPECT_EQ(ClassesRootKey(std::string("CLSID\\") + entry.clsid),
                  ExpectedClassKey(entry, module_path_, &entry == &kExpectedClasses[0]));
    }
}

TEST_F(DriverRegistration, ClientsCreateTheDriverByProgIdAndClassIdentifier) {
    ASSERT_EQ(register_(), S_OK);
    for (const wchar_t* progid : {L"Tevo.Tevo", L"Tevo.Tevo.1"}) {
        CLSID clsid = {};
        ASSERT_EQ(CLSIDFromProgID(progid, &clsid), S_OK);
        EXPECT_TRUE(clsid == CLSID_Tevo);
    }
    ComPtr<IIviDriver> driver;
    ASSERT_EQ(CoCreateInstance(CLSID_Tevo, nullptr, CLSCTX_INPROC_SERVER, IID_IIviDriver,
                               reinterpret_cast<void**>(&driver)),
              S_OK);
    ComPtr<IIviDriverIdentity> identity;
    ASSERT_EQ(driver->get_Identity(&identity), S_OK);
    Bstr prefix;
    ASSERT_EQ(identity->get_Identifier(&prefix), S_OK);
    EXPECT_EQ(prefix.ToWide(), L"Tevo");
    // The item classes are registered but handed out by no factory.
    ComPtr<IUnknown> item;
    EXPECT_EQ(CoCreateInstance(CLSID_TevoTrace, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&item)),
              CLASS_E_CLASSNOTAVAILABLE);
    identity = nullptr;
    driver = nullptr;
    EXPECT_EQ(unregister_(), S_OK);
}

TEST_F(DriverRegistration, UnregistrationLeavesTheHivesAsBeforeAndKeepsTheClsidKey) {
    const std::string before = Hives();
    ASSERT_EQ(register_(), S_OK);
    ASSERT_NE(Hives(), before);
    EXPECT_EQ(unregister_(), S_OK);
    EXPECT_EQ(Hives(), before);
    EXPECT_NE(ClassesRootKey("CLSID"), "<missing>");
    // Unregistering what is not registered changes nothing and still succeeds.
    EXPECT_EQ(unregister_(), S_OK);
    EXPECT_EQ(Hives(), before);
}

TEST(DriverRegistrationPath, AModulePathWithApostrophesAndBlanksIsWrittenWhole) {
    const tevo::testing::TempDir dir;
    const std::filesystem::path copy = dir.path() / "it's a 'driver' folder" / "lib tevo.so";
    std::filesystem::create_directories(copy.parent_path());
    std::filesystem::copy_file(TEVO_DRIVER_MODULE, copy);
    HMODULE module = LoadLibraryA(copy.string().c_str());
    ASSERT_NE(module, nullptr);
    auto do_register =
        reinterpret_cast<ServerFunction>(GetProcAddress(module, "DllRegisterServer"));
    auto do_unregister =
        reinterpret_cast<ServerFunction>(GetProcAddress(module, "DllUnregisterServer"));
    ASSERT_NE(do_register, nullptr);
    ASSERT_NE(do_unregister, nullptr);
    const std::string before = Hives();

    EXPECT_EQ(do_register(), S_OK);
    const std::string class_key = std::string("CLSID\\") + kExpectedClasses[0].clsid;
    EXPECT_EQ(ClassesRootKey(class_key),
              ExpectedClassKey(kExpectedClasses[0], copy.string(), true));
    EXPECT_EQ(do_unregister(), S_OK);
    EXPECT_EQ(Hives(), before);
    FreeLibrary(module);
}

}  // namespace
}  // namespace tevo::driver

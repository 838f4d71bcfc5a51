// The registrar through COM, as a server's self-registration uses it: scripts registered
// and unregistered back to the exact hives before, replacements with apostrophes and
// blanks, NoRemove, ForceRemove and Delete against keys that others own, scripts from a
// module's REGISTRY resource, and malformed scripts that fail and change nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tevo/com/activation.h"
#include "tevo/com/bstr.h"
#include "tevo/com/com_ptr.h"
#include "tevo/com/errorinfo.h"
#include "tevo/com/registrar.h"
#include "tevo/testing/temp_dir.h"
#include "tevo/win/registry.h"
#include "tevo/win/text.h"

namespace tevo::com::registrar {
namespace {

using tevo::com::ComPtr;

// Every hive as REGEDIT4 text.
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

std::string StringValue(HKEY root, const std::string& key, const char* name = nullptr) {
    char buffer[1024];
    DWORD size = sizeof buffer;
    if (RegGetValueA(root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, buffer, &size) !=
        ERROR_SUCCESS) {
        return "<missing>";
    }
    return buffer;
}

DWORD DwordValue(HKEY root, const std::string& key, const char* name) {
    DWORD value = 0xDEADBEEF;
    DWORD size = sizeof value;
    RegGetValueA(root, key.c_str(), name, RRF_RT_REG_DWORD, nullptr, &value, &size);
    return value;
}

bool KeyExists(HKEY root, const std::string& key) {
    HKEY handle = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(handle);
    return true;
}

void SetString(HKEY root, const std::string& key, const char* name, const std::string& value) {
    HKEY handle = nullptr;
    ASSERT_EQ(RegCreateKeyExA(root, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                              nullptr, &handle, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>(value.size() + 1)),
              ERROR_SUCCESS);
    RegCloseKey(handle);
}

// The description of the thread's error information.
std::string ErrorDescription() {
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, &info) != S_OK || !info) {
        return "<none>";
    }
    BSTR description = nullptr;
    info->GetDescription(&description);
    std::string text = description != nullptr ? tevo::win::WideToUtf8(description) : "";
    SysFreeString(description);
    return text;
}

// The module path as a caller hands it over: every apostrophe doubled.
std::wstring Doubled(const std::wstring& path) {
    std::wstring doubled;
    for (wchar_t c : path) {
        doubled += c;
        if (c == L'\'') {
            doubled += L'\'';
        }
    }
    return doubled;
}

constexpr wchar_t kFullScript[] =
    L"HKCR\n"
    L"{\n"
    L"  Tevo.ScriptTest.1 = s 'Script Test Class'\n"
    L"  {\n"
    L"    CLSID = s '{3D2A7C10-55E1-4B0A-8F6E-0C9B2D4A6E11}'\n"
    L"  }\n"
    L"  NoRemove CLSID\n"
    L"  {\n"
    L"    ForceRemove {3D2A7C10-55E1-4B0A-8F6E-0C9B2D4A6E11} = s 'Script Test Class'\n"
    L"    {\n"
    L"      ProgID = s 'Tevo.ScriptTest.1'\n"
    L"      Programmable\n"
    L"      InprocServer32 = s '%MODULE%'\n"
    L"      {\n"
    L"        val ThreadingModel = s 'Both'\n"
    L"      }\n"
    L"      val Flags = d 42\n"
    L"    }\n"
    L"  }\n"
    L"  Delete Tevo.ScriptTest.Obsolete\n"
    L"}\n"
    L"HKLM\n"
    L"{\n"
    L"  NoRemove SOFTWARE\n"
    L"  {\n"
    L"    'Tevo Script Test'\n"
    L"    {\n"
    L"      val Path = s '%MODULE%'\n"
    L"      val Mask = d 0xFF00\n"
    L"    }\n"
    L"  }\n"
    L"}\n"
    L"HKCU { 'Tevo Script Test' = s 'user' }\n";

constexpr char kTestClassKey[] = "CLSID\\{3D2A7C10-55E1-4B0A-8F6E-0C9B2D4A6E11}";

class Registrar : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(CoCreateInstance(CLSID_Registrar, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_PPV_ARGS(&registrar_)),
                  S_OK);
    }
    ComPtr<IRegistrar> registrar_;
};

TEST_F(Registrar, RegistersEveryConstructAndUnregistersToTheHivesBefore) {
    const std::wstring module = L"/opt/it's a 'test'/lib tevo.so";
    ASSERT_EQ(registrar_->AddReplacement(L"Module", Doubled(module).c_str()), S_OK);
    SetString(HKEY_CLASSES_ROOT, "Tevo.ScriptTest.Obsolete\\CLSID", nullptr, "old");
    const std::string before = Hives();

    ASSERT_EQ(registrar_->StringRegister(kFullScript), S_OK);
    const std::string path = tevo::win::WideToUtf8(module);
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, "Tevo.ScriptTest.1"), "Script Test Class");
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, "Tevo.ScriptTest.1\\CLSID"),
              "{3D2A7C10-55E1-4B0A-8F6E-0C9B2D4A6E11}");
    const std::string key = kTestClassKey;
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, key), "Script Test Class");
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, key + "\\ProgID"), "Tevo.ScriptTest.1");
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, key + "\\Programmable"));
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, key + "\\InprocServer32"), path);
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, key + "\\InprocServer32", "ThreadingModel"), "Both");
    EXPECT_EQ(DwordValue(HKEY_CLASSES_ROOT, key, "Flags"), 42U);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Tevo.ScriptTest.Obsolete"));
    EXPECT_EQ(StringValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tevo Script Test", "Path"), path);
    EXPECT_EQ(DwordValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tevo Script Test", "Mask"), 0xFF00U);
    EXPECT_EQ(StringValue(HKEY_CURRENT_USER, "Tevo Script Test"), "user");

    ASSERT_EQ(registrar_->StringUnregister(kFullScript), S_OK);
    // Delete entries are left alone at unregistration: only the deleted key differs.
    SetString(HKEY_CLASSES_ROOT, "Tevo.ScriptTest.Obsolete\\CLSID", nullptr, "old");
    EXPECT_EQ(Hives(), before);
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "CLSID"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE"));
    // Unregistering what is not there is no failure.
    EXPECT_EQ(registrar_->StringUnregister(kFullScript), S_OK);
}

TEST_F(Registrar, ForceRemoveReplacesAKeyAndOtherKeysKeepWhatOthersPutInThem) {
    ASSERT_EQ(registrar_->AddReplacement(L"MODULE", L"/lib/x.so"), S_OK);
    // Left-overs of an older registration under the ForceRemove key go; a value someone
    // else put into a plain key stays, and so does that key.
    SetString(HKEY_CLASSES_ROOT, std::string(kTestClassKey) + "\\Stale", nullptr, "stale");
    SetString(HKEY_CURRENT_USER, "Tevo Script Test", "Other", "kept");
    ASSERT_EQ(registrar_->StringRegister(kFullScript), S_OK);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, std::string(kTestClassKey) + "\\Stale"));

    ASSERT_EQ(registrar_->StringUnregister(kFullScript), S_OK);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kTestClassKey));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Tevo.ScriptTest.1"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tevo Script Test"));
    EXPECT_EQ(StringValue(HKEY_CURRENT_USER, "Tevo Script Test", "Other"), "kept");
}

TEST_F(Registrar, MalformedScriptsFailClearlyAndChangeNothing) {
    ASSERT_EQ(registrar_->AddReplacement(L"MODULE", L"/lib/x.so"), S_OK);
    const std::string before = Hives();
    // Valid keys before the fault must not be written either.
    const wchar_t* scripts[] = {
        L"HKCR { Tevo.Bad.1 = s 'x' }\nHKCU\n{\n  A = s 'never closed'\n",
        L"HKCR { Tevo.Bad.1 = s 'x' { val N = d nine } }",
        L"HKCR { Tevo.Bad.1 = s '%UNKNOWN%' }",
        L"HKLM { SOFTWARE { Tevo = s 'x' } } HKZZ { }",
    };
    for (const wchar_t* script : scripts) {
        SetErrorInfo(0, nullptr);
        EXPECT_EQ(registrar_->StringRegister(script), DISP_E_EXCEPTION);
        EXPECT_NE(ErrorDescription().find("line "), std::string::npos) << ErrorDescription();
        EXPECT_EQ(registrar_->StringUnregister(script), DISP_E_EXCEPTION);
    }
    EXPECT_EQ(Hives(), before);
    SetErrorInfo(0, nullptr);
    EXPECT_EQ(registrar_->StringRegister(L"HKCR\n{\n  A = s 'x'\n"), DISP_E_EXCEPTION);
    EXPECT_EQ(ErrorDescription(),
              "registry script, line 3: the script ends inside a key: '}' missing");

    // After ClearReplacements, %MODULE% is unknown.
    ASSERT_EQ(registrar_->ClearReplacements(), S_OK);
    EXPECT_EQ(registrar_->StringRegister(kFullScript), DISP_E_EXCEPTION);
    EXPECT_EQ(Hives(), before);
    EXPECT_EQ(registrar_->StringRegister(nullptr), E_INVALIDARG);
    EXPECT_EQ(registrar_->AddReplacement(nullptr, L"x"), E_INVALIDARG);
}

TEST_F(Registrar, RunsTheScriptOfAModulesRegistryResource) {
    const std::wstring module = tevo::win::Utf8ToWide(TEVO_ACTIVATION_TEST_COMPONENT);
    ASSERT_EQ(registrar_->AddReplacement(L"Module", Doubled(module).c_str()), S_OK);
    const std::string before = Hives();
    ASSERT_EQ(registrar_->ResourceRegister(module.c_str(), 101, L"REGISTRY"), S_OK);
    const std::string key = "CLSID\\{0B7F3E52-1A64-4C8D-9E21-5F3A7C9D1B60}";
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, key), "Registrar Test Class");
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, key + "\\InprocServer32"),
              tevo::win::WideToUtf8(module));
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, "Tevo.RegistrarTest.1\\CLSID"),
              "{0B7F3E52-1A64-4C8D-9E21-5F3A7C9D1B60}");
    ASSERT_EQ(registrar_->ResourceUnregister(module.c_str(), 101, L"REGISTRY"), S_OK);
    EXPECT_EQ(Hives(), before);

    // A resource or module that is not there fails and runs nothing.
    EXPECT_EQ(registrar_->ResourceRegister(module.c_str(), 102, L"REGISTRY"),
              HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(registrar_->ResourceRegister(module.c_str(), 101, L"CONFIGSCRIPT"),
              HRESULT_FROM_WIN32(ERROR_RESOURCE_TYPE_NOT_FOUND));
    EXPECT_TRUE(FAILED(registrar_->ResourceRegister(L"/no/such/module.so", 101, L"REGISTRY")));
    EXPECT_EQ(Hives(), before);
}

TEST_F(Registrar, AModuleWhosePathHasApostrophesAndBlanksRegistersWithItsWholePath) {
    const tevo::testing::TempDir dir;
    const std::filesystem::path copy = dir / "it's a 'folder'" / "lib test server.so";
    std::filesystem::create_directories(copy.parent_path());
    std::filesystem::copy_file(TEVO_ACTIVATION_TEST_COMPONENT, copy);
    const std::wstring module = tevo::win::Utf8ToWide(copy.string());
    ASSERT_EQ(registrar_->AddReplacement(L"Module", Doubled(module).c_str()), S_OK);
    const std::string before = Hives();

    ASSERT_EQ(registrar_->ResourceRegister(module.c_str(), 101, L"REGISTRY"), S_OK);
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT,
                          "CLSID\\{0B7F3E52-1A64-4C8D-9E21-5F3A7C9D1B60}\\InprocServer32"),
              copy.string());
    ASSERT_EQ(registrar_->ResourceUnregister(module.c_str(), 101, L"REGISTRY"), S_OK);
    EXPECT_EQ(Hives(), before);
}

TEST_F(Registrar, ItsObjectsHoldTheirModule) {
    // The registrar's module is in use while the registrar lives: unloading unused
    // servers keeps it working.
    CoFreeUnusedLibraries();
    ASSERT_EQ(registrar_->AddReplacement(L"MODULE", L"/x.so"), S_OK);
    EXPECT_EQ(registrar_->StringRegister(L"HKCU { 'Tevo Hold' = s '%MODULE%' }"), S_OK);
    EXPECT_EQ(StringValue(HKEY_CURRENT_USER, "Tevo Hold"), "/x.so");
    ComPtr<IUnknown> unknown;
    EXPECT_EQ(registrar_->QueryInterface(IID_PPV_ARGS(&unknown)), S_OK);
    ComPtr<IClassFactory> not_there;
    EXPECT_EQ(registrar_->QueryInterface(IID_PPV_ARGS(&not_there)), E_NOINTERFACE);
}

}  // namespace
}  // namespace tevo::com::registrar

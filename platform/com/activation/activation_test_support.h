// Shared by the activation and regsvr tests: where the test servers are, whether a library
// is loaded in this process, and registry helpers.
#pragma once

#include <gtest/gtest.h>
#include <link.h>

#include <filesystem>
#include <string>

#include "testcomponent/test_component.h"
#include "tevo/com/activation.h"
#include "tevo/com/guid.h"
#include "tevo/win/registry.h"
#include "tevo/win/resources.h"

namespace tevo::com::testing {

inline const std::filesystem::path kTestServer = TEVO_ACTIVATION_TEST_COMPONENT;
inline const std::filesystem::path kLimitedTestServer = TEVO_ACTIVATION_TEST_COMPONENT_LIMITED;
// A shared library that exports no DllGetClassObject and no DllRegisterServer.
inline const std::filesystem::path kLibraryWithoutServer = TEVO_WIN_LIBRARY;

// Whether a shared object of that file is mapped into this process, as the dynamic loader
// lists them.
inline bool IsLibraryLoaded(const std::filesystem::path& path) {
    struct Search {
        std::filesystem::path wanted;
        bool found = false;
    } search{path};
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t /*size*/, void* data) -> int {
            auto* search = static_cast<Search*>(data);
            std::error_code error;
            if (info->dlpi_name != nullptr && info->dlpi_name[0] != '\0' &&
                std::filesystem::equivalent(info->dlpi_name, search->wanted, error)) {
                search->found = true;
            }
            return 0;
        },
        &search);
    return search.found;
}

// Sets a string value of HKEY_CLASSES_ROOT\<subkey> (empty name: the default value).
inline void SetClassesRootString(const std::string& subkey, const std::string& name,
                                 const std::string& value, DWORD type = REG_SZ) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, subkey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key, name.empty() ? nullptr : name.c_str(), 0, type,
                             reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>(value.size() + 1)),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

inline bool ClassesRootKeyExists(const std::string& subkey) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

inline std::string TestClassKey() {
    return "CLSID\\" + GuidToUtf8(CLSID_ActivationTest);
}

// Registers the test class with the given library path as its in-process server, by hand.
inline void RegisterTestClassAt(const std::string& library, DWORD type = REG_SZ) {
    SetClassesRootString(TestClassKey() + "\\InprocServer32", "", library, type);
}

// Calls the test server's DllRegisterServer (or DllUnregisterServer) in this process, as
// an installer does, and unloads it again.
inline HRESULT CallTestServerEntry(const char* entry_name) {
    const HMODULE module = LoadLibraryA(kTestServer.c_str());
    if (module == nullptr) {
        return CO_E_DLLNOTFOUND;
    }
    using Entry = HRESULT (*)();
    const auto entry = reinterpret_cast<Entry>(GetProcAddress(module, entry_name));
    const HRESULT hr = entry != nullptr ? entry() : CO_E_ERRORINDLL;
    FreeLibrary(module);
    return hr;
}

// Live objects and objects created since load, as the test server counts them.
struct ServerCounters {
    LONG live = -1;
    LONG created_since_load = -1;
};
inline ServerCounters CountersOf(IActivationTest* object) {
    ServerCounters counters;
    EXPECT_EQ(object->GetCounters(&counters.live, &counters.created_since_load), S_OK);
    return counters;
}

// Every test starts and ends with no test server loaded by activation: the table of
// loaded servers lives as long as the process, across tests.
class ActivationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        CoFreeUnusedLibraries();
        ASSERT_FALSE(IsLibraryLoaded(kTestServer));
    }
    void TearDown() override { CoFreeUnusedLibraries(); }
};

}  // namespace tevo::com::testing

// DllRegisterServer and DllUnregisterServer of the test server: the keys of one class with
// a ProgID and a version-independent ProgID, written as self-registering servers write
// them.
#include <string>

#include "test_component.h"
#include "tevo/com/activation.h"
#include "tevo/com/guid.h"
#include "tevo/win/registry.h"
#include "tevo/win/resources.h"

#ifdef TEVO_ACTIVATION_TEST_LIMITED

extern "C" HRESULT DllRegisterServer() {
    return E_FAIL;
}

#else

namespace {

// Sets a string value of HKEY_CLASSES_ROOT\<subkey> (null name: the default value).
bool SetString(const std::string& subkey, const char* name, const std::string& value) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const LONG status =
        RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

// The full path of this library.
std::string ModulePath() {
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCSTR>(&SetString), &module)) {
        return {};
    }
    char path[4096];
    const DWORD length = GetModuleFileNameA(module, path, sizeof path);
    if (length == 0 || length >= sizeof path) {
        return {};
    }
    return std::string(path, length);
}

}  // namespace

extern "C" HRESULT DllRegisterServer() {
    const std::string module = ModulePath();
    if (module.empty()) {
        return SELFREG_E_CLASS;
    }
    const std::string clsid = tevo::com::GuidToUtf8(CLSID_ActivationTest);
    const std::string class_key = "CLSID\\" + clsid;
    const std::string progid = kActivationTestProgId;
    const std::string independent = kActivationTestVersionIndependentProgId;
    const bool written =
        SetString(progid, nullptr, kActivationTestDescription) &&
        SetString(progid + "\\CLSID", nullptr, clsid) &&
        SetString(independent, nullptr, kActivationTestDescription) &&
        SetString(independent + "\\CLSID", nullptr, clsid) &&
        SetString(independent + "\\CurVer", nullptr, progid) &&
        SetString(class_key, nullptr, kActivationTestDescription) &&
        SetString(class_key + "\\ProgID", nullptr, progid) &&
        SetString(class_key + "\\VersionIndependentProgID", nullptr, independent) &&
        SetString(class_key + "\\InprocServer32", nullptr, module) &&
        SetString(class_key + "\\InprocServer32", "ThreadingModel", "Both");
    return written ? S_OK : SELFREG_E_CLASS;
}

extern "C" HRESULT DllUnregisterServer() {
    const std::string class_key = "CLSID\\" + tevo::com::GuidToUtf8(CLSID_ActivationTest);
    for (const std::string& key :
         {std::string(kActivationTestProgId), std::string(kActivationTestVersionIndependentProgId),
          class_key}) {
        const LONG status = RegDeleteTreeA(HKEY_CLASSES_ROOT, key.c_str());
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
            return SELFREG_E_CLASS;
        }
    }
    return S_OK;
}

#endif

// DllRegisterServer and DllUnregisterServer: the class keys of every creatable class
// (InprocServer32 = this library, ThreadingModel Both, ProgID "IviConfigServer.<Class>.1"
// and version-independent ProgID "IviConfigServer.<Class>"), and the type library, which
// lies next to the library as IviConfigServer.tlb.
#include <filesystem>
#include <string>

#include "server_classes.h"
#include "tevo/com/guid.h"
#include "tevo/com/typeinfo.h"
#include "tevo/win/registry.h"
#include "tevo/win/resources.h"
#include "tevo/win/text.h"

namespace {

using tevo::ivi::config::ServerClasses;

constexpr char kTypeLibraryFile[] = "IviConfigServer.tlb";

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

extern "C" __attribute__((visibility("default"))) HRESULT DllRegisterServer() {
    const std::string module = ModulePath();
    if (module.empty()) {
        return SELFREG_E_CLASS;
    }
    const std::string libid = tevo::com::GuidToUtf8(LIBID_IVICONFIGSERVERLib);
    for (const auto& server_class : ServerClasses()) {
        const std::string clsid = tevo::com::GuidToUtf8(*server_class.clsid);
        const std::string class_key = "CLSID\\" + clsid;
        const std::string independent = std::string("IviConfigServer.") + server_class.name;
        const std::string progid = independent + ".1";
        const std::string description = std::string(server_class.name) + " Class";
        const bool written =
            SetString(progid, nullptr, description) &&
            SetString(progid + "\\CLSID", nullptr, clsid) &&
            SetString(independent, nullptr, description) &&
            SetString(independent + "\\CLSID", nullptr, clsid) &&
            SetString(independent + "\\CurVer", nullptr, progid) &&
            SetString(class_key, nullptr, description) &&
            SetString(class_key + "\\ProgID", nullptr, progid) &&
            SetString(class_key + "\\VersionIndependentProgID", nullptr, independent) &&
            SetString(class_key + "\\InprocServer32", nullptr, module) &&
            SetString(class_key + "\\InprocServer32", "ThreadingModel", "Both") &&
            SetString(class_key + "\\TypeLib", nullptr, libid);
        if (!written) {
            return SELFREG_E_CLASS;
        }
    }
    const std::filesystem::path folder = std::filesystem::path(module).parent_path();
    const std::wstring tlb = tevo::win::Utf8ToWide((folder / kTypeLibraryFile).string());
    const std::wstring help_dir = tevo::win::Utf8ToWide(folder.string());
    tevo::com::ComPtr<ITypeLib> library;
    HRESULT hr = LoadTypeLib(tlb.c_str(), &library);
    if (SUCCEEDED(hr)) {
        hr = RegisterTypeLib(library.Get(), tlb.c_str(), help_dir.c_str());
    }
    return FAILED(hr) ? SELFREG_E_TYPELIB : S_OK;
}

extern "C" __attribute__((visibility("default"))) HRESULT DllUnregisterServer() {
    HRESULT result = S_OK;
    for (const auto& server_class : ServerClasses()) {
        const std::string independent = std::string("IviConfigServer.") + server_class.name;
        for (const std::string& key : {independent + ".1", independent,
                                       "CLSID\\" + tevo::com::GuidToUtf8(*server_class.clsid)}) {
            const LONG status = RegDeleteTreeA(HKEY_CLASSES_ROOT, key.c_str());
            if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
                result = SELFREG_E_CLASS;
            }
        }
    }
    // A type library that is not registered (any more) is no failure.
    UnRegisterTypeLib(LIBID_IVICONFIGSERVERLib, 1, 0, 0, SYS_WIN64);
    return result;
}

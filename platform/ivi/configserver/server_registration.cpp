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

// REGEDIT4 text of HKEY_CLASSES_ROOT keys, applied in one change of the hive (a new system
// root registers every class at once instead of rewriting the hive for each value).
class ClassesRootText {
  public:
    void Set(const std::string& subkey, const char* name, const std::string& value) {
        text_ += "\n[HKEY_CLASSES_ROOT\\" + subkey + "]\n";
        text_ += name == nullptr ? std::string("@") : Quoted(name);
        text_ += "=" + Quoted(value) + "\n";
    }
    bool Apply() const { return tevo::win::ImportRegistryText(text_) == ERROR_SUCCESS; }

  private:
    static std::string Quoted(const std::string& text) {
        std::string quoted = "\"";
        for (char c : text) {
            if (c == '"' || c == '\\') {
                quoted += '\\';
            }
            quoted += c;
        }
        return quoted + "\"";
    }
    std::string text_ = "REGEDIT4\n";
};

// The full path of this library.
std::string ModulePath() {
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCSTR>(&ModulePath), &module)) {
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
    ClassesRootText registration;
    for (const auto& server_class : ServerClasses()) {
        const std::string clsid = tevo::com::GuidToUtf8(*server_class.clsid);
        const std::string class_key = "CLSID\\" + clsid;
        const std::string independent = std::string("IviConfigServer.") + server_class.name;
        const std::string progid = independent + ".1";
        const std::string description = std::string(server_class.name) + " Class";
        registration.Set(progid, nullptr, description);
        registration.Set(progid + "\\CLSID", nullptr, clsid);
        registration.Set(independent, nullptr, description);
        registration.Set(independent + "\\CLSID", nullptr, clsid);
        registration.Set(independent + "\\CurVer", nullptr, progid);
        registration.Set(class_key, nullptr, description);
        registration.Set(class_key + "\\ProgID", nullptr, progid);
        registration.Set(class_key + "\\VersionIndependentProgID", nullptr, independent);
        registration.Set(class_key + "\\InprocServer32", nullptr, module);
        registration.Set(class_key + "\\InprocServer32", "ThreadingModel", "Both");
        registration.Set(class_key + "\\TypeLib", nullptr, libid);
    }
    if (!registration.Apply()) {
        return SELFREG_E_CLASS;
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

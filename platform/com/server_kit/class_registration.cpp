// Self-registration of a server's class table: the standard keys under HKEY_CLASSES_ROOT,
// written in one change of the hive and removed key by key.
#include <string>
#include <vector>

#include "tevo/com/guid.h"
#include "tevo/com/server_kit.h"
#include "tevo/win/registry.h"
#include "tevo/win/resources.h"

namespace tevo::com::server {

namespace {

// REGEDIT4 text of HKEY_CLASSES_ROOT keys, applied in one change of the hive (a new system
// root registers many classes at once instead of rewriting the hive for each value).
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

void AddClass(const ClassEntry& entry, const std::string& module_path, ClassesRootText& text) {
    const ClassRegistration& data = entry.registration;
    const std::string clsid = GuidToUtf8(*entry.clsid);
    const std::string class_key = "CLSID\\" + clsid;
    const std::string description = data.description != nullptr ? data.description : "";
    if (data.progid != nullptr) {
        text.Set(data.progid, nullptr, description);
        text.Set(std::string(data.progid) + "\\CLSID", nullptr, clsid);
    }
    if (data.version_independent_progid != nullptr) {
        const std::string independent = data.version_independent_progid;
        text.Set(independent, nullptr, description);
        text.Set(independent + "\\CLSID", nullptr, clsid);
        if (data.progid != nullptr) {
            text.Set(independent + "\\CurVer", nullptr, data.progid);
        }
    }
    text.Set(class_key, nullptr, description);
    if (data.progid != nullptr) {
        text.Set(class_key + "\\ProgID", nullptr, data.progid);
    }
    if (data.version_independent_progid != nullptr) {
        text.Set(class_key + "\\VersionIndependentProgID", nullptr,
                 data.version_independent_progid);
    }
    text.Set(class_key + "\\InprocServer32", nullptr, module_path);
    if (data.threading_model != nullptr) {
        text.Set(class_key + "\\InprocServer32", "ThreadingModel", data.threading_model);
    }
    if (data.type_library != nullptr) {
        text.Set(class_key + "\\TypeLib", nullptr, GuidToUtf8(*data.type_library));
    }
}

}  // namespace

HRESULT ServerModule::RegisterClasses(const std::string& module_path) const {
    if (module_path.empty()) {
        return SELFREG_E_CLASS;
    }
    ClassesRootText text;
    for (const ClassEntry& entry : classes_) {
        AddClass(entry, module_path, text);
    }
    return text.Apply() ? S_OK : SELFREG_E_CLASS;
}

HRESULT ServerModule::UnregisterClasses() const {
    HRESULT result = S_OK;
    for (const ClassEntry& entry : classes_) {
        std::vector<std::string> keys;
        if (entry.registration.progid != nullptr) {
            keys.emplace_back(entry.registration.progid);
        }
        if (entry.registration.version_independent_progid != nullptr) {
            keys.emplace_back(entry.registration.version_independent_progid);
        }
        keys.push_back("CLSID\\" + GuidToUtf8(*entry.clsid));
        for (const std::string& key : keys) {
            const LONG status = RegDeleteTreeA(HKEY_CLASSES_ROOT, key.c_str());
            if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
                result = SELFREG_E_CLASS;
            }
        }
    }
    return result;
}

std::string ModulePathOf(const void* address) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            static_cast<LPCSTR>(address), &module)) {
        return {};
    }
    // The path is used whole, however long it is.
    std::string path(4096, '\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameA(module, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return {};
        }
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

}  // namespace tevo::com::server

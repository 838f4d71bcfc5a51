// The registrar: replacements added by name, and registry scripts read from a string or
// from a module's resource and applied in register or unregister mode.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "registrar_object.h"
#include "registry_script.h"
#include "tevo/com/errorinfo.h"
#include "tevo/com/registrar.h"
#include "tevo/win/lasterror.h"
#include "tevo/win/resources.h"
#include "tevo/win/sysroot.h"
#include "tevo/win/text.h"

namespace tevo::com::registrar {

namespace {

// Holds the system root's registrar lock: scripts run one at a time, across threads and
// processes. A script removes keys (ForceRemove) that another one may be writing below at
// the same moment; run one after the other, every script applies whole. The lock is an
// flock on a file of the system root, released by the kernel also when a process dies.
class ScriptLock {
  public:
    ScriptLock() {
        const std::string path = (tevo::win::SystemRoot() / "registrar.lock").string();
        fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        while (fd_ >= 0 && ::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~ScriptLock() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    ScriptLock(const ScriptLock&) = delete;
    ScriptLock& operator=(const ScriptLock&) = delete;

  private:
    int fd_ = -1;
};

// Makes `description` the thread's error information.
void ReportScriptError(const std::string& description) {
    ICreateErrorInfo* create = nullptr;
    if (FAILED(CreateErrorInfo(&create))) {
        return;
    }
    std::wstring text = tevo::win::Utf8ToWide("registry script, " + description);
    std::wstring source = L"Registrar";
    create->SetDescription(text.data());
    create->SetSource(source.data());
    IErrorInfo* info = nullptr;
    if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
        SetErrorInfo(0, info);
        info->Release();
    }
    create->Release();
}

// The script held by a module's resource; an HRESULT failure when it cannot be read.
HRESULT ReadResourceScript(LPCOLESTR module_file, UINT resource_id, LPCOLESTR type,
                           std::string* script) {
    if (module_file == nullptr || type == nullptr) {
        return E_INVALIDARG;
    }
    HMODULE module = LoadLibraryW(module_file);
    if (module == nullptr) {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    HRESULT hr = S_OK;
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(resource_id), type);
    HGLOBAL loaded = found != nullptr ? LoadResource(module, found) : nullptr;
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (data == nullptr) {
        hr = HRESULT_FROM_WIN32(GetLastError());
        if (SUCCEEDED(hr)) {
            hr = HRESULT_FROM_WIN32(ERROR_RESOURCE_DATA_NOT_FOUND);
        }
    } else {
        script->assign(static_cast<const char*>(data), SizeofResource(module, found));
        // A UTF-8 byte-order mark is no part of the script.
        if (script->rfind("\xEF\xBB\xBF", 0) == 0) {
            script->erase(0, 3);
        }
    }
    FreeLibrary(module);
    return hr;
}

class Registrar final : public tevo::com::server::ModuleObject<IRegistrar, RegistrationModule> {
  public:
    HRESULT STDMETHODCALLTYPE AddReplacement(LPCOLESTR key, LPCOLESTR item) override {
        if (key == nullptr || item == nullptr || *key == L'\0') {
            return E_INVALIDARG;
        }
        replacements_[ReplacementName(tevo::win::WideToUtf8(key))] = tevo::win::WideToUtf8(item);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ClearReplacements() override {
        replacements_.clear();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ResourceRegister(LPCOLESTR module_file, UINT resource_id,
                                               LPCOLESTR type) override {
        return RunResource(module_file, resource_id, type, true);
    }
    HRESULT STDMETHODCALLTYPE ResourceUnregister(LPCOLESTR module_file, UINT resource_id,
                                                 LPCOLESTR type) override {
        return RunResource(module_file, resource_id, type, false);
    }
    HRESULT STDMETHODCALLTYPE StringRegister(LPCOLESTR script) override {
        return script == nullptr ? E_INVALIDARG : Run(tevo::win::WideToUtf8(script), true);
    }
    HRESULT STDMETHODCALLTYPE StringUnregister(LPCOLESTR script) override {
        return script == nullptr ? E_INVALIDARG : Run(tevo::win::WideToUtf8(script), false);
    }

  private:
    HRESULT RunResource(LPCOLESTR module_file, UINT resource_id, LPCOLESTR type, bool do_register) {
        std::string script;
        const HRESULT hr = ReadResourceScript(module_file, resource_id, type, &script);
        return FAILED(hr) ? hr : Run(script, do_register);
    }

    HRESULT Run(const std::string& script, bool do_register) {
        const ParseResult parsed = ParseRegistryScript(script, replacements_);
        if (!parsed.error.empty()) {
            ReportScriptError(parsed.error);
            return DISP_E_EXCEPTION;
        }
        const ScriptLock one_at_a_time;
        return do_register ? RegisterScript(parsed.roots) : UnregisterScript(parsed.roots);
    }

    Replacements replacements_;
};

}  // namespace

HRESULT CreateRegistrar(IUnknown* outer, REFIID riid, void** object) {
    return Registrar::Create<Registrar>(outer, riid, object);
}

}  // namespace tevo::com::registrar

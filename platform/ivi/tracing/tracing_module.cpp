// The exports of the tracing service's in-process server: the class factory of
// TracingService, the unload check, and self-registration of the class (threading model
// Both) under HKEY_CLASSES_ROOT\CLSID.
#include <dlfcn.h>

#include <atomic>
#include <string>

#include "tevo/com/activation.h"
#include "tevo/com/guid.h"
#include "tevo/win/registry.h"
#include "tracing_service.h"

namespace tevo::ivi::tracing {

namespace {

constexpr const char* kClassDescription = "Tracing service";

std::atomic<LONG> g_server_locks{0};

class ServiceFactory final : public IClassFactory {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override {
        if (ppvObject == nullptr) {
            return E_POINTER;
        }
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppvObject = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *ppvObject = nullptr;
        return E_NOINTERFACE;
    }
    // The factory is a static object: its life is the module's.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid,
                                             void** ppvObject) override {
        if (ppvObject == nullptr) {
            return E_POINTER;
        }
        *ppvObject = nullptr;
        if (pUnkOuter != nullptr) {
            return CLASS_E_NOAGGREGATION;
        }
        return TracingService::Create(riid, ppvObject);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override {
        if (fLock) {
            g_server_locks.fetch_add(1);
        } else {
            g_server_locks.fetch_sub(1);
        }
        return S_OK;
    }
};

ServiceFactory g_factory;

std::string ClassKey() {
    return "CLSID\\" + tevo::com::GuidToUtf8(CLSID_TracingService);
}

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
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&SetString), &info) == 0 || info.dli_fname == nullptr) {
        return {};
    }
    return info.dli_fname;
}

}  // namespace

}  // namespace tevo::ivi::tracing

using namespace tevo::ivi::tracing;

extern "C" HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    if (rclsid != CLSID_TracingService) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    return g_factory.QueryInterface(riid, ppv);
}

extern "C" HRESULT DllCanUnloadNow() {
    return LiveServiceObjects() == 0 && g_server_locks.load() == 0 ? S_OK : S_FALSE;
}

extern "C" HRESULT DllRegisterServer() {
    const std::string module = ModulePath();
    if (module.empty()) {
        return SELFREG_E_CLASS;
    }
    const std::string class_key = ClassKey();
    const bool written = SetString(class_key, nullptr, kClassDescription) &&
                         SetString(class_key + "\\InprocServer32", nullptr, module) &&
                         SetString(class_key + "\\InprocServer32", "ThreadingModel", "Both");
    return written ? S_OK : SELFREG_E_CLASS;
}

extern "C" HRESULT DllUnregisterServer() {
    const LONG status = RegDeleteTreeA(HKEY_CLASSES_ROOT, ClassKey().c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? S_OK : SELFREG_E_CLASS;
}

#include "session/class_info.h"

#include <mutex>

#include "tevo/Tevo.h"

namespace tevo::driver {

namespace {

// The library stays referenced for the life of the module.
struct LoadedLibrary {
    std::mutex mutex;
    tevo::com::ComPtr<ITypeLib> library;
};

LoadedLibrary& Library() {
    static LoadedLibrary loaded;  // released when the module is unloaded
    return loaded;
}

}  // namespace

HRESULT GetCoclassTypeInfo(REFCLSID clsid, ITypeInfo** info) {
    if (info == nullptr) {
        return E_POINTER;
    }
    *info = nullptr;
    LoadedLibrary& loaded = Library();
    std::lock_guard<std::mutex> lock(loaded.mutex);
    if (!loaded.library) {
        const HRESULT hr =
            LoadRegTypeLib(LIBID_Tevo_ValdacorLib, 1, 0, LOCALE_USER_DEFAULT, &loaded.library);
        if (FAILED(hr)) {
            return hr;
        }
    }
    return loaded.library->GetTypeInfoOfGuid(clsid, info);
}

}  // namespace tevo::driver

#include "server/class_factory.h"

#include "measurement/main_driver_object.h"
#include "server/module_lock.h"

namespace tevo::driver {

HRESULT TevoClassFactory::QueryInterface(REFIID riid, void** ppvObject) {
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

HRESULT TevoClassFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) {
    if (ppvObject == nullptr) {
        return E_POINTER;
    }
    *ppvObject = nullptr;
    if (pUnkOuter != nullptr) {
        return CLASS_E_NOAGGREGATION;
    }
    return CTevo::Create(riid, ppvObject);
}

// An unlock without an outstanding lock is ignored and still succeeds, as a surplus
// UnlockObject does: COM's own LockServer never fails and clients do not check its result,
// so refusing would change nothing for a faulty client, while counting it would let the
// module be unloaded under live objects.
HRESULT TevoClassFactory::LockServer(BOOL fLock) {
    if (fLock != FALSE) {
        LockServerModule();
    } else {
        UnlockServerModule();
    }
    return S_OK;
}

}  // namespace tevo::driver

namespace {
tevo::driver::TevoClassFactory g_tevo_factory;
}  // namespace

extern "C" HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    if (rclsid != CLSID_Tevo) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    return g_tevo_factory.QueryInterface(riid, ppv);
}

extern "C" HRESULT DllCanUnloadNow() {
    return tevo::driver::ModuleLockCount() == 0 ? S_OK : S_FALSE;
}

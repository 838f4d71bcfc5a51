// The class factory of the driver's creatable class (Tevo) and the module's exported
// entry points DllGetClassObject and DllCanUnloadNow.
#pragma once

#include "tevo/platform.h"

namespace tevo::driver {

// The factory lives as long as the module; its references are not counted.
class TevoClassFactory final : public IClassFactory {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    // No aggregation: an outer object gives CLASS_E_NOAGGREGATION.
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid,
                                             void** ppvObject) override;
    // A surplus unlock is ignored (S_OK).
    HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override;
};

}  // namespace tevo::driver

#include "tevo/com/apartment.h"

namespace {

// The calling thread's COM initialization: how many CoInitialize(Ex) calls are not yet
// balanced, and the concurrency model of the first.
struct ThreadInitialization {
    ULONG count = 0;
    bool multithreaded = false;
};

ThreadInitialization& CurrentThread() {
    thread_local ThreadInitialization state;
    return state;
}

constexpr DWORD kKnownFlags =
    COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE | COINIT_SPEED_OVER_MEMORY;

}  // namespace

extern "C" HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit) {
    if (pvReserved != nullptr || (dwCoInit & ~kKnownFlags) != 0) {
        return E_INVALIDARG;
    }
    const bool multithreaded = (dwCoInit & COINIT_APARTMENTTHREADED) == 0;
    ThreadInitialization& state = CurrentThread();
    if (state.count == 0) {
        state.multithreaded = multithreaded;
        state.count = 1;
        return S_OK;
    }
    if (state.multithreaded != multithreaded) {
        return RPC_E_CHANGED_MODE;  // not counted: needs no CoUninitialize
    }
    ++state.count;
    return S_FALSE;
}

extern "C" HRESULT CoInitialize(LPVOID pvReserved) {
    return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED);
}

extern "C" void CoUninitialize() {
    ThreadInitialization& state = CurrentThread();
    if (state.count > 0) {
        --state.count;
    }
}

extern "C" HRESULT CoGetApartmentType(APTTYPE* pAptType, APTTYPEQUALIFIER* pAptQualifier) {
    if (pAptType == nullptr || pAptQualifier == nullptr) {
        return E_INVALIDARG;
    }
    const ThreadInitialization& state = CurrentThread();
    *pAptQualifier = APTTYPEQUALIFIER_NONE;
    if (state.count == 0) {
        *pAptType = APTTYPE_CURRENT;
        return CO_E_NOTINITIALIZED;
    }
    *pAptType = state.multithreaded ? APTTYPE_MTA : APTTYPE_STA;
    return S_OK;
}

// CoGetClassObject, CoCreateInstance and CoFreeUnusedLibraries(Ex): classes found through
// the registry, their in-process servers leased from the table of loaded servers.
#include <chrono>
#include <string>

#include "class_registry.h"
#include "server_table.h"
#include "tevo/com/activation.h"

namespace {

using tevo::com::activation::ServerLease;

constexpr DWORD kKnownContexts =
    CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_INPROC_SERVER16 |
    CLSCTX_REMOTE_SERVER | CLSCTX_INPROC_HANDLER16 | CLSCTX_RESERVED1 | CLSCTX_RESERVED2 |
    CLSCTX_RESERVED3 | CLSCTX_RESERVED4 | CLSCTX_NO_CODE_DOWNLOAD | CLSCTX_RESERVED5 |
    CLSCTX_NO_CUSTOM_MARSHAL | CLSCTX_ENABLE_CODE_DOWNLOAD | CLSCTX_NO_FAILURE_LOG |
    CLSCTX_DISABLE_AAA | CLSCTX_ENABLE_AAA | CLSCTX_FROM_DEFAULT_CONTEXT |
    CLSCTX_ACTIVATE_X86_SERVER | CLSCTX_ACTIVATE_64_BIT_SERVER | CLSCTX_ENABLE_CLOAKING |
    CLSCTX_APPCONTAINER | CLSCTX_ACTIVATE_AAA_AS_IU | CLSCTX_RESERVED6 |
    CLSCTX_ACTIVATE_ARM32_SERVER | CLSCTX_PS_DLL;
// The flags that name a kind of server; a context must name at least one.
constexpr DWORD kServerKinds = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER |
                               CLSCTX_INPROC_SERVER16 | CLSCTX_REMOTE_SERVER |
                               CLSCTX_INPROC_HANDLER16;

// Windows' default for CoFreeUnusedLibrariesEx(INFINITE, ...).
constexpr std::chrono::minutes kDefaultUnloadDelay{10};

bool IsValidContext(DWORD context) {
    return (context & ~kKnownContexts) == 0 && (context & kServerKinds) != 0;
}

// Finds the server of the class among the kinds the context allows, and leases it.
HRESULT LeaseClassServer(const CLSID& clsid, DWORD context, ServerLease* lease) {
    if ((context & CLSCTX_INPROC_SERVER) != 0) {
        std::string path;
        const HRESULT hr = tevo::com::activation::ReadInprocServerPath(clsid, &path);
        if (SUCCEEDED(hr)) {
            return tevo::com::activation::LeaseServer(path, lease);
        }
        if (hr != REGDB_E_CLASSNOTREG) {
            return hr;
        }
    }
    // A local server is registered, but this platform cannot start one.
    if ((context & (CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)) != 0 &&
        tevo::com::activation::HasLocalServer(clsid)) {
        return CO_E_SERVER_EXEC_FAILURE;
    }
    return REGDB_E_CLASSNOTREG;
}

}  // namespace

extern "C" HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID /*pvReserved*/,
                                    REFIID riid, LPVOID* ppv) {
    if (ppv == nullptr) {
        return E_INVALIDARG;
    }
    *ppv = nullptr;
    if (!IsValidContext(dwClsContext)) {
        return E_INVALIDARG;
    }
    ServerLease lease;
    HRESULT hr = LeaseClassServer(rclsid, dwClsContext, &lease);
    if (FAILED(hr)) {
        return hr;
    }
    hr = lease.GetClassObject()(rclsid, riid, ppv);
    if (FAILED(hr)) {
        *ppv = nullptr;
    }
    return hr;
}

extern "C" HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext,
                                    REFIID riid, LPVOID* ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    if (!IsValidContext(dwClsContext)) {
        return E_INVALIDARG;
    }
    // The lease keeps the library loaded until the factory has been released.
    ServerLease lease;
    HRESULT hr = LeaseClassServer(rclsid, dwClsContext, &lease);
    if (FAILED(hr)) {
        return hr;
    }
    IClassFactory* factory = nullptr;
    hr = lease.GetClassObject()(rclsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) {
        return hr;
    }
    if (factory == nullptr) {
        return E_UNEXPECTED;
    }
    hr = factory->CreateInstance(pUnkOuter, riid, ppv);
    factory->Release();
    if (FAILED(hr)) {
        *ppv = nullptr;
    }
    return hr;
}

extern "C" void CoFreeUnusedLibraries() {
    tevo::com::activation::FreeUnusedServers(std::chrono::milliseconds(0));
}

extern "C" void CoFreeUnusedLibrariesEx(DWORD dwUnloadDelay, DWORD /*dwReserved*/) {
    const std::chrono::milliseconds delay = dwUnloadDelay == INFINITE
                                                ? std::chrono::milliseconds(kDefaultUnloadDelay)
                                                : std::chrono::milliseconds(dwUnloadDelay);
    tevo::com::activation::FreeUnusedServers(delay);
}

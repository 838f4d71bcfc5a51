// DllRegisterServer and DllUnregisterServer: the class keys of every creatable class
// (InprocServer32 = this library, ThreadingModel Both, ProgID "IviConfigServer.<Class>.1"
// and version-independent ProgID "IviConfigServer.<Class>"), and the type library, which
// lies next to the library as IviConfigServer.tlb.
#include <filesystem>
#include <string>

#include "server_classes.h"
#include "tevo/com/typeinfo.h"
#include "tevo/win/text.h"

namespace {

constexpr char kTypeLibraryFile[] = "IviConfigServer.tlb";

}  // namespace

extern "C" __attribute__((visibility("default"))) HRESULT DllRegisterServer() {
    const std::string module =
        tevo::com::server::ModulePathOf(reinterpret_cast<const void*>(&DllRegisterServer));
    if (module.empty()) {
        return SELFREG_E_CLASS;
    }
    if (tevo::ivi::config::ServerModule().RegisterClasses(module) != S_OK) {
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
    const HRESULT result = tevo::ivi::config::ServerModule().UnregisterClasses();
    // A type library that is not registered (any more) is no failure.
    UnRegisterTypeLib(LIBID_IVICONFIGSERVERLib, 1, 0, 0, SYS_WIN64);
    return result;
}

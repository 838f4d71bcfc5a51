// Self-registration of the driver module: DllRegisterServer and DllUnregisterServer.
//
// Registration, in order: the IVI configuration-store script, then for each class of the
// table its registry script through the registrar and, for Tevo, its implemented component
// categories, then the type library. Unregistration runs its own configuration-store
// script, then the same steps backwards per class, and ignores every result.
#include <string>

#include "server/class_factory.h"
#include "server/configuration_script.h"
#include "session/driver_module.h"
#include "tevo/Tevo.h"
#include "tevo/com/activation.h"
#include "tevo/com/com_ptr.h"
#include "tevo/com/registrar.h"
#include "tevo/platform.h"

namespace tevo::driver {

namespace {

// The two IVI component categories the driver class implements.
// {47ED5152-A398-11D4-BA58-000064657374}
constexpr CATID kIviDriverCategory = {
    0x47ED5152, 0xA398, 0x11D4, {0xBA, 0x58, 0x00, 0x00, 0x64, 0x65, 0x73, 0x74}};
// {47ED5158-A398-11D4-BA58-000064657374}
constexpr CATID kIviSpecAnCategory = {
    0x47ED5158, 0xA398, 0x11D4, {0xBA, 0x58, 0x00, 0x00, 0x64, 0x65, 0x73, 0x74}};

// The module's full path, used whole however long it is; empty when it cannot be found.
std::wstring ModulePath() {
    std::wstring path(512, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(DriverModule(), path.data(), static_cast<DWORD>(path.size()));
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

// The registry scripts put %MODULE% inside apostrophes, so each apostrophe of the path is
// doubled.
std::wstring QuotedForScript(const std::wstring& text) {
    std::wstring quoted;
    for (const wchar_t c : text) {
        quoted += c;
        if (c == L'\'') {
            quoted += L'\'';
        }
    }
    return quoted;
}

HRESULT RunRegistryScript(UINT resource_id, bool do_register) {
    tevo::com::ComPtr<IRegistrar> registrar;
    HRESULT hr = CoCreateInstance(CLSID_Registrar, nullptr, CLSCTX_INPROC_SERVER, IID_IRegistrar,
                                  reinterpret_cast<void**>(&registrar));
    if (FAILED(hr)) {
        return hr;
    }
    const std::wstring path = ModulePath();
    hr = registrar->AddReplacement(L"Module", QuotedForScript(path).c_str());
    if (FAILED(hr)) {
        return hr;
    }
    return do_register ? registrar->ResourceRegister(path.c_str(), resource_id, L"REGISTRY")
                       : registrar->ResourceUnregister(path.c_str(), resource_id, L"REGISTRY");
}

// The categories manager, or null when it cannot be created (categories are then skipped).
tevo::com::ComPtr<ICatRegister> CategoriesManager() {
    tevo::com::ComPtr<ICatRegister> manager;
    if (FAILED(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER,
                                IID_ICatRegister, reinterpret_cast<void**>(&manager)))) {
        return nullptr;
    }
    return manager;
}

// Only the driver class implements categories; registered one per call, in order.
HRESULT RegisterCategories(const CLSID& clsid) {
    if (clsid != CLSID_Tevo) {
        return S_OK;
    }
    tevo::com::ComPtr<ICatRegister> manager = CategoriesManager();
    if (manager == nullptr) {
        return S_OK;
    }
    for (CATID category : {kIviDriverCategory, kIviSpecAnCategory}) {
        const HRESULT hr = manager->RegisterClassImplCategories(clsid, 1, &category);
        if (FAILED(hr)) {
            return hr;
        }
    }
    return S_OK;
}

void UnregisterCategories(const CLSID& clsid) {
    if (clsid != CLSID_Tevo) {
        return;
    }
    tevo::com::ComPtr<ICatRegister> manager = CategoriesManager();
    if (manager == nullptr) {
        return;
    }
    for (CATID category : {kIviDriverCategory, kIviSpecAnCategory}) {
        manager->UnRegisterClassImplCategories(clsid, 1, &category);
    }
}

// The type library from the module's TYPELIB resource, or else from the ".tlb" beside the
// module (the extension of the file name replaced, or appended when there is none).
HRESULT LoadModuleTypeLibrary(ITypeLib** library, std::wstring* loaded_from) {
    std::wstring path = ModulePath();
    HRESULT hr = LoadTypeLib(path.c_str(), library);
    if (SUCCEEDED(hr)) {
        *loaded_from = path;
        return hr;
    }
    const std::size_t name_start = path.find_last_of(L"\\/:");
    const std::size_t dot = path.rfind(L'.');
    if (dot != std::wstring::npos && (name_start == std::wstring::npos || dot > name_start)) {
        path.resize(dot);
    }
    path += L".tlb";
    hr = LoadTypeLib(path.c_str(), library);
    if (SUCCEEDED(hr)) {
        *loaded_from = path;
    }
    return hr;
}

HRESULT RegisterTypeLibrary() {
    tevo::com::ComPtr<ITypeLib> library;
    std::wstring path;
    const HRESULT hr = LoadModuleTypeLibrary(&library, &path);
    if (FAILED(hr)) {
        return hr;
    }
    const std::size_t folder_end = path.find_last_of(L"\\/:");
    const std::wstring help_directory =
        folder_end == std::wstring::npos ? std::wstring() : path.substr(0, folder_end + 1);
    return RegisterTypeLib(library.Get(), path.c_str(), help_directory.c_str());
}

using UnRegisterTypeLibFunction = HRESULT (*)(REFGUID, WORD, WORD, LCID, SYSKIND);

void UnregisterTypeLibrary() {
    tevo::com::ComPtr<ITypeLib> library;
    std::wstring path;
    if (FAILED(LoadModuleTypeLibrary(&library, &path))) {
        return;
    }
    TLIBATTR* attributes = nullptr;
    if (FAILED(library->GetLibAttr(&attributes))) {
        return;
    }
    const TLIBATTR values = *attributes;
    library->ReleaseTLibAttr(attributes);
    // Looked up by name in the automation runtime, loaded for the purpose; without the
    // runtime or the function nothing is removed.
    HMODULE runtime = LoadLibraryA("oleaut32.dll");
    if (runtime == nullptr) {
        return;
    }
    const auto unregister =
        reinterpret_cast<UnRegisterTypeLibFunction>(GetProcAddress(runtime, "UnRegisterTypeLib"));
    if (unregister != nullptr) {
        unregister(values.guid, values.wMajorVerNum, values.wMinorVerNum, values.lcid,
                   values.syskind);
    }
    FreeLibrary(runtime);
}

// The IVI configuration-store script of registration or unregistration; whether it ran
// never changes the outcome.
void RunConfigurationStoreScript(bool do_register) {
    RunConfigurationScript(DriverModule(), do_register ? kRegisterConfigurationScript
                                                       : kUnregisterConfigurationScript);
}

}  // namespace

}  // namespace tevo::driver

extern "C" HRESULT DllRegisterServer() {
    using namespace tevo::driver;
    RunConfigurationStoreScript(true);
    for (const DriverClass& entry : DriverClasses()) {
        HRESULT hr = RunRegistryScript(entry.registry_script, true);
        if (FAILED(hr)) {
            return hr;
        }
        hr = RegisterCategories(*entry.clsid);
        if (FAILED(hr)) {
            return hr;
        }
    }
    return RegisterTypeLibrary();
}

extern "C" HRESULT DllUnregisterServer() {
    using namespace tevo::driver;
    RunConfigurationStoreScript(false);
    for (const DriverClass& entry : DriverClasses()) {
        RunRegistryScript(entry.registry_script, false);
        UnregisterCategories(*entry.clsid);
    }
    UnregisterTypeLibrary();
    return S_OK;
}

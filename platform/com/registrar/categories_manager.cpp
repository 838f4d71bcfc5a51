// The component-categories manager: categories and the categories a class implements or
// requires, kept under HKEY_CLASSES_ROOT as Windows keeps them.
#include <cstdio>
#include <string>

#include "registrar_object.h"
#include "tevo/com/guid.h"
#include "tevo/com/registrar.h"
#include "tevo/win/registry.h"
#include "tevo/win/text.h"

namespace tevo::com::registrar {

namespace {

constexpr char kCategoriesKey[] = "Component Categories";
constexpr char kImplementedKey[] = "Implemented Categories";
constexpr char kRequiredKey[] = "Required Categories";

HRESULT FromStatus(LSTATUS status) {
    return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<DWORD>(status));
}

LSTATUS CreateKey(const std::string& path, HKEY* key) {
    return RegCreateKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_ALL_ACCESS, nullptr, key, nullptr);
}

// Deletes a key that has no subkeys and no values left; a key that is gone is fine.
void DeleteIfEmpty(const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return;
    }
    DWORD subkeys = 1;
    DWORD values = 1;
    const LSTATUS status = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr,
                                            nullptr, &values, nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(key);
    if (status == ERROR_SUCCESS && subkeys == 0 && values == 0) {
        RegDeleteKeyA(HKEY_CLASSES_ROOT, path.c_str());
    }
}

// Adds CLSID\{clsid}\<list>\{catid} for each category.
HRESULT AddClassCategories(REFCLSID rclsid, const char* list, ULONG count, const CATID* ids) {
    if (count > 0 && ids == nullptr) {
        return E_POINTER;
    }
    const std::string base = "CLSID\\" + tevo::com::GuidToUtf8(rclsid) + "\\" + list + "\\";
    for (ULONG i = 0; i < count; ++i) {
        HKEY key = nullptr;
        const LSTATUS status = CreateKey(base + tevo::com::GuidToUtf8(ids[i]), &key);
        if (status != ERROR_SUCCESS) {
            return FromStatus(status);
        }
        RegCloseKey(key);
    }
    return S_OK;
}

// Removes those keys, and the list key once nothing is left in it.
HRESULT RemoveClassCategories(REFCLSID rclsid, const char* list, ULONG count, const CATID* ids) {
    if (count > 0 && ids == nullptr) {
        return E_POINTER;
    }
    const std::string list_key = "CLSID\\" + tevo::com::GuidToUtf8(rclsid) + "\\" + list;
    HRESULT result = S_OK;
    for (ULONG i = 0; i < count; ++i) {
        const std::string key = list_key + "\\" + tevo::com::GuidToUtf8(ids[i]);
        const LSTATUS status = RegDeleteTreeA(HKEY_CLASSES_ROOT, key.c_str());
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND && SUCCEEDED(result)) {
            result = FromStatus(status);
        }
    }
    DeleteIfEmpty(list_key);
    return result;
}

class CategoriesManager final
    : public tevo::com::server::ModuleObject<ICatRegister, RegistrationModule> {
  public:
    HRESULT STDMETHODCALLTYPE RegisterCategories(ULONG cCategories,
                                                 CATEGORYINFO rgCategoryInfo[]) override {
        if (cCategories > 0 && rgCategoryInfo == nullptr) {
            return E_POINTER;
        }
        for (ULONG i = 0; i < cCategories; ++i) {
            const CATEGORYINFO& info = rgCategoryInfo[i];
            HKEY key = nullptr;
            LSTATUS status = CreateKey(
                std::string(kCategoriesKey) + "\\" + tevo::com::GuidToUtf8(info.catid), &key);
            if (status != ERROR_SUCCESS) {
                return FromStatus(status);
            }
            char locale[16];
            std::snprintf(locale, sizeof locale, "%lx", static_cast<unsigned long>(info.lcid));
            // The description is cut at its array's end when it is not terminated.
            std::wstring_view wide(info.szDescription, std::size(info.szDescription));
            wide = wide.substr(0, wide.find(L'\0'));
            const std::string description = tevo::win::WideToUtf8(wide);
            status = RegSetValueExA(key, locale, 0, REG_SZ,
                                    reinterpret_cast<const BYTE*>(description.c_str()),
                                    static_cast<DWORD>(description.size() + 1));
            RegCloseKey(key);
            if (status != ERROR_SUCCESS) {
                return FromStatus(status);
            }
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE UnRegisterCategories(ULONG cCategories, CATID rgcatid[]) override {
        if (cCategories > 0 && rgcatid == nullptr) {
            return E_POINTER;
        }
        HRESULT result = S_OK;
        for (ULONG i = 0; i < cCategories; ++i) {
            const std::string key =
                std::string(kCategoriesKey) + "\\" + tevo::com::GuidToUtf8(rgcatid[i]);
            const LSTATUS status = RegDeleteTreeA(HKEY_CLASSES_ROOT, key.c_str());
            if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND && SUCCEEDED(result)) {
                result = FromStatus(status);
            }
        }
        DeleteIfEmpty(kCategoriesKey);
        return result;
    }
    HRESULT STDMETHODCALLTYPE RegisterClassImplCategories(REFCLSID rclsid, ULONG cCategories,
                                                          CATID rgcatid[]) override {
        return AddClassCategories(rclsid, kImplementedKey, cCategories, rgcatid);
    }
    HRESULT STDMETHODCALLTYPE UnRegisterClassImplCategories(REFCLSID rclsid, ULONG cCategories,
                                                            CATID rgcatid[]) override {
        return RemoveClassCategories(rclsid, kImplementedKey, cCategories, rgcatid);
    }
    HRESULT STDMETHODCALLTYPE RegisterClassReqCategories(REFCLSID rclsid, ULONG cCategories,
                                                         CATID rgcatid[]) override {
        return AddClassCategories(rclsid, kRequiredKey, cCategories, rgcatid);
    }
    HRESULT STDMETHODCALLTYPE UnRegisterClassReqCategories(REFCLSID rclsid, ULONG cCategories,
                                                           CATID rgcatid[]) override {
        return RemoveClassCategories(rclsid, kRequiredKey, cCategories, rgcatid);
    }
};

}  // namespace

HRESULT CreateCategoriesManager(IUnknown* outer, REFIID riid, void** object) {
    return CategoriesManager::Create<CategoriesManager>(outer, riid, object);
}

}  // namespace tevo::com::registrar

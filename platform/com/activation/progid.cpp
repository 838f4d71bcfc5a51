// ProgIDs: CLSIDFromProgID (also behind CLSIDFromString) and ProgIDFromCLSID.
#include <cstring>
#include <optional>
#include <string>

#include "class_registry.h"
#include "tevo/com/activation.h"
#include "tevo/com/guid.h"
#include "tevo/com/memory.h"
#include "tevo/win/registry.h"
#include "tevo/win/text.h"

namespace {

using tevo::com::activation::ReadClassesRootString;

// How many CurVer links are followed; a longer chain is taken for a loop.
constexpr int kMaxCurVerLinks = 8;

// A ProgID names a key directly below HKEY_CLASSES_ROOT: a "\" would reach into other
// keys (a "ProgID" of "CLSID\{...}" must not be read as one).
bool IsProgIdName(const std::string& name) {
    return !name.empty() && name.find('\\') == std::string::npos;
}

std::optional<CLSID> ResolveProgId(const std::string& progid, int links_left) {
    if (!IsProgIdName(progid)) {
        return std::nullopt;
    }
    std::string current_version;
    if (links_left > 0 &&
        ReadClassesRootString(progid + "\\CurVer", false, &current_version) == ERROR_SUCCESS) {
        if (std::optional<CLSID> clsid = ResolveProgId(current_version, links_left - 1)) {
            return clsid;
        }
    }
    std::string text;
    if (ReadClassesRootString(progid + "\\CLSID", false, &text) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return tevo::com::ParseGuid(text);
}

// Installed when this library is loaded, so that CLSIDFromString accepts ProgIDs, as in
// COM.
[[maybe_unused]] const bool g_progIdResolverInstalled = [] {
    tevo::com::SetProgIdResolver(&CLSIDFromProgID);
    return true;
}();

}  // namespace

extern "C" HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid) {
    if (lpszProgID == nullptr || lpclsid == nullptr) {
        return E_INVALIDARG;
    }
    *lpclsid = CLSID_NULL;
    const std::optional<CLSID> clsid =
        ResolveProgId(tevo::win::WideToUtf8(lpszProgID), kMaxCurVerLinks);
    if (!clsid) {
        return CO_E_CLASSSTRING;
    }
    *lpclsid = *clsid;
    return S_OK;
}

extern "C" HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID) {
    if (lplpszProgID == nullptr) {
        return E_INVALIDARG;
    }
    *lplpszProgID = nullptr;
    std::string progid;
    const LONG status =
        ReadClassesRootString(tevo::com::activation::ClassKey(clsid) + "\\ProgID", false, &progid);
    if (status != ERROR_SUCCESS || progid.empty()) {
        return REGDB_E_CLASSNOTREG;
    }
    const std::wstring wide = tevo::win::Utf8ToWide(progid);
    const std::size_t bytes = (wide.size() + 1) * sizeof(OLECHAR);
    auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
    if (copy == nullptr) {
        return E_OUTOFMEMORY;
    }
    std::memcpy(copy, wide.c_str(), bytes);
    *lplpszProgID = copy;
    return S_OK;
}

// RegisterTypeLib, UnRegisterTypeLib, LoadRegTypeLib and QueryPathOfRegTypeLib: the
// TypeLib and Interface keys of HKEY_CLASSES_ROOT, written and removed as Windows does.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "library_loader.h"
#include "tevo/com/com_ptr.h"
#include "tevo/com/guid.h"
#include "tevo/com/holders.h"
#include "tevo/idl/stdole2.h"
#include "tevo/win/files.h"
#include "tevo/win/registry.h"
#include "tevo/win/text.h"
#include "type_library_object.h"

namespace tevo::com::typelib {

namespace {

using tevo::com::Bstr;
using tevo::com::ComPtr;

// The proxy classes Windows names for interfaces marshaled through their type library.
constexpr const char* kOleAutomationProxy = "{00020424-0000-0000-C000-000000000046}";
constexpr const char* kDispatchProxy = "{00020420-0000-0000-C000-000000000046}";

std::string Hex(unsigned long value) {
    char text[16];
    std::snprintf(text, sizeof text, "%lx", value);
    return text;
}

std::string VersionName(WORD major, WORD minor) {
    return Hex(major) + "." + Hex(minor);
}

const char* SysKindName(SYSKIND syskind) {
    switch (syskind) {
        case SYS_WIN16:
            return "win16";
        case SYS_WIN32:
            return "win32";
        case SYS_MAC:
            return "mac";
        case SYS_WIN64:
            return "win64";
    }
    return nullptr;
}

bool SameText(const std::string& a, const std::string& b) {
    return tevo::win::NamesEqualIgnoringCase(a, b);
}

bool IsHexNumber(const std::string& text, unsigned long max, unsigned long* value) {
    if (text.empty() || text.size() > 8) {
        return false;
    }
    unsigned long number = 0;
    for (char c : text) {
        int digit = 0;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else {
            return false;
        }
        number = number * 16 + static_cast<unsigned long>(digit);
    }
    *value = number;
    return number <= max;
}

// ---- Reading HKEY_CLASSES_ROOT ----

bool KeyExists(const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

// The names of a key's sub-keys and the number of its values; false when it does not exist.
bool ReadKey(const std::string& path, std::vector<std::string>* subkeys, DWORD* values) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    DWORD count = 0;
    DWORD longest = 0;
    bool ok = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &count, &longest, nullptr, values,
                               nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    for (DWORD i = 0; ok && i < count; ++i) {
        std::string name(longest + 1, '\0');
        DWORD size = longest + 1;
        ok = RegEnumKeyExA(key, i, name.data(), &size, nullptr, nullptr, nullptr, nullptr) ==
             ERROR_SUCCESS;
        name.resize(size);
        subkeys->push_back(name);
    }
    RegCloseKey(key);
    return ok;
}

// A string value (the default value when name is null); REG_EXPAND_SZ is expanded. Every
// registry call reads the hive, so a buffer that fits the usual values comes first.
std::optional<std::string> ReadString(const std::string& path, const char* name = nullptr) {
    const DWORD flags = RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ;
    std::string data(512, '\0');
    for (int attempt = 0; attempt < 4; ++attempt) {
        auto size = static_cast<DWORD>(data.size());
        const LONG status =
            RegGetValueA(HKEY_CLASSES_ROOT, path.c_str(), name, flags, nullptr, data.data(), &size);
        if (status == ERROR_SUCCESS) {
            return std::string(data.c_str());
        }
        if (status != ERROR_MORE_DATA) {
            return std::nullopt;
        }
        data.assign(size, '\0');  // longer than the buffer (or grown in between): again
    }
    return std::nullopt;
}

// ---- Changing HKEY_CLASSES_ROOT in one step ----

// REGEDIT4 text for ImportRegistryText, which applies it as one change of the hive.
class RegistryChange {
  public:
    void Key(const std::string& path) { text_ += "\n[HKEY_CLASSES_ROOT\\" + path + "]\n"; }
    void RemoveKey(const std::string& path) { text_ += "\n[-HKEY_CLASSES_ROOT\\" + path + "]\n"; }
    // A REG_SZ value of the key last named; an empty name is the default value.
    void Value(const std::string& name, const std::string& utf8) {
        text_ += name.empty() ? std::string("@") : Quoted(name);
        text_ += "=" + StringData(utf8) + "\n";
    }
    bool Apply() const { return tevo::win::ImportRegistryText(text_) == ERROR_SUCCESS; }

  private:
    static bool Printable(const std::string& text) {
        if (!tevo::win::IsValidUtf8(text)) {
            return false;
        }
        for (unsigned char c : text) {
            if (c < 0x20 || c == 0x7F) {
                return false;
            }
        }
        return true;
    }
    static std::string Quoted(const std::string& text) {
        std::string quoted = "\"";
        for (char c : text) {
            if (c == '"' || c == '\\') {
                quoted += '\\';
            }
            quoted += c;
        }
        return quoted + "\"";
    }
    // Text that cannot be written as a quoted string (line breaks, say) is written as the
    // bytes of the REG_SZ value with its terminating zero.
    static std::string StringData(const std::string& utf8) {
        if (Printable(utf8)) {
            return Quoted(utf8);
        }
        std::string hex = "hex(1):";
        for (unsigned char c : utf8) {
            hex += Hex(c).insert(0, c < 16 ? "0" : "") + ",";
        }
        return hex + "00";
    }

    std::string text_ = "REGEDIT4\n";
};

// ---- What a library registers ----

struct RegisteredInterface {
    GUID iid = GUID_NULL;
    std::string name;
    bool pure_dispatch = false;
};

// The interfaces that are marshaled through the library: oleautomation and dual
// interfaces, and dispinterfaces.
HRESULT InterfacesToRegister(ITypeLib* library, std::vector<RegisteredInterface>* interfaces) {
    const UINT count = library->GetTypeInfoCount();
    for (UINT i = 0; i < count; ++i) {
        ComPtr<ITypeInfo> type;
        HRESULT hr = library->GetTypeInfo(i, &type);
        if (FAILED(hr)) {
            return hr;
        }
        TYPEATTR* attr = nullptr;
        hr = type->GetTypeAttr(&attr);
        if (FAILED(hr)) {
            return hr;
        }
        RegisteredInterface entry;
        entry.iid = attr->guid;
        const bool automation =
            (attr->wTypeFlags & (TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDUAL)) != 0;
        const bool registered =
            attr->typekind == TKIND_DISPATCH || (attr->typekind == TKIND_INTERFACE && automation);
        entry.pure_dispatch =
            attr->typekind == TKIND_DISPATCH && (attr->wTypeFlags & TYPEFLAG_FDUAL) == 0;
        type->ReleaseTypeAttr(attr);
        if (!registered) {
            continue;
        }
        Bstr name;
        hr = type->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr);
        if (FAILED(hr)) {
            return hr;
        }
        entry.name = name.ToUtf8();
        interfaces->push_back(entry);
    }
    return S_OK;
}

std::string LibraryKey(const GUID& libid) {
    return "TypeLib\\" + tevo::com::GuidToUtf8(libid);
}

std::string InterfaceKey(const GUID& iid) {
    return "Interface\\" + tevo::com::GuidToUtf8(iid);
}

// ---- Finding a registration ----

// The version key that serves a request for major.minor: that version, or the highest
// registered minor version above it.
std::optional<std::string> FindVersion(const std::string& library_key, WORD major, WORD minor) {
    std::vector<std::string> versions;
    DWORD values = 0;
    if (!ReadKey(library_key, &versions, &values)) {
        return std::nullopt;
    }
    std::optional<std::string> best;
    unsigned long best_minor = 0;
    for (const std::string& name : versions) {
        const std::size_t dot = name.find('.');
        unsigned long found_major = 0;
        unsigned long found_minor = 0;
        if (dot == std::string::npos || !IsHexNumber(name.substr(0, dot), 0xFFFF, &found_major) ||
            !IsHexNumber(name.substr(dot + 1), 0xFFFF, &found_minor) || found_major != major ||
            found_minor < minor) {
            continue;
        }
        if (found_minor == minor) {
            return name;
        }
        if (!best || found_minor > best_minor) {
            best = name;
            best_minor = found_minor;
        }
    }
    return best;
}

// The registered path for a locale: the locale itself, its primary language, neutral,
// English, then any locale registered; target system win32, then win64.
std::optional<std::string> FindPath(const std::string& version_key, LCID lcid) {
    if (lcid == LOCALE_USER_DEFAULT || lcid == LOCALE_SYSTEM_DEFAULT) {
        lcid = 0x0409;  // the platform's locale is English (United States)
    }
    std::vector<std::string> candidates = {Hex(lcid), Hex(lcid & 0x3FF), "0", "409", "9"};
    std::vector<std::string> subkeys;
    DWORD values = 0;
    if (!ReadKey(version_key, &subkeys, &values)) {
        return std::nullopt;
    }
    for (const std::string& name : subkeys) {
        unsigned long number = 0;
        if (IsHexNumber(name, 0xFFFFFFFF, &number)) {
            candidates.push_back(name);
        }
    }
    for (const std::string& locale : candidates) {
        for (const char* system : {"win32", "win64"}) {
            std::string key = version_key;
            key += "\\" + locale + "\\";
            key += system;
            std::optional<std::string> path = ReadString(key);
            if (path && !path->empty()) {
                return path;
            }
        }
    }
    return std::nullopt;
}

HRESULT FindRegisteredPath(const GUID& libid, WORD major, WORD minor, LCID lcid,
                           std::string* path) {
    const std::string library_key = LibraryKey(libid);
    const std::optional<std::string> version = FindVersion(library_key, major, minor);
    if (!version) {
        return TYPE_E_LIBNOTREGISTERED;
    }
    const std::optional<std::string> found = FindPath(library_key + "\\" + *version, lcid);
    if (!found) {
        return TYPE_E_LIBNOTREGISTERED;
    }
    *path = *found;
    return S_OK;
}

}  // namespace

}  // namespace tevo::com::typelib

namespace typelib = tevo::com::typelib;

extern "C" HRESULT RegisterTypeLib(ITypeLib* ptlib, LPCOLESTR szFullPath, LPCOLESTR szHelpDir) {
    if (ptlib == nullptr || szFullPath == nullptr) {
        return E_INVALIDARG;
    }
    TLIBATTR* attr = nullptr;
    HRESULT hr = ptlib->GetLibAttr(&attr);
    if (FAILED(hr)) {
        return hr;
    }
    const TLIBATTR lib = *attr;
    ptlib->ReleaseTLibAttr(attr);
    const char* system = typelib::SysKindName(lib.syskind);
    if (system == nullptr) {
        return TYPE_E_REGISTRYACCESS;
    }
    tevo::com::Bstr name;
    tevo::com::Bstr doc;
    hr = ptlib->GetDocumentation(-1, &name, &doc, nullptr, nullptr);
    if (FAILED(hr)) {
        return hr;
    }
    std::vector<typelib::RegisteredInterface> interfaces;
    hr = typelib::InterfacesToRegister(ptlib, &interfaces);
    if (FAILED(hr)) {
        return hr;
    }

    const std::string libid = tevo::com::GuidToUtf8(lib.guid);
    const std::string version = typelib::VersionName(lib.wMajorVerNum, lib.wMinorVerNum);
    const std::string version_key = typelib::LibraryKey(lib.guid) + "\\" + version;
    typelib::RegistryChange change;
    change.Key(version_key);
    change.Value("", doc.Get() != nullptr ? doc.ToUtf8() : name.ToUtf8());
    change.Key(version_key + "\\FLAGS");
    change.Value("", std::to_string(lib.wLibFlags &
                                    (LIBFLAG_FRESTRICTED | LIBFLAG_FCONTROL | LIBFLAG_FHIDDEN)));
    change.Key(version_key + "\\HELPDIR");
    if (szHelpDir != nullptr) {
        change.Value("", tevo::win::WideToUtf8(szHelpDir));
    }
    change.Key(version_key + "\\" + typelib::Hex(lib.lcid) + "\\" + system);
    change.Value("", tevo::win::WideToUtf8(szFullPath));
    for (const typelib::RegisteredInterface& entry : interfaces) {
        const std::string key = typelib::InterfaceKey(entry.iid);
        const char* proxy =
            entry.pure_dispatch ? typelib::kDispatchProxy : typelib::kOleAutomationProxy;
        change.Key(key);
        change.Value("", entry.name);
        change.Key(key + "\\ProxyStubClsid");
        change.Value("", proxy);
        change.Key(key + "\\ProxyStubClsid32");
        change.Value("", proxy);
        change.Key(key + "\\TypeLib");
        change.Value("", libid);
        change.Value("Version", version);
    }
    return change.Apply() ? S_OK : TYPE_E_REGISTRYACCESS;
}

extern "C" HRESULT UnRegisterTypeLib(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID lcid,
                                     SYSKIND syskind) {
    const char* system = typelib::SysKindName(syskind);
    if (system == nullptr) {
        return E_INVALIDARG;
    }
    const std::string libid = tevo::com::GuidToUtf8(libID);
    const std::string version = typelib::VersionName(wVerMajor, wVerMinor);
    const std::string library_key = typelib::LibraryKey(libID);
    const std::string version_key = library_key + "\\" + version;
    const std::string locale = typelib::Hex(lcid);
    const std::string locale_key = version_key + "\\" + locale;
    const std::string system_key = locale_key + "\\" + system;
    if (!typelib::KeyExists(system_key)) {
        return TYPE_E_REGISTRYACCESS;
    }
    typelib::RegistryChange change;

    // The interfaces: those the registered file describes and that still name this library
    // and version (another library may have registered one since).
    const std::optional<std::string> path = typelib::ReadString(system_key);
    tevo::com::ComPtr<ITypeLib> library;
    std::vector<typelib::RegisteredInterface> interfaces;
    if (path && SUCCEEDED(LoadTypeLib(tevo::win::Utf8ToWide(*path).c_str(), &library))) {
        TLIBATTR* attr = nullptr;
        if (SUCCEEDED(library->GetLibAttr(&attr))) {
            const bool same = attr->guid == libID;
            library->ReleaseTLibAttr(attr);
            if (same) {
                typelib::InterfacesToRegister(library.Get(), &interfaces);
            }
        }
    }
    for (const typelib::RegisteredInterface& entry : interfaces) {
        const std::string key = typelib::InterfaceKey(entry.iid);
        const std::optional<std::string> owner = typelib::ReadString(key + "\\TypeLib");
        if (!owner || !typelib::SameText(*owner, libid)) {
            continue;
        }
        const std::optional<std::string> owner_version =
            typelib::ReadString(key + "\\TypeLib", "Version");
        if (!owner_version || *owner_version == version) {
            change.RemoveKey(key);
        }
    }

    // The registration itself, and each key above it that is left without another one.
    std::vector<std::string> subkeys;
    DWORD values = 0;
    std::string removed = system_key;
    if (typelib::ReadKey(locale_key, &subkeys, &values) && values == 0 && subkeys.size() == 1) {
        removed = locale_key;
        subkeys.clear();
        bool other_locale = false;
        if (typelib::ReadKey(version_key, &subkeys, &values)) {
            for (const std::string& name : subkeys) {
                unsigned long number = 0;
                other_locale = other_locale || (typelib::IsHexNumber(name, 0xFFFFFFFF, &number) &&
                                                !typelib::SameText(name, locale));
            }
        }
        if (!other_locale) {
            removed = version_key;
            subkeys.clear();
            if (typelib::ReadKey(library_key, &subkeys, &values) && values == 0 &&
                subkeys.size() == 1) {
                removed = library_key;
            }
        }
    }
    change.RemoveKey(removed);
    return change.Apply() ? S_OK : TYPE_E_REGISTRYACCESS;
}

extern "C" HRESULT LoadRegTypeLib(REFGUID rguid, WORD wVerMajor, WORD wVerMinor, LCID lcid,
                                  ITypeLib** pptlib) {
    if (pptlib == nullptr) {
        return E_INVALIDARG;
    }
    *pptlib = nullptr;
    if (rguid == tevo::idl::kStdole2Libid && wVerMajor == 2) {
        typelib::TypeLibraryObject* stdole = typelib::TypeLibraryObject::Stdole2();
        stdole->AddRef();
        *pptlib = stdole;
        return S_OK;
    }
    std::string path;
    const HRESULT hr = typelib::FindRegisteredPath(rguid, wVerMajor, wVerMinor, lcid, &path);
    if (FAILED(hr)) {
        return hr;
    }
    return LoadTypeLib(tevo::win::Utf8ToWide(path).c_str(), pptlib);
}

extern "C" HRESULT QueryPathOfRegTypeLib(REFGUID guid, USHORT wMaj, USHORT wMin, LCID lcid,
                                         BSTR* lpbstrPathName) {
    if (lpbstrPathName == nullptr) {
        return E_INVALIDARG;
    }
    *lpbstrPathName = nullptr;
    std::string path;
    const HRESULT hr = typelib::FindRegisteredPath(guid, wMaj, wMin, lcid, &path);
    if (FAILED(hr)) {
        return hr;
    }
    *lpbstrPathName = tevo::com::Bstr::FromUtf8(path).Detach();
    return *lpbstrPathName == nullptr ? E_OUTOFMEMORY : S_OK;
}

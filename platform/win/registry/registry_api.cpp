// The Reg... functions of the Windows API. Both the ...A and the ...W forms run the same
// operations on UTF-8 names and stored bytes (registry_operations.h); the ...W forms
// convert names and string data through the platform's codec.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "registry_handles.h"
#include "registry_operations.h"
#include "tevo/win/registry.h"
#include "tevo/win/sysroot.h"
#include "tevo/win/text.h"

namespace tevo::win::registry {

namespace {

bool IsStringType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

std::string Bytes(const BYTE* data, DWORD size) {
    return size == 0 ? std::string() : std::string(reinterpret_cast<const char*>(data), size);
}

// Text in the ANSI code page: names and string data pass unchanged.
struct NarrowText {
    using Char = char;
    static std::string ToUtf8(const char* text) { return text; }
    static std::string FromUtf8(std::string_view utf8) { return std::string(utf8); }
    static std::string DataOut(DWORD /*type*/, const std::string& stored) { return stored; }
    static LONG DataIn(DWORD /*type*/, const BYTE* data, DWORD size, std::string* stored) {
        *stored = Bytes(data, size);
        return ERROR_SUCCESS;
    }
};

// Wide text: names and string data are converted; wide string data is counted in bytes of
// wchar_t.
struct WideText {
    using Char = wchar_t;
    static std::string ToUtf8(const wchar_t* text) { return WideToUtf8(text); }
    static std::wstring FromUtf8(std::string_view utf8) { return Utf8ToWide(utf8); }
    static std::string DataOut(DWORD type, const std::string& stored) {
        if (!IsStringType(type)) {
            return stored;
        }
        const std::wstring wide = Utf8ToWide(stored);
        return std::string(reinterpret_cast<const char*>(wide.data()),
                           wide.size() * sizeof(wchar_t));
    }
    static LONG DataIn(DWORD type, const BYTE* data, DWORD size, std::string* stored) {
        if (!IsStringType(type) || size == 0) {
            *stored = Bytes(data, size);
            return ERROR_SUCCESS;
        }
        if (size % sizeof(wchar_t) != 0) {
            return ERROR_INVALID_PARAMETER;
        }
        // The caller's bytes need not be aligned for wchar_t.
        static_assert(sizeof(wchar_t) == sizeof(std::uint32_t));
        std::wstring wide(size / sizeof(wchar_t), L'\0');
        for (size_t i = 0; i < wide.size(); ++i) {
            std::uint32_t c = 0;
            std::memcpy(&c, data + i * sizeof(wchar_t), sizeof c);
            wide[i] = static_cast<wchar_t>(c);
        }
        *stored = WideToUtf8(wide);
        return ERROR_SUCCESS;
    }
};

template <class Text>
std::optional<std::string> OptionalName(const typename Text::Char* name) {
    if (name == nullptr) {
        return std::nullopt;
    }
    return Text::ToUtf8(name);
}

template <class Text>
std::string ValueName(const typename Text::Char* name) {
    return name == nullptr ? std::string() : Text::ToUtf8(name);
}

// The protocol of data buffers: a size query without a buffer, ERROR_MORE_DATA with the
// size needed when the buffer is too small.
LONG CopyData(const std::string& bytes, LPBYTE data, LPDWORD size) {
    if (size == nullptr) {
        return data == nullptr ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
    }
    const auto needed = static_cast<DWORD>(bytes.size());
    if (data != nullptr && *size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    if (data != nullptr) {
        std::copy(bytes.begin(), bytes.end(), data);
    }
    *size = needed;
    return ERROR_SUCCESS;
}

// The protocol of name buffers: a size in characters that must hold the terminating zero,
// ERROR_MORE_DATA when it cannot; on success the length without the zero.
template <class Char>
LONG CopyName(const std::basic_string<Char>& name, Char* buffer, LPDWORD count) {
    if (buffer == nullptr || count == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    if (*count <= name.size()) {
        return ERROR_MORE_DATA;
    }
    std::copy(name.begin(), name.end(), buffer);
    buffer[name.size()] = Char{};
    *count = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

// Keys keep no class: an empty class is handed out.
template <class Char>
void EmptyClass(Char* buffer, LPDWORD count) {
    if (buffer != nullptr && count != nullptr && *count > 0) {
        buffer[0] = Char{};
    }
    if (count != nullptr) {
        *count = 0;
    }
}

void ZeroTime(FILETIME* time) {
    if (time != nullptr) {
        *time = FILETIME{0, 0};
    }
}

template <class Text>
LONG CreateKeyEx(HKEY key, const typename Text::Char* subkey, DWORD options, REGSAM access,
                 PHKEY result, LPDWORD disposition) {
    if (result == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *result = nullptr;
    if (subkey == nullptr || (options & REG_OPTION_CREATE_LINK) != 0) {
        return ERROR_INVALID_PARAMETER;
    }
    const std::string name = Text::ToUtf8(subkey);
    return OpenKey(key, &name, access, true, result, disposition);
}

template <class Text>
LONG CreateKey(HKEY key, const typename Text::Char* subkey, PHKEY result) {
    if (result == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    if (subkey == nullptr || subkey[0] == 0) {
        KeyPath unused;
        const LONG status = LookupHandle(key, &unused);
        *result = status == ERROR_SUCCESS ? key : nullptr;
        return status;
    }
    const std::string name = Text::ToUtf8(subkey);
    return OpenKey(key, &name, KEY_ALL_ACCESS, true, result, nullptr);
}

template <class Text>
LONG OpenKeyEx(HKEY key, const typename Text::Char* subkey, REGSAM access, PHKEY result) {
    if (result == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    const std::optional<std::string> name = OptionalName<Text>(subkey);
    return OpenKey(key, name ? &*name : nullptr, access, false, result, nullptr);
}

template <class Text>
LONG OpenKeyOld(HKEY key, const typename Text::Char* subkey, PHKEY result) {
    if (result == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    if (subkey == nullptr || subkey[0] == 0) {
        KeyPath unused;
        const LONG status = LookupHandle(key, &unused);
        *result = status == ERROR_SUCCESS ? key : nullptr;
        return status;
    }
    return OpenKeyEx<Text>(key, subkey, KEY_ALL_ACCESS, result);
}

template <class Text>
LONG QueryValueEx(HKEY key, const typename Text::Char* name, LPDWORD type, LPBYTE data,
                  LPDWORD size) {
    if (data != nullptr && size == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    Value value;
    const LONG status = QueryValue(key, ValueName<Text>(name), &value);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (type != nullptr) {
        *type = value.type;
    }
    return CopyData(Text::DataOut(value.type, value.data), data, size);
}

template <class Text>
LONG SetValueEx(HKEY key, const typename Text::Char* name, DWORD type, const BYTE* data,
                DWORD size) {
    if (data == nullptr && size != 0) {
        return ERROR_INVALID_PARAMETER;
    }
    std::string stored;
    const LONG status = Text::DataIn(type, data, size, &stored);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    return SetValue(key, ValueName<Text>(name), type, stored);
}

DWORD TypeRestriction(DWORD type) {
    switch (type) {
        case REG_NONE:
            return RRF_RT_REG_NONE;
        case REG_SZ:
            return RRF_RT_REG_SZ;
        case REG_EXPAND_SZ:
            return RRF_RT_REG_EXPAND_SZ;
        case REG_BINARY:
            return RRF_RT_REG_BINARY;
        case REG_DWORD:
            return RRF_RT_REG_DWORD;
        case REG_MULTI_SZ:
            return RRF_RT_REG_MULTI_SZ;
        case REG_QWORD:
            return RRF_RT_REG_QWORD;
        default:
            return 0;
    }
}

std::string ExpandEnvironment(const std::string& stored) {
    const std::string text(stored.c_str());  // up to the first zero
    const DWORD needed = ExpandEnvironmentStringsA(text.c_str(), nullptr, 0);
    if (needed == 0) {
        return stored;
    }
    std::string expanded(needed, '\0');
    const DWORD written = ExpandEnvironmentStringsA(text.c_str(), expanded.data(), needed);
    if (written == 0 || written > needed) {
        return stored;
    }
    expanded.resize(written);  // with its terminating zero
    return expanded;
}

// Reads a value for RegGetValue: checks the type against the restriction flags, expands
// REG_EXPAND_SZ unless told not to, and terminates string data.
LONG GetValueStored(HKEY key, const std::optional<std::string>& subkey, const std::string& name,
                    DWORD flags, Value* value) {
    HKEY opened = nullptr;
    if (subkey && !subkey->empty()) {
        const LONG status = OpenKey(key, &*subkey, KEY_QUERY_VALUE, false, &opened, nullptr);
        if (status != ERROR_SUCCESS) {
            return status;
        }
        key = opened;
    }
    const LONG status = QueryValue(key, name, value);
    if (opened != nullptr) {
        RemoveHandle(opened);
    }
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (value->type == REG_EXPAND_SZ && (flags & RRF_NOEXPAND) == 0) {
        value->data = ExpandEnvironment(value->data);
        value->type = REG_SZ;
    }
    const DWORD allowed = flags & RRF_RT_ANY;
    if ((allowed & TypeRestriction(value->type)) == 0) {
        return ERROR_UNSUPPORTED_TYPE;
    }
    if (value->type == REG_BINARY && (allowed & ~RRF_RT_QWORD) == 0 &&
        (allowed & RRF_RT_REG_QWORD) != 0 && value->data.size() != 8) {
        return ERROR_DATATYPE_MISMATCH;
    }
    if (value->type == REG_BINARY && (allowed & ~RRF_RT_DWORD) == 0 &&
        (allowed & RRF_RT_REG_DWORD) != 0 && value->data.size() != 4) {
        return ERROR_DATATYPE_MISMATCH;
    }
    std::string& data = value->data;
    if (value->type == REG_SZ || value->type == REG_EXPAND_SZ) {
        if (data.empty() || data.back() != '\0') {
            data.push_back('\0');
        }
    } else if (value->type == REG_MULTI_SZ) {
        if (data.empty() || data.back() != '\0') {
            data.push_back('\0');
        }
        if (data.size() < 2 || data[data.size() - 2] != '\0') {
            data.push_back('\0');
        }
    }
    return ERROR_SUCCESS;
}

template <class Text>
LONG GetValue(HKEY key, const typename Text::Char* subkey, const typename Text::Char* name,
              DWORD flags, LPDWORD type, PVOID data, LPDWORD size) {
    // Asking for REG_EXPAND_SZ alone makes sense only without expansion.
    if ((flags & RRF_RT_ANY) == 0 || (data != nullptr && size == nullptr) ||
        ((flags & RRF_RT_ANY) == RRF_RT_REG_EXPAND_SZ && (flags & RRF_NOEXPAND) == 0)) {
        return ERROR_INVALID_PARAMETER;
    }
    const DWORD given_size = size != nullptr ? *size : 0;
    Value value;
    LONG status =
        GetValueStored(key, OptionalName<Text>(subkey), ValueName<Text>(name), flags, &value);
    if (status == ERROR_SUCCESS) {
        if (type != nullptr) {
            *type = value.type;
        }
        status = CopyData(Text::DataOut(value.type, value.data), static_cast<LPBYTE>(data), size);
    }
    if (status != ERROR_SUCCESS && (flags & RRF_ZEROONFAILURE) != 0 && data != nullptr) {
        std::memset(data, 0, given_size);
    }
    return status;
}

template <class Text>
LONG EnumKeyEx(HKEY key, DWORD index, typename Text::Char* name, LPDWORD name_size,
               typename Text::Char* class_name, LPDWORD class_size, FILETIME* time) {
    if (name == nullptr || name_size == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    std::string found;
    LONG status = EnumKey(key, index, &found);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    status = CopyName(Text::FromUtf8(found), name, name_size);
    if (status == ERROR_SUCCESS) {
        EmptyClass(class_name, class_size);
        ZeroTime(time);
    }
    return status;
}

template <class Text>
LONG EnumValueAt(HKEY key, DWORD index, typename Text::Char* name, LPDWORD name_size, LPDWORD type,
                 LPBYTE data, LPDWORD size) {
    if (name == nullptr || name_size == nullptr || (data != nullptr && size == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    Value value;
    LONG status = EnumValue(key, index, &value);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    status = CopyName(Text::FromUtf8(value.name), name, name_size);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (type != nullptr) {
        *type = value.type;
    }
    return CopyData(Text::DataOut(value.type, value.data), data, size);
}

template <class Text>
LONG QueryInfoKey(HKEY key, typename Text::Char* class_name, LPDWORD class_size, LPDWORD subkeys,
                  LPDWORD max_subkey, LPDWORD max_class, LPDWORD values, LPDWORD max_value_name,
                  LPDWORD max_value, LPDWORD security, FILETIME* time) {
    return ReadKey(key, KEY_QUERY_VALUE, [&](const Key& found) {
        size_t longest_subkey = 0;
        for (const auto& entry : found.subkeys()) {
            longest_subkey = std::max(longest_subkey, Text::FromUtf8(entry.second->name()).size());
        }
        size_t longest_name = 0;
        size_t longest_data = 0;
        for (const Value& value : found.values()) {
            longest_name = std::max(longest_name, Text::FromUtf8(value.name).size());
            longest_data = std::max(longest_data, Text::DataOut(value.type, value.data).size());
        }
        EmptyClass(class_name, class_size);
        const auto put = [](LPDWORD target, size_t number) {
            if (target != nullptr) {
                *target = static_cast<DWORD>(number);
            }
        };
        put(subkeys, found.subkeys().size());
        put(max_subkey, longest_subkey);
        put(max_class, 0);
        put(values, found.values().size());
        put(max_value_name, longest_name);
        put(max_value, longest_data);
        put(security, 0);
        ZeroTime(time);
        return ERROR_SUCCESS;
    });
}

template <class Text>
LONG DeleteKeyNamed(HKEY key, const typename Text::Char* subkey) {
    if (subkey == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    const std::string name = Text::ToUtf8(subkey);
    return DeleteKey(key, &name, false);
}

template <class Text>
LONG DeleteTreeNamed(HKEY key, const typename Text::Char* subkey) {
    const std::optional<std::string> name = OptionalName<Text>(subkey);
    return DeleteKey(key, name ? &*name : nullptr, true);
}

}  // namespace

}  // namespace tevo::win::registry

using tevo::win::registry::NarrowText;
using tevo::win::registry::WideText;
namespace reg = tevo::win::registry;

extern "C" {

LSTATUS RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD /*Reserved*/, LPWSTR /*lpClass*/,
                        DWORD dwOptions, REGSAM samDesired,
                        LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/, PHKEY phkResult,
                        LPDWORD lpdwDisposition) {
    return reg::CreateKeyEx<WideText>(hKey, lpSubKey, dwOptions, samDesired, phkResult,
                                      lpdwDisposition);
}

LSTATUS RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD /*Reserved*/, LPSTR /*lpClass*/,
                        DWORD dwOptions, REGSAM samDesired,
                        LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/, PHKEY phkResult,
                        LPDWORD lpdwDisposition) {
    return reg::CreateKeyEx<NarrowText>(hKey, lpSubKey, dwOptions, samDesired, phkResult,
                                        lpdwDisposition);
}

LSTATUS RegCreateKeyW(HKEY hKey, LPCWSTR lpSubKey, PHKEY phkResult) {
    return reg::CreateKey<WideText>(hKey, lpSubKey, phkResult);
}

LSTATUS RegCreateKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult) {
    return reg::CreateKey<NarrowText>(hKey, lpSubKey, phkResult);
}

LSTATUS RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD /*ulOptions*/, REGSAM samDesired,
                      PHKEY phkResult) {
    return reg::OpenKeyEx<WideText>(hKey, lpSubKey, samDesired, phkResult);
}

LSTATUS RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD /*ulOptions*/, REGSAM samDesired,
                      PHKEY phkResult) {
    return reg::OpenKeyEx<NarrowText>(hKey, lpSubKey, samDesired, phkResult);
}

LSTATUS RegOpenKeyW(HKEY hKey, LPCWSTR lpSubKey, PHKEY phkResult) {
    return reg::OpenKeyOld<WideText>(hKey, lpSubKey, phkResult);
}

LSTATUS RegOpenKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult) {
    return reg::OpenKeyOld<NarrowText>(hKey, lpSubKey, phkResult);
}

LSTATUS RegCloseKey(HKEY hKey) {
    return reg::RemoveHandle(hKey);
}

LSTATUS RegFlushKey(HKEY hKey) {
    reg::KeyPath unused;
    return reg::LookupHandle(hKey, &unused);
}

LSTATUS RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD /*lpReserved*/, LPDWORD lpType,
                         LPBYTE lpData, LPDWORD lpcbData) {
    return reg::QueryValueEx<WideText>(hKey, lpValueName, lpType, lpData, lpcbData);
}

LSTATUS RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD /*lpReserved*/, LPDWORD lpType,
                         LPBYTE lpData, LPDWORD lpcbData) {
    return reg::QueryValueEx<NarrowText>(hKey, lpValueName, lpType, lpData, lpcbData);
}

LSTATUS RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD /*Reserved*/, DWORD dwType,
                       const BYTE* lpData, DWORD cbData) {
    return reg::SetValueEx<WideText>(hKey, lpValueName, dwType, lpData, cbData);
}

LSTATUS RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD /*Reserved*/, DWORD dwType,
                       const BYTE* lpData, DWORD cbData) {
    return reg::SetValueEx<NarrowText>(hKey, lpValueName, dwType, lpData, cbData);
}

LSTATUS RegGetValueW(HKEY hkey, LPCWSTR lpSubKey, LPCWSTR lpValue, DWORD dwFlags, LPDWORD pdwType,
                     PVOID pvData, LPDWORD pcbData) {
    return reg::GetValue<WideText>(hkey, lpSubKey, lpValue, dwFlags, pdwType, pvData, pcbData);
}

LSTATUS RegGetValueA(HKEY hkey, LPCSTR lpSubKey, LPCSTR lpValue, DWORD dwFlags, LPDWORD pdwType,
                     PVOID pvData, LPDWORD pcbData) {
    return reg::GetValue<NarrowText>(hkey, lpSubKey, lpValue, dwFlags, pdwType, pvData, pcbData);
}

LSTATUS RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
    return reg::DeleteValue(hKey, reg::ValueName<WideText>(lpValueName));
}

LSTATUS RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
    return reg::DeleteValue(hKey, reg::ValueName<NarrowText>(lpValueName));
}

LSTATUS RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
    return reg::DeleteKeyNamed<WideText>(hKey, lpSubKey);
}

LSTATUS RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
    return reg::DeleteKeyNamed<NarrowText>(hKey, lpSubKey);
}

LSTATUS RegDeleteKeyExW(HKEY hKey, LPCWSTR lpSubKey, REGSAM /*samDesired*/, DWORD /*Reserved*/) {
    return reg::DeleteKeyNamed<WideText>(hKey, lpSubKey);
}

LSTATUS RegDeleteKeyExA(HKEY hKey, LPCSTR lpSubKey, REGSAM /*samDesired*/, DWORD /*Reserved*/) {
    return reg::DeleteKeyNamed<NarrowText>(hKey, lpSubKey);
}

LSTATUS RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey) {
    return reg::DeleteTreeNamed<WideText>(hKey, lpSubKey);
}

LSTATUS RegDeleteTreeA(HKEY hKey, LPCSTR lpSubKey) {
    return reg::DeleteTreeNamed<NarrowText>(hKey, lpSubKey);
}

LSTATUS RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName,
                      LPDWORD /*lpReserved*/, LPWSTR lpClass, LPDWORD lpcchClass,
                      FILETIME* lpftLastWriteTime) {
    return reg::EnumKeyEx<WideText>(hKey, dwIndex, lpName, lpcchName, lpClass, lpcchClass,
                                    lpftLastWriteTime);
}

LSTATUS RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName,
                      LPDWORD /*lpReserved*/, LPSTR lpClass, LPDWORD lpcchClass,
                      FILETIME* lpftLastWriteTime) {
    return reg::EnumKeyEx<NarrowText>(hKey, dwIndex, lpName, lpcchName, lpClass, lpcchClass,
                                      lpftLastWriteTime);
}

LSTATUS RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName,
                      LPDWORD /*lpReserved*/, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    return reg::EnumValueAt<WideText>(hKey, dwIndex, lpValueName, lpcchValueName, lpType, lpData,
                                      lpcbData);
}

LSTATUS RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                      LPDWORD /*lpReserved*/, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    return reg::EnumValueAt<NarrowText>(hKey, dwIndex, lpValueName, lpcchValueName, lpType, lpData,
                                        lpcbData);
}

LSTATUS RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD /*lpReserved*/,
                         LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                         LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                         LPDWORD lpcbSecurityDescriptor, FILETIME* lpftLastWriteTime) {
    return reg::QueryInfoKey<WideText>(hKey, lpClass, lpcchClass, lpcSubKeys, lpcbMaxSubKeyLen,
                                       lpcbMaxClassLen, lpcValues, lpcbMaxValueNameLen,
                                       lpcbMaxValueLen, lpcbSecurityDescriptor, lpftLastWriteTime);
}

LSTATUS RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD /*lpReserved*/,
                         LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                         LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                         LPDWORD lpcbSecurityDescriptor, FILETIME* lpftLastWriteTime) {
    return reg::QueryInfoKey<NarrowText>(
        hKey, lpClass, lpcchClass, lpcSubKeys, lpcbMaxSubKeyLen, lpcbMaxClassLen, lpcValues,
        lpcbMaxValueNameLen, lpcbMaxValueLen, lpcbSecurityDescriptor, lpftLastWriteTime);
}

}  // extern "C"

// String tables: LoadStringA and LoadStringW.
//
// Strings are kept in RT_STRING bundles of 16: bundle (id / 16) + 1 holds the ids
// id & ~15 to id | 15, each as its length in wchar_t, the characters and a zero. A length
// of 0 means the string does not exist.
#include <algorithm>
#include <string>

#include "resource_lookup.h"
#include "tevo/win/lasterror.h"
#include "tevo/win/resources.h"
#include "tevo/win/text.h"
#include "tevo/win/winerror.h"

namespace {

constexpr WORD kStringType = 6;

// The string's characters (zero-terminated) and length; NULL with the last error set when
// there is no such string.
const wchar_t* FindString(HINSTANCE module, UINT id, size_t& length) {
    if (id > 0xFFFF) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    tevo::win::detail::ResourceKey type;
    type.numeric = true;
    type.id = kStringType;
    tevo::win::detail::ResourceKey name;
    name.numeric = true;
    name.id = static_cast<WORD>((id >> 4) + 1);
    DWORD error = 0;
    const tevo::win::ResourceEntry* entry =
        tevo::win::detail::FindResourceEntry(module, type, name, 0, error);
    if (entry == nullptr) {
        SetLastError(error);
        return nullptr;
    }
    const auto* units = static_cast<const wchar_t*>(entry->data);
    const size_t count = entry->size / sizeof(wchar_t);
    size_t pos = 0;
    for (UINT index = 0;; ++index) {
        if (pos >= count)
            break;
        const auto entry_length = static_cast<size_t>(static_cast<DWORD>(units[pos]));
        if (entry_length > count - pos - 1)
            break;  // a damaged bundle
        if (index == (id & 15)) {
            if (entry_length == 0)
                break;
            length = entry_length;
            return units + pos + 1;
        }
        pos += 1 + entry_length + 1;
    }
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
}

}  // namespace

extern "C" int LoadStringW(HINSTANCE hInstance, UINT uID, LPWSTR lpBuffer, int cchBufferMax) {
    if (lpBuffer == nullptr || cchBufferMax < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t length = 0;
    const wchar_t* text = FindString(hInstance, uID, length);
    if (cchBufferMax == 0) {
        // The caller asked for a read-only pointer to the string itself.
        *reinterpret_cast<LPCWSTR*>(lpBuffer) = text;
        return text == nullptr ? 0 : static_cast<int>(length);
    }
    if (text == nullptr) {
        lpBuffer[0] = L'\0';
        return 0;
    }
    const size_t copied = std::min(length, static_cast<size_t>(cchBufferMax) - 1);
    std::copy(text, text + copied, lpBuffer);
    lpBuffer[copied] = L'\0';
    return static_cast<int>(copied);
}

extern "C" int LoadStringA(HINSTANCE hInstance, UINT uID, LPSTR lpBuffer, int cchBufferMax) {
    if (lpBuffer == nullptr || cchBufferMax <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t length = 0;
    const wchar_t* text = FindString(hInstance, uID, length);
    if (text == nullptr) {
        lpBuffer[0] = '\0';
        return 0;
    }
    const std::string narrow = tevo::win::WideToUtf8(std::wstring_view(text, length));
    size_t copied = std::min(narrow.size(), static_cast<size_t>(cchBufferMax) - 1);
    if (copied < narrow.size()) {
        // Never end on part of a UTF-8 sequence.
        while (copied > 0 && (static_cast<unsigned char>(narrow[copied]) & 0xC0) == 0x80)
            --copied;
    }
    std::copy(narrow.begin(), narrow.begin() + static_cast<std::ptrdiff_t>(copied), lpBuffer);
    lpBuffer[copied] = '\0';
    return static_cast<int>(copied);
}

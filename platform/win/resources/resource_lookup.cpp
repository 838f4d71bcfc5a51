// Resource lookup: FindResource(Ex), LoadResource, LockResource, SizeofResource and
// FreeResource over the resource tables that modules register.
#include "resource_lookup.h"

#include <algorithm>
#include <cstring>

#include "module_registry.h"
#include "tevo/win/lasterror.h"
#include "tevo/win/text.h"
#include "tevo/win/winerror.h"

namespace tevo::win::detail {
namespace {

constexpr WORD kLangUserDefault = 0x0400;
constexpr WORD kLangSystemDefault = 0x0800;
constexpr WORD kLangEnglishUs = 0x0409;

// Upper case for ASCII letters only, whatever the process locale.
char AsciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::optional<ResourceKey> KeyFromUtf8(std::string name) {
    ResourceKey key;
    if (name.size() > 1 && name[0] == '#' &&
        std::all_of(name.begin() + 1, name.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        if (name.size() > 6)
            return std::nullopt;
        const unsigned long value = std::stoul(name.substr(1));
        if (value > 0xFFFF)
            return std::nullopt;
        key.numeric = true;
        key.id = static_cast<WORD>(value);
        return key;
    }
    std::transform(name.begin(), name.end(), name.begin(), AsciiUpper);
    key.name = std::move(name);
    return key;
}

std::vector<const ResourceEntry*> EntriesOfType(HMODULE module, const ResourceKey& type,
                                                DWORD& error) {
    const auto tables = ResourceTablesOf(ResolveModule(module));
    if (tables.empty()) {
        error = ERROR_RESOURCE_DATA_NOT_FOUND;
        return {};
    }
    std::vector<const ResourceEntry*> found;
    for (const auto& table : tables) {
        for (const ResourceEntry& entry : table) {
            if (type.Matches(entry.type_name, entry.type_id))
                found.push_back(&entry);
        }
    }
    if (found.empty())
        error = ERROR_RESOURCE_TYPE_NOT_FOUND;
    return found;
}

}  // namespace

bool ResourceKey::Matches(const char* entry_name, WORD entry_id) const {
    if (numeric)
        return entry_name == nullptr && entry_id == id;
    if (entry_name == nullptr)
        return false;
    const size_t length = std::strlen(entry_name);
    return length == name.size() && std::equal(name.begin(), name.end(), entry_name,
                                               [](char a, char b) { return a == AsciiUpper(b); });
}

std::optional<ResourceKey> MakeResourceKey(LPCSTR key) {
    if (key == nullptr)
        return std::nullopt;
    if (IS_INTRESOURCE(key)) {
        ResourceKey numeric;
        numeric.numeric = true;
        numeric.id = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(key));
        return numeric;
    }
    return KeyFromUtf8(key);
}

std::optional<ResourceKey> MakeResourceKey(LPCWSTR key) {
    if (key == nullptr)
        return std::nullopt;
    if (IS_INTRESOURCE(key))
        return MakeResourceKey(reinterpret_cast<LPCSTR>(key));
    return KeyFromUtf8(WideToUtf8(key));
}

bool IsDefaultLanguageRequest(WORD language) {
    return language == 0 || language == kLangUserDefault || language == kLangSystemDefault;
}

int LanguageRank(WORD have, WORD wanted) {
    if (IsDefaultLanguageRequest(wanted)) {
        if (PRIMARYLANGID(have) == LANG_NEUTRAL)
            return 0;
        if (have == kLangEnglishUs)
            return 1;
        if (PRIMARYLANGID(have) == LANG_ENGLISH)
            return 2;
        return 3;
    }
    if (have == wanted)
        return 0;
    if (PRIMARYLANGID(have) == PRIMARYLANGID(wanted))
        return 1;
    if (PRIMARYLANGID(have) == LANG_NEUTRAL)
        return 2;
    return -1;
}

std::vector<const ResourceEntry*> ResourcesOfType(HMODULE module, const ResourceKey& type,
                                                  DWORD& error) {
    return EntriesOfType(module, type, error);
}

const ResourceEntry* FindResourceEntry(HMODULE module, const ResourceKey& type,
                                       const ResourceKey& name, WORD language, DWORD& error) {
    const auto of_type = EntriesOfType(module, type, error);
    if (of_type.empty())
        return nullptr;
    const ResourceEntry* best = nullptr;
    int best_rank = -1;
    bool named = false;
    for (const ResourceEntry* entry : of_type) {
        if (!name.Matches(entry->name, entry->name_id))
            continue;
        named = true;
        const int rank = LanguageRank(entry->language, language);
        if (rank >= 0 && (best == nullptr || rank < best_rank)) {
            best = entry;
            best_rank = rank;
        }
    }
    if (best == nullptr)
        error = named ? ERROR_RESOURCE_LANG_NOT_FOUND : ERROR_RESOURCE_NAME_NOT_FOUND;
    return best;
}

}  // namespace tevo::win::detail

namespace {

template <typename Text>
HRSRC FindResourceImpl(HMODULE module, Text type, Text name, WORD language) {
    auto type_key = tevo::win::detail::MakeResourceKey(type);
    if (!type_key) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return nullptr;
    }
    auto name_key = tevo::win::detail::MakeResourceKey(name);
    if (!name_key) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    DWORD error = 0;
    const tevo::win::ResourceEntry* entry =
        tevo::win::detail::FindResourceEntry(module, *type_key, *name_key, language, error);
    if (entry == nullptr) {
        SetLastError(error);
        return nullptr;
    }
    return reinterpret_cast<HRSRC>(const_cast<tevo::win::ResourceEntry*>(entry));
}

const tevo::win::ResourceEntry* EntryOf(HRSRC resource) {
    return reinterpret_cast<const tevo::win::ResourceEntry*>(resource);
}

}  // namespace

extern "C" HRSRC FindResourceA(HMODULE hModule, LPCSTR lpName, LPCSTR lpType) {
    return FindResourceImpl(hModule, lpType, lpName, 0);
}

extern "C" HRSRC FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType) {
    return FindResourceImpl(hModule, lpType, lpName, 0);
}

extern "C" HRSRC FindResourceExA(HMODULE hModule, LPCSTR lpType, LPCSTR lpName, WORD wLanguage) {
    return FindResourceImpl(hModule, lpType, lpName, wLanguage);
}

extern "C" HRSRC FindResourceExW(HMODULE hModule, LPCWSTR lpType, LPCWSTR lpName, WORD wLanguage) {
    return FindResourceImpl(hModule, lpType, lpName, wLanguage);
}

extern "C" HGLOBAL LoadResource(HMODULE /*hModule*/, HRSRC hResInfo) {
    if (hResInfo == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return const_cast<void*>(EntryOf(hResInfo)->data);
}

extern "C" LPVOID LockResource(HGLOBAL hResData) {
    return hResData;
}

extern "C" DWORD SizeofResource(HMODULE /*hModule*/, HRSRC hResInfo) {
    if (hResInfo == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return EntryOf(hResInfo)->size;
}

extern "C" BOOL FreeResource(HGLOBAL /*hResData*/) {
    // Resources live as long as their module; there is nothing to free.
    return FALSE;
}

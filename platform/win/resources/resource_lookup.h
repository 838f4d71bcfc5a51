// Finding a resource in a module's registered tables by type, name and language.
// Internal to tevo_win.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tevo/win/resources.h"

namespace tevo::win::detail {

// A resource type or name as a caller gives it: MAKEINTRESOURCE(n), "#n", or a string
// (compared without regard to ASCII case).
struct ResourceKey {
    bool numeric = false;
    WORD id = 0;
    std::string name;  // upper-case UTF-8

    bool Matches(const char* entry_name, WORD entry_id) const;
};

std::optional<ResourceKey> MakeResourceKey(LPCSTR key);
std::optional<ResourceKey> MakeResourceKey(LPCWSTR key);

// True for the language ids that ask for the default search order: neutral, and the
// user's and the system's default language.
bool IsDefaultLanguageRequest(WORD language);

// How well a resource's language answers a request; lower is better, -1 does not answer.
// A default request prefers neutral, then US English, then English, then anything; a
// specific one takes the exact language, then the same primary language, then neutral.
int LanguageRank(WORD have, WORD wanted);

// The best resource of that type and name; on failure NULL and `error` holds the Win32
// code (ERROR_RESOURCE_DATA/TYPE/NAME/LANG_NOT_FOUND).
const ResourceEntry* FindResourceEntry(HMODULE module, const ResourceKey& type,
                                       const ResourceKey& name, WORD language, DWORD& error);

// Every resource of the type in the module; `error` as above when there is none.
std::vector<const ResourceEntry*> ResourcesOfType(HMODULE module, const ResourceKey& type,
                                                  DWORD& error);

}  // namespace tevo::win::detail

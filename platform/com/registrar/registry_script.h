// Registry scripts in the registrar script language (see tevo/com/registrar.h): reading a
// script into a tree of keys and values, and applying the tree in register or unregister
// mode. A script is read whole before anything is applied, so a script that cannot be read
// changes nothing.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tevo/win/registry.h"
#include "tevo/win/types.h"

namespace tevo::com::registrar {

struct ScriptValue {
    DWORD type = REG_SZ;  // REG_SZ or REG_DWORD
    std::string text;     // REG_SZ
    DWORD number = 0;     // REG_DWORD
};

enum class KeyFlag { kNone, kNoRemove, kForceRemove, kDelete };

struct ScriptKey {
    KeyFlag flag = KeyFlag::kNone;
    std::string name;
    std::optional<ScriptValue> default_value;
    std::vector<std::pair<std::string, ScriptValue>> values;  // `val Name = ...`
    std::vector<ScriptKey> subkeys;
};

struct ScriptRoot {
    HKEY root = nullptr;
    std::vector<ScriptKey> keys;
};

// Replacement names (upper-cased) and their texts.
using Replacements = std::map<std::string, std::string>;

// Upper-cases a replacement name, as names are matched without regard to case.
std::string ReplacementName(std::string_view name);

struct ParseResult {
    std::vector<ScriptRoot> roots;
    std::string error;  // empty on success; otherwise "line N: ..."
};

// Replaces %NAME% and %% and reads the script.
ParseResult ParseRegistryScript(std::string_view script, const Replacements& replacements);

// Writes (register) or removes (unregister) what the script names. S_OK or the
// HRESULT_FROM_WIN32 code of the first registry failure.
HRESULT RegisterScript(const std::vector<ScriptRoot>& roots);
HRESULT UnregisterScript(const std::vector<ScriptRoot>& roots);

}  // namespace tevo::com::registrar

// The registry operations on UTF-8 names and stored bytes, shared by the ...A and ...W
// functions (which only convert text) and by export and import.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "registry_tree.h"
#include "tevo/win/registry.h"

namespace tevo::win::registry {

// Splits "A\B\C" into its key names. One trailing backslash is allowed; a leading one or
// an empty name in the middle gives ERROR_BAD_PATHNAME, a name longer than 255 characters
// or one holding a line break ERROR_INVALID_PARAMETER.
LONG SplitKeyPath(std::string_view path, std::vector<std::string>* names);

// Opens (or, with `create`, creates) `subkey` below `parent`; a null or empty subkey
// opens the parent key itself again. `disposition` may be null.
LONG OpenKey(HKEY parent, const std::string* subkey, REGSAM access, bool create, HKEY* result,
             DWORD* disposition);

// Runs `read` on the key of the handle, after checking that the handle holds one of the
// rights in `needed`.
LONG ReadKey(HKEY handle, REGSAM needed, const std::function<LONG(const Key&)>& read);

LONG QueryValue(HKEY handle, std::string_view name, Value* value);
LONG SetValue(HKEY handle, std::string_view name, DWORD type, const std::string& data);
LONG DeleteValue(HKEY handle, std::string_view name);
// Deletes `subkey` (a key without sub-keys unless `tree`); with `tree` and a null subkey,
// deletes everything in the handle's key but the key itself.
LONG DeleteKey(HKEY handle, const std::string* subkey, bool tree);
LONG EnumKey(HKEY handle, DWORD index, std::string* name);
LONG EnumValue(HKEY handle, DWORD index, Value* value);

}  // namespace tevo::win::registry

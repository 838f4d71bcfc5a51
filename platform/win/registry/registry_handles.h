// Key handles. A handle stands for a path in a hive, re-resolved on every call, so that
// nothing read from a hive outlives the call that read it; several processes therefore
// always see each other's changes. Closed or unknown handles are refused with
// ERROR_INVALID_HANDLE instead of being used.
#pragma once

#include <string>
#include <vector>

#include "hive_file.h"
#include "tevo/win/registry.h"

namespace tevo::win::registry {

struct KeyPath {
    Hive hive = Hive::LocalMachine;
    std::vector<std::string> path;  // key names below the hive's root
    // The first `implicit` names exist without being created: HKEY_CLASSES_ROOT is
    // SOFTWARE\Classes of HKEY_LOCAL_MACHINE, which reads as empty while it is missing
    // and is created with the first thing stored in it.
    size_t implicit = 0;
    REGSAM access = 0;
};

// Copies out the path of a predefined or open handle.
LONG LookupHandle(HKEY handle, KeyPath* key);
HKEY AddHandle(KeyPath key);
// ERROR_SUCCESS for a predefined key (which is never closed) and for an open handle.
LONG RemoveHandle(HKEY handle);

}  // namespace tevo::win::registry

// What the registry says about a class and its names: the library of its in-process
// server, whether it has a local server, and string values under HKEY_CLASSES_ROOT.
#pragma once

#include <string>

#include "tevo/win/types.h"

namespace tevo::com::activation {

// Reads the default value of HKEY_CLASSES_ROOT\<subkey> (REG_SZ or REG_EXPAND_SZ), up to
// its first zero; with `expand`, %NAME% references of a REG_EXPAND_SZ value are expanded.
// Returns the registry's status: ERROR_SUCCESS, ERROR_FILE_NOT_FOUND for a missing key or
// value, ERROR_UNSUPPORTED_TYPE for a value of another type, or a failure of the registry.
LONG ReadClassesRootString(const std::string& subkey, bool expand, std::string* value);

// The library path of the class's in-process server (CLSID\{clsid}\InprocServer32),
// expanded. S_OK; REGDB_E_CLASSNOTREG when the class, the key or a non-empty string
// value is missing; REGDB_E_READREGDB when the registry cannot be read.
HRESULT ReadInprocServerPath(const CLSID& clsid, std::string* path);

// Whether the class registers a local server (CLSID\{clsid}\LocalServer32).
bool HasLocalServer(const CLSID& clsid);

// The key of a class below HKEY_CLASSES_ROOT: "CLSID\{XXXXXXXX-...}".
std::string ClassKey(const CLSID& clsid);

}  // namespace tevo::com::activation

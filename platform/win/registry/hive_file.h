// The hive files and their locking. A hive is one REGEDIT4 file in the registry directory
// (HKLM.reg, HKCU.reg), next to a lock file (HKLM.reg.lock) on which readers take a shared
// and writers an exclusive flock. A change re-reads the file under the exclusive lock,
// applies itself, writes the whole hive to HKLM.reg.new, flushes it to disk and renames it
// over the hive, so readers see the old or the new hive and never a part of one, and a
// writer that dies at any moment leaves the last complete hive behind. flock locks belong
// to the open file, so threads of one process exclude each other as processes do.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "registry_tree.h"
#include "tevo/win/types.h"

namespace tevo::win::registry {

enum class Hive { LocalMachine, CurrentUser };

// "HKEY_LOCAL_MACHINE" or "HKEY_CURRENT_USER".
const char* HiveRootName(Hive hive);
std::filesystem::path HiveFilePath(Hive hive);

// Parses a hive file's text into `root`. ERROR_BADDB when the text is not a well-formed
// hive of that root.
LONG ParseHive(Hive hive, std::string_view text, Key* root);

// Reads the hive under a shared lock. A missing file is an empty hive; a damaged one gives
// ERROR_BADDB and is left as it is.
LONG ReadHive(Hive hive, Key* root);

// Changes the hive under an exclusive lock. `change` works on the freshly read hive and
// sets `changed` when it altered it; the hive is written back only when `change` returns
// ERROR_SUCCESS with `changed` set. Returns what `change` returned, or the read or write
// failure (ERROR_BADDB for a damaged hive, which is never overwritten).
LONG ChangeHive(Hive hive, const std::function<LONG(Key& root, bool& changed)>& change);

}  // namespace tevo::win::registry

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
#include <memory>
#include <string>

#include "registry_tree.h"
#include "tevo/win/types.h"

namespace tevo::win::registry {

enum class Hive { LocalMachine, CurrentUser };

// "HKEY_LOCAL_MACHINE" or "HKEY_CURRENT_USER".
const char* HiveRootName(Hive hive);
std::filesystem::path HiveFilePath(Hive hive);

// The hive format. A hive is written as
//
//   REGEDIT4
//   ; Hive format 2: the last line is "; End of hive".
//
//   [HKEY_CURRENT_USER\Software]
//   ...
//   ; End of hive
//
// The end marker is written last, so a hive cut short by outside damage, even at a point
// where the rest is well-formed REGEDIT4, lacks it and is damaged. The format line tells
// these hives from those of earlier versions, which have neither line and still load (and
// get both with their next change). Text that stops inside the format line's header is
// damaged too, since no earlier hive was ever that short.

// True when the text begins with this format's header (the REGEDIT4 and format lines).
bool HasHiveHeader(std::string_view text);

// Checks the end of a hive file's text: text that begins with this format's header, or
// stops inside it, must end with the end marker line, exactly. Other text passes. On
// failure, `error` says "line N: ...".
bool CheckHiveEnd(std::string_view text, std::string* error);

// Parses a hive file's text into `root`. ERROR_BADDB when the text is not a well-formed
// hive of that root (also when it holds a key beyond the registry's limits or lacks its end
// marker), with "line N: ..." in `error` if given.
LONG ParseHive(Hive hive, std::string_view text, Key* root, std::string* error = nullptr);

// Reads the hive under a shared lock. A missing file is an empty hive; a damaged one
// (also a file that is not a regular file) gives ERROR_BADDB and is left as it is.
LONG ReadHive(Hive hive, Key* root);

// The same as a shared, read-only tree that later changes never alter. The tree last read
// or written by this process is reused while the hive has not changed since (the lock file
// counts the writes; the hive file's identity, size and time of change catch a file
// replaced by other means), so that reading an unchanged hive costs a stat, not a parse.
LONG ReadHiveSnapshot(Hive hive, std::shared_ptr<const Key>* root);

// Changes the hive under an exclusive lock. `change` works on the freshly read hive and
// sets `changed` when it altered it; the hive is written back only when `change` returns
// ERROR_SUCCESS with `changed` set. Returns what `change` returned, or the read or write
// failure (ERROR_BADDB for a damaged hive, which is never overwritten).
LONG ChangeHive(Hive hive, const std::function<LONG(Key& root, bool& changed)>& change);

// What the last ReadHive or ChangeHive of this thread that met a damaged hive found:
// "<hive file>, line N: ...".
const std::string& LastHiveDamage();

}  // namespace tevo::win::registry

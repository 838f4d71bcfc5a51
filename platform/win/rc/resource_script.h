// The resource-script language: a subset of the Windows .rc syntax.
//
//   // comments, and /* block comments */
//   LANGUAGE 0x09, 0x01                   language of the resources that follow (default 0)
//   1 TYPELIB "tevo.tlb"                  a file as a resource of a custom type
//   101 REGISTRY "tevo.rgs"
//   201 "CONFIGSCRIPT" "register.sh"      a quoted type or name is the same as a bare one
//   SETTINGS RCDATA "settings.bin"        a name instead of a number
//   1 MESSAGETABLE "messages.mc"          a message file compiled here, one resource per
//                                         language it has (other files are taken as is)
//   STRINGTABLE [LANGUAGE 9, 1] BEGIN     or { ... }
//       40009 "Simulated\tanswer\n"       C escapes; "" is one quote
//   END
//
// Numbers are decimal or 0x-hexadecimal; resource ids are 1 to 65535 and string ids 0 to
// 65535. Names and custom types are upper-cased. Predefined types: RCDATA, MESSAGETABLE,
// HTML, MANIFEST. Memory flags (PRELOAD, DISCARDABLE, ...) are accepted and ignored. A file
// is looked up beside the script, then in the search directories in order.
#pragma once

#include <filesystem>
#include <string_view>
#include <vector>

#include "resource_set.h"

namespace tevo::rc {

// Compiles a script read from `path`. Throws CompileError naming the file and line.
ResourceSet CompileResourceScript(const std::filesystem::path& path,
                                  const std::vector<std::filesystem::path>& search_dirs);

// Same, for script text already read; `path` names it in errors and locates its files.
ResourceSet CompileResourceScriptText(std::string_view text, const std::filesystem::path& path,
                                      const std::vector<std::filesystem::path>& search_dirs);

}  // namespace tevo::rc

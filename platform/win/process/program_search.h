// Finding the program of a command line (not a public header). The rules are described in
// tevo/win/process.h.
#pragma once

#include <string>
#include <string_view>

#include "tevo/win/types.h"

namespace tevo::win::detail {

struct ProgramLookup {
    std::string path;  // the file found (as found: may be relative)
    DWORD error = 0;   // ERROR_SUCCESS, ERROR_FILE_NOT_FOUND or ERROR_ACCESS_DENIED
};

// Finds a program. A name with a folder part, or any name when search_path is false, is
// taken as a path; a bare name is looked for in the current folder and then in the
// folders of path_list (separated by ":"; empty entries are skipped).
ProgramLookup FindProgram(std::string_view name, bool search_path, std::string_view path_list);

// The folders in which programs are looked for: PATH of this process, or /bin:/usr/bin.
std::string ProgramSearchPath();

}  // namespace tevo::win::detail

// Starting a program as a new process (not a public header): what CreateProcess and
// ShellExecuteEx share once they know what to run.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tevo/win/types.h"

namespace tevo::win::detail {

struct LaunchRequest {
    std::string program;                 // the file to run, as FindProgram found it
    std::vector<std::string> arguments;  // the argument vector, program name as written first
    // "NAME=value" entries; none: this process's environment.
    std::optional<std::vector<std::string>> environment;
    std::string directory;             // the new process's folder; empty: this process's
    bool inherit_descriptors = false;  // false: only standard input, output and error
    bool null_input = false;           // standard input from /dev/null
};

struct LaunchedProcess {
    HANDLE process = nullptr;
    HANDLE thread = nullptr;
    DWORD id = 0;
};

// Starts the program. Whatever keeps it from running (its folder, its file, its format)
// is found before this returns: false with the last error set, and no process left.
bool Launch(const LaunchRequest& request, LaunchedProcess* launched);

}  // namespace tevo::win::detail

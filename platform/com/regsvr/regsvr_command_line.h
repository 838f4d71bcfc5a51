// The command line of regsvr: [/u] [/s] LIBRARY, with "-" accepted for "/" and options in
// either letter case, in any order around the library name.
#pragma once

#include <string>
#include <vector>

namespace tevo::regsvr {

struct CommandLine {
    bool unregister = false;  // /u: call DllUnregisterServer
    bool silent = false;      // /s: print nothing
    bool help = false;        // /?: print the usage and do nothing else
    std::string library;
    // Why the command line is not usable; empty when it is.
    std::string error;
};

CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// The usage text, ending with a line feed.
const char* UsageText();

}  // namespace tevo::regsvr

#include "regsvr_command_line.h"

#include <cctype>

namespace tevo::regsvr {
namespace {

// Whether the argument is an option rather than the library. A "-" always starts one; a
// "/" only when one character follows, since longer arguments that start with "/" are
// absolute paths here.
bool IsOption(const std::string& argument) {
    if (argument.size() < 2) {
        return false;
    }
    return argument[0] == '-' || (argument[0] == '/' && argument.size() == 2);
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine line;
    for (const std::string& argument : arguments) {
        if (!IsOption(argument)) {
            if (!line.library.empty()) {
                line.error = "Only one library can be named: " + argument;
                return line;
            }
            line.library = argument;
            continue;
        }
        const std::string name = argument.substr(1);
        const int letter =
            name.size() == 1 ? std::tolower(static_cast<unsigned char>(name[0])) : '\0';
        if (letter == '?') {
            line.help = true;
        } else if (letter == 'u') {
            line.unregister = true;
        } else if (letter == 's') {
            line.silent = true;
        } else {
            line.error = "Unrecognized flag: " + argument;
            return line;
        }
    }
    if (!line.help && line.library.empty()) {
        line.error = "No library name given.";
    }
    return line;
}

const char* UsageText() {
    return "Usage: regsvr [/u] [/s] LIBRARY\n"
           "Registers an in-process COM server by calling its DllRegisterServer.\n"
           "\n"
           "  /u   Unregister the server: call DllUnregisterServer instead.\n"
           "  /s   Silent: print nothing.\n"
           "  /?   Show this help.\n"
           "\n"
           "Options may also start with \"-\". A relative LIBRARY is taken from the current\n"
           "directory when it is there, else from the library search path.\n"
           "Exit codes: 0 success, 1 bad command line, 2 COM could not be initialized,\n"
           "3 the library could not be loaded, 4 the entry point was not found,\n"
           "5 the entry point failed.\n";
}

}  // namespace tevo::regsvr

// The operations of reg. Results go to `out`, errors ("ERROR: ...") to `err`; questions
// ("... (Yes/No)?") are answered from `in`, where the end of input counts as No.
#pragma once

#include <iosfwd>

#include "reg_command_line.h"

namespace tevo::regtool {

struct Console {
    std::ostream& out;
    std::ostream& err;
    std::istream& in;
};

// Runs a parsed command line (not a help request); returns the exit code, 0 or 1.
int RunCommand(const CommandLine& command, Console& console);

// Prints the invalid-syntax message with the usage hint of the operation, if known.
int InvalidSyntax(Console& console, const char* operation_name);

}  // namespace tevo::regtool

// Pieces of the command-line rules that the process functions share (not a public
// header). The rules themselves are described in tevo/win/process.h.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tevo::win::detail {

// The program name at the start of a command line.
struct ProgramToken {
    std::string name;       // without its quotes
    bool quoted = false;    // whether a quote took part in it
    std::size_t begin = 0;  // where it starts in the command line (after leading blanks)
    std::size_t end = 0;    // where the arguments start
};

ProgramToken ReadProgramToken(std::string_view command_line);

bool IsBlank(char c);

}  // namespace tevo::win::detail

// The command line of tevo-midl: compiles one IDL file into its C++ header and its type
// library.
//
//   tevo-midl [-o DIR] [--header FILE] [--tlb FILE] [-L DIR]... FILE.idl
//
// -o names the output folder (default: the current one); the outputs are <name>.h and
// <name>.tlb after the IDL file's name unless --header/--tlb name them. -L adds a folder
// in which the .tlb files of imported libraries are looked for. Outputs are written only
// when the whole file compiles, each to a temporary file renamed into place.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace tevo::idl {

// Exit codes.
inline constexpr int kMidlOk = 0;
inline constexpr int kMidlCompileError = 1;
inline constexpr int kMidlUsageError = 2;

// Runs the compiler with the arguments after the program name; messages go to `err`.
int RunMidl(const std::vector<std::string>& args, std::ostream& err);

}  // namespace tevo::idl

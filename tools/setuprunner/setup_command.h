// The command line with which SetupRunner starts "Setup.exe" from its own folder.
#pragma once

#include <string>
#include <string_view>

namespace tevo::tools {

// The full path of this program's own file, however long it is.
std::string OwnProgramPath();

// "Setup.exe" in the folder of the program at program_path: the path cut after its last
// separator ("\" or, as the platform writes paths, "/") with "Setup.exe" appended. Empty
// when the path has no folder part.
std::string SetupProgramPath(std::string_view program_path);

// The command line that starts setup_program with the argument text after it: the program,
// one blank, the arguments unchanged. A program path that holds a blank is put in double
// quotes, so that a shorter prefix of it ("/opt/my" of "/opt/my tools/Setup.exe") can never
// be taken for the program. Empty when the command line cannot name the program: the path
// is empty or holds a double quote, which a program name has no way to carry.
std::string SetupCommandLine(std::string_view setup_program, std::string_view arguments);

}  // namespace tevo::tools

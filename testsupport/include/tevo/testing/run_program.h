// Runs a program of the build as a child process and captures what it printed, for tests
// of the package's command-line tools.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tevo::testing {

struct ProgramRun {
    int exit_code = -1;  // the exit status, or -1 when the program did not end normally
    std::string out;     // everything it wrote to standard output
    std::string err;     // everything it wrote to standard error
};

// Starts `program` with `args`, feeding `input` to its standard input, in `cwd` (empty:
// this process's directory), waits for it and returns its status and output. The output
// goes through files in the current system root, so any amount of it is kept.
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::string& input = "", const std::filesystem::path& cwd = {});

}  // namespace tevo::testing

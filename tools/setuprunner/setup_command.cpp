#include "setup_command.h"

#include "tevo/win/windows.h"

namespace tevo::tools {

std::string OwnProgramPath() {
    std::string path(500, '\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return {};
        }
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        // Cut to fit: a shorter prefix would name another folder, so ask again with room.
        path.resize(path.size() * 2);
    }
}

std::string SetupProgramPath(std::string_view program_path) {
    const std::size_t separator = program_path.find_last_of("\\/");
    if (separator == std::string_view::npos) {
        return {};
    }
    return std::string(program_path.substr(0, separator + 1)) + "Setup.exe";
}

std::string SetupCommandLine(std::string_view setup_program, std::string_view arguments) {
    if (setup_program.empty() || setup_program.find('"') != std::string_view::npos) {
        return {};
    }
    std::string line;
    if (setup_program.find_first_of(" \t") != std::string_view::npos) {
        line = "\"" + std::string(setup_program) + "\"";
    } else {
        line = setup_program;
    }
    line += ' ';
    line += arguments;
    return line;
}

}  // namespace tevo::tools

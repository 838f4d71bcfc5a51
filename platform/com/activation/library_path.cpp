#include "library_path.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tevo/win/files.h"
#include "tevo/win/resources.h"

namespace tevo::com::activation {
namespace {

// The folder of the main program; empty when its path cannot be found.
std::filesystem::path ProgramDirectory() {
    std::vector<char> buffer(512);
    for (;;) {
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD length = GetModuleFileNameA(nullptr, buffer.data(), size);
        if (length == 0) {
            return {};
        }
        if (length < size) {
            return std::filesystem::path(std::string(buffer.data(), length)).parent_path();
        }
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace

std::optional<std::string> LocateServerLibrary(std::string_view registered_path) {
    std::string path(registered_path);
    std::replace(path.begin(), path.end(), '\\', '/');
    if (path.empty()) {
        return std::nullopt;
    }
    if (path.front() == '/') {
        const tevo::win::ResolvedPath resolved = tevo::win::ResolvePath(path);
        if (!resolved.exists) {
            return std::nullopt;
        }
        return resolved.path.string();
    }
    const std::filesystem::path program_directory = ProgramDirectory();
    if (!program_directory.empty()) {
        const tevo::win::ResolvedPath beside_program =
            tevo::win::ResolvePath((program_directory / path).string());
        if (beside_program.exists) {
            return beside_program.path.string();
        }
    }
    if (path.find('/') == std::string::npos) {
        return path;
    }
    return std::nullopt;
}

}  // namespace tevo::com::activation

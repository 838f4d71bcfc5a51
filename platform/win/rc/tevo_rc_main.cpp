// tevo-rc: compiles a resource script into a C++ source that embeds the resources in a
// module.
//
//   tevo-rc [-I DIR]... -o OUTPUT.cpp [--depfile OUTPUT.d] SCRIPT.rc
//
// Errors are printed as "file:line: error: message" and the exit code is 1; nothing is
// written then.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "compile_error.h"
#include "generated_source.h"
#include "resource_script.h"

namespace fs = std::filesystem;

namespace {

int Usage() {
    std::cerr << "usage: tevo-rc [-I DIR]... -o OUTPUT.cpp [--depfile OUTPUT.d] SCRIPT.rc\n";
    return 2;
}

// Writes through a temporary file and a rename, so a reader never sees half a file.
bool WriteWhole(const fs::path& path, const std::string& text) {
    const fs::path temporary = path.string() + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out.write(text.data(), static_cast<std::streamsize>(text.size())) || !out.flush()) {
            std::cerr << "tevo-rc: cannot write " << temporary.string() << "\n";
            return false;
        }
    }
    std::error_code ec;
    fs::rename(temporary, path, ec);
    if (ec) {
        std::cerr << "tevo-rc: cannot write " << path.string() << ": " << ec.message() << "\n";
        fs::remove(temporary, ec);
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<fs::path> search_dirs;
    fs::path output;
    fs::path depfile;
    fs::path script;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        if (arg == "-I") {
            const char* dir = value();
            if (dir == nullptr)
                return Usage();
            search_dirs.emplace_back(dir);
        } else if (arg.rfind("-I", 0) == 0) {
            search_dirs.emplace_back(arg.substr(2));
        } else if (arg == "-o") {
            const char* path = value();
            if (path == nullptr)
                return Usage();
            output = path;
        } else if (arg == "--depfile") {
            const char* path = value();
            if (path == nullptr)
                return Usage();
            depfile = path;
        } else if ((!arg.empty() && arg[0] == '-') || !script.empty()) {
            return Usage();  // an unknown option, or a second script
        } else {
            script = arg;
        }
    }
    if (script.empty() || output.empty())
        return Usage();

    try {
        const tevo::rc::ResourceSet resources =
            tevo::rc::CompileResourceScript(script, search_dirs);
        if (!WriteWhole(output, tevo::rc::GenerateSource(resources, script)))
            return 1;
        if (!depfile.empty() &&
            !WriteWhole(depfile, tevo::rc::GenerateDepfile(output, resources.inputs)))
            return 1;
    } catch (const tevo::rc::CompileError& error) {
        std::cerr << error.what() << "\n";
        return 1;
    } catch (const std::exception& error) {
        std::cerr << "tevo-rc: " << script.string() << ": " << error.what() << "\n";
        return 1;
    }
    return 0;
}

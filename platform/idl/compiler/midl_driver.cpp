#include "midl_driver.h"

#include <filesystem>
#include <fstream>
#include <system_error>

#include "tevo/idl/header_generator.h"
#include "tevo/idl/idl_compiler.h"
#include "tevo/idl/typelib_format.h"

namespace tevo::idl {

namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage =
    "usage: tevo-midl [-o DIR] [--header FILE] [--tlb FILE] [-L DIR]... FILE.idl\n";

// Writes `bytes` to `path` through a temporary file in the same folder, so that a reader
// never sees half a file.
bool WriteAtomically(const fs::path& path, const std::string& bytes, std::string& error) {
    const fs::path temp = path.string() + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            error = "cannot write " + temp.string();
            std::error_code ignored;
            fs::remove(temp, ignored);
            return false;
        }
    }
    std::error_code ec;
    fs::rename(temp, path, ec);
    if (ec) {
        error = "cannot write " + path.string() + ": " + ec.message();
        fs::remove(temp, ec);
        return false;
    }
    return true;
}

}  // namespace

int RunMidl(const std::vector<std::string>& args, std::ostream& err) {
    std::string input;
    fs::path out_dir = ".";
    fs::path header_path;
    fs::path tlb_path;
    CompileOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&](const char* option) -> const std::string* {
            if (i + 1 >= args.size()) {
                err << "tevo-midl: " << option << " needs a value\n" << kUsage;
                return nullptr;
            }
            return &args[++i];
        };
        if (arg == "--help") {
            err << kUsage;
            return kMidlOk;
        }
        if (arg == "-o") {
            const std::string* v = value("-o");
            if (v == nullptr) {
                return kMidlUsageError;
            }
            out_dir = *v;
        } else if (arg == "--header") {
            const std::string* v = value("--header");
            if (v == nullptr) {
                return kMidlUsageError;
            }
            header_path = *v;
        } else if (arg == "--tlb") {
            const std::string* v = value("--tlb");
            if (v == nullptr) {
                return kMidlUsageError;
            }
            tlb_path = *v;
        } else if (arg == "-L") {
            const std::string* v = value("-L");
            if (v == nullptr) {
                return kMidlUsageError;
            }
            options.library_paths.push_back(*v);
        } else if (arg.size() > 2 && arg.compare(0, 2, "-L") == 0) {
            options.library_paths.push_back(arg.substr(2));
        } else if (!arg.empty() && arg[0] == '-') {
            err << "tevo-midl: unknown option " << arg << "\n" << kUsage;
            return kMidlUsageError;
        } else if (!input.empty()) {
            err << "tevo-midl: one IDL file at a time\n" << kUsage;
            return kMidlUsageError;
        } else {
            input = arg;
        }
    }
    if (input.empty()) {
        err << "tevo-midl: no IDL file given\n" << kUsage;
        return kMidlUsageError;
    }

    CompiledIdl compiled;
    Diagnostic diagnostic;
    if (!CompileIdlFile(input, options, compiled, diagnostic)) {
        err << diagnostic.ToString() << "\n";
        return kMidlCompileError;
    }
    const std::string stem = fs::path(input).stem().string();
    const bool tlb_requested = !tlb_path.empty();
    if (header_path.empty()) {
        header_path = out_dir / (stem + ".h");
    }
    if (tlb_path.empty()) {
        tlb_path = out_dir / (stem + ".tlb");
    }

    std::string error;
    std::string tlb_bytes;
    if (compiled.has_library) {
        std::vector<std::uint8_t> bytes;
        if (!WriteTypeLib(compiled.library, bytes, error)) {
            err << input << ": " << error << "\n";
            return kMidlCompileError;
        }
        tlb_bytes.assign(bytes.begin(), bytes.end());
    } else if (tlb_requested) {
        err << input << ": no library block, so no type library to write\n";
        return kMidlCompileError;
    }

    HeaderOptions header_options;
    header_options.source_name = fs::path(input).filename().string();
    header_options.includes = compiled.header_includes;
    header_options.emit_libid = compiled.has_library;
    const std::string header = GenerateHeader(compiled.library, header_options);

    std::error_code ec;
    for (const fs::path& path : {header_path, tlb_path}) {
        if (path.has_parent_path()) {
            fs::create_directories(path.parent_path(), ec);
        }
    }
    if (!WriteAtomically(header_path, header, error) ||
        (compiled.has_library && !WriteAtomically(tlb_path, tlb_bytes, error))) {
        err << "tevo-midl: " << error << "\n";
        return kMidlCompileError;
    }
    return kMidlOk;
}

}  // namespace tevo::idl

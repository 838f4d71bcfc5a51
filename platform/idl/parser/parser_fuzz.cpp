// libFuzzer entry point: any bytes given to the IDL compiler front end end in a compiled
// library or a diagnostic, never in a crash, a hang or undefined behaviour.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "tevo/idl/idl_compiler.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view source(reinterpret_cast<const char*>(data), size);
    tevo::idl::CompileOptions options;
    // Imported libraries are looked for in a folder that does not exist.
    options.library_paths.push_back("/nonexistent-tevo-fuzz");
    tevo::idl::CompiledIdl result;
    tevo::idl::Diagnostic error;
    tevo::idl::CompileIdl(source, "/nonexistent-tevo-fuzz/fuzz.idl", options, result, error);
    return 0;
}

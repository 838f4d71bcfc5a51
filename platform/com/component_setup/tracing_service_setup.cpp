// The set-up step that registers the tracing service (libtevotracing.so, class
// TracingService) in every new system root, as a fresh Windows installation has it. The
// library lies next to libtevocom.so (in the build's lib/ folder as in the SDK's); the step
// loads it and calls its DllRegisterServer, as regsvr does. A build without the library
// (only some targets built) registers nothing.
#include <dlfcn.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "tevo/com/activation.h"
#include "tevo/win/sysroot.h"

namespace tevo::com::component_setup {

namespace {

namespace fs = std::filesystem;

constexpr const char* kTracingServiceLibrary = "libtevotracing.so";

// The folder of the shared library that holds this code.
fs::path RuntimeFolder() {
    static const char anchor = 0;
    Dl_info info{};
    if (dladdr(&anchor, &info) == 0 || info.dli_fname == nullptr) {
        throw std::runtime_error("cannot find the file of the COM runtime library");
    }
    std::error_code error;
    const fs::path folder = fs::path(info.dli_fname).parent_path();
    const fs::path canonical = fs::weakly_canonical(fs::absolute(folder, error), error);
    return error ? folder : canonical;
}

void RegisterTracingService(const fs::path& /*root*/) {
    const fs::path library = RuntimeFolder() / kTracingServiceLibrary;
    std::error_code error;
    if (!fs::exists(library, error)) {
        return;
    }
    void* module = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        const char* reason = dlerror();
        throw std::runtime_error(library.string() + ": " + (reason ? reason : "cannot load"));
    }
    using RegisterFunction = HRESULT (*)();
    auto* register_server = reinterpret_cast<RegisterFunction>(dlsym(module, "DllRegisterServer"));
    const HRESULT hr = register_server != nullptr ? register_server() : E_FAIL;
    dlclose(module);
    if (FAILED(hr)) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
        throw std::runtime_error(library.string() + ": DllRegisterServer failed with " + code);
    }
}

[[maybe_unused]] const bool kStepAdded =
    tevo::win::AddSystemRootSetupStep("com: register the tracing service", RegisterTracingService);

}  // namespace

}  // namespace tevo::com::component_setup

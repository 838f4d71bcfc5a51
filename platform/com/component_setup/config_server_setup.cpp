// The set-up step that registers the IVI configuration server in every new system root: it
// loads libtevoiviconfig.so from the folder of libtevocom.so and calls its
// DllRegisterServer. A platform built without the server has no such file; the root then
// has no configuration server, as a machine without the IVI shared components.
#include <dlfcn.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "tevo/win/resources.h"
#include "tevo/win/sysroot.h"
#include "tevo/win/winerror.h"

namespace tevo::com::component_setup {

namespace {

namespace fs = std::filesystem;

constexpr char kConfigServerLibrary[] = "libtevoiviconfig.so";

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

void RegisterConfigServer(const fs::path& /*root*/) {
    const fs::path library = RuntimeFolder() / kConfigServerLibrary;
    std::error_code error;
    if (!fs::exists(library, error)) {
        return;
    }
    HMODULE module = LoadLibraryA(library.string().c_str());
    if (module == nullptr) {
        throw std::runtime_error("cannot load " + library.string());
    }
    using RegisterFunction = HRESULT (*)();
    const auto do_register =
        reinterpret_cast<RegisterFunction>(GetProcAddress(module, "DllRegisterServer"));
    const HRESULT hr = do_register != nullptr ? do_register() : E_FAIL;
    FreeLibrary(module);
    if (FAILED(hr)) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
        throw std::runtime_error(library.string() + ": DllRegisterServer failed with " + code);
    }
}

[[maybe_unused]] const bool kStepAdded = tevo::win::AddSystemRootSetupStep(
    "com: register the IVI configuration server", RegisterConfigServer);

}  // namespace

}  // namespace tevo::com::component_setup

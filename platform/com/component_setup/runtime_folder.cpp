#include "runtime_folder.h"

#include <dlfcn.h>

#include <cstdio>
#include <stdexcept>
#include <string>

#include "tevo/win/resources.h"
#include "tevo/win/winerror.h"

namespace tevo::com::component_setup {

namespace fs = std::filesystem;

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

void RegisterServerNextToRuntime(const char* library_file) {
    const fs::path library = RuntimeFolder() / library_file;
    std::error_code error;
    if (!fs::exists(library, error)) {
        return;
    }
    HMODULE module = LoadLibraryA(library.string().c_str());
    if (module == nullptr) {
        throw std::runtime_error("cannot load " + library.string());
    }
    using RegisterFunction = HRESULT (*)();
    const auto register_server =
        reinterpret_cast<RegisterFunction>(GetProcAddress(module, "DllRegisterServer"));
    const HRESULT hr = register_server != nullptr ? register_server() : E_FAIL;
    FreeLibrary(module);
    if (FAILED(hr)) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
        throw std::runtime_error(library.string() + ": DllRegisterServer failed with " + code);
    }
}

}  // namespace tevo::com::component_setup

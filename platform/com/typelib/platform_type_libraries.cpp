// The set-up step that registers the platform's own type libraries in every new system
// root: IviDriver, IviSpecAn and the tracing runtime. The files lie next to libtevocom.so
// (in the build's lib/ folder as in the SDK's).
#include <dlfcn.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "tevo/com/com_ptr.h"
#include "tevo/com/typeinfo.h"
#include "tevo/win/sysroot.h"
#include "tevo/win/text.h"

namespace tevo::com::typelib {

namespace {

namespace fs = std::filesystem;

constexpr const char* kPlatformTypeLibraries[] = {"IviDriverTypeLib.tlb", "IviSpecAnTypeLib.tlb",
                                                  "TraceRuntime.tlb"};

// The folder of the shared library that holds this code.
fs::path RuntimeFolder() {
    static const char anchor = 0;
    Dl_info info{};
    if (dladdr(&anchor, &info) == 0 || info.dli_fname == nullptr) {
        throw std::runtime_error("cannot find the file of the COM runtime library");
    }
    // The folder as a plain absolute path ("lib/", not "bin/../lib/" as the loader may
    // have found it), without following a link that the library file itself may be.
    std::error_code error;
    const fs::path folder = fs::path(info.dli_fname).parent_path();
    const fs::path canonical = fs::weakly_canonical(fs::absolute(folder, error), error);
    return error ? folder : canonical;
}

void RegisterPlatformTypeLibraries(const fs::path& /*root*/) {
    const fs::path folder = RuntimeFolder();
    const std::wstring help_dir = tevo::win::Utf8ToWide(folder.string());
    std::string failures;
    for (const char* name : kPlatformTypeLibraries) {
        const std::wstring path = tevo::win::Utf8ToWide((folder / name).string());
        tevo::com::ComPtr<ITypeLib> library;
        HRESULT hr = LoadTypeLib(path.c_str(), &library);
        if (SUCCEEDED(hr)) {
            hr = RegisterTypeLib(library.Get(), path.c_str(), help_dir.c_str());
        }
        if (FAILED(hr)) {
            char code[16];
            std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
            failures += (failures.empty() ? "" : "; ") + (folder / name).string() + ": " + code;
        }
    }
    // The others stay registered; the step runs again for this root in the next process.
    if (!failures.empty()) {
        throw std::runtime_error("type libraries not registered: " + failures);
    }
}

[[maybe_unused]] const bool kStepAdded = tevo::win::AddSystemRootSetupStep(
    "com: register the IviDriver, IviSpecAn and TraceRuntime type libraries",
    RegisterPlatformTypeLibraries);

}  // namespace

}  // namespace tevo::com::typelib

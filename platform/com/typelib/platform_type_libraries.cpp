// The set-up step that registers the platform's own type libraries in every new system
// root: IviDriver, IviSpecAn and the tracing runtime. The files lie next to libtevocom.so
// (in the build's lib/ folder as in the SDK's).
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "../component_setup/runtime_folder.h"
#include "tevo/com/com_ptr.h"
#include "tevo/com/typeinfo.h"
#include "tevo/win/sysroot.h"
#include "tevo/win/text.h"

namespace tevo::com::typelib {

namespace {

namespace fs = std::filesystem;

constexpr const char* kPlatformTypeLibraries[] = {"IviDriverTypeLib.tlb", "IviSpecAnTypeLib.tlb",
                                                  "TraceRuntime.tlb"};

void RegisterPlatformTypeLibraries(const fs::path& /*root*/) {
    const fs::path folder = tevo::com::component_setup::RuntimeFolder();
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

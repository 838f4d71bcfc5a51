// The set-up step that registers the tracing service (libtevotracing.so, class
// TracingService) in every new system root, as a fresh Windows installation has it. The
// library lies next to libtevocom.so; a build without it (only some targets built)
// registers nothing.
#include "runtime_folder.h"
#include "tevo/win/sysroot.h"

namespace tevo::com::component_setup {
namespace {

[[maybe_unused]] const bool kStepAdded = tevo::win::AddSystemRootSetupStep(
    "com: register the tracing service", [](const std::filesystem::path& /*root*/) {
        RegisterServerNextToRuntime("libtevotracing.so");
    });

}  // namespace
}  // namespace tevo::com::component_setup

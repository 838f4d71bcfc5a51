// The set-up step that registers the registrar and the component-categories manager
// (libtevoregistrar.so) in every new system root, as a fresh Windows installation has
// them. A build without the library registers nothing.
#include "runtime_folder.h"
#include "tevo/win/sysroot.h"

namespace tevo::com::component_setup {
namespace {

[[maybe_unused]] const bool kStepAdded = tevo::win::AddSystemRootSetupStep(
    "com: register the registrar and the component-categories manager",
    [](const std::filesystem::path& /*root*/) {
        RegisterServerNextToRuntime("libtevoregistrar.so");
    });

}  // namespace
}  // namespace tevo::com::component_setup

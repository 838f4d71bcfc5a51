// The set-up step that registers the automation bridge (libtevobridge.so) in every new
// system root. A build without the library registers nothing.
#include "runtime_folder.h"
#include "tevo/win/sysroot.h"

namespace tevo::com::component_setup {
namespace {

[[maybe_unused]] const bool kStepAdded = tevo::win::AddSystemRootSetupStep(
    "com: register the automation bridge",
    [](const std::filesystem::path& /*root*/) { RegisterServerNextToRuntime("libtevobridge.so"); });

}  // namespace
}  // namespace tevo::com::component_setup

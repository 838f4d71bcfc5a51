// The set-up step that registers the IVI configuration server in every new system root: it
// loads libtevoiviconfig.so from the folder of libtevocom.so and calls its
// DllRegisterServer. A platform built without the server has no such file; the root then
// has no configuration server, as a machine without the IVI shared components.
#include "runtime_folder.h"
#include "tevo/win/sysroot.h"

namespace tevo::com::component_setup {
namespace {

[[maybe_unused]] const bool kStepAdded = tevo::win::AddSystemRootSetupStep(
    "com: register the IVI configuration server", [](const std::filesystem::path& /*root*/) {
        RegisterServerNextToRuntime("libtevoiviconfig.so");
    });

}  // namespace
}  // namespace tevo::com::component_setup

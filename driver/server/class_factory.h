// The driver's server module: its class table (Tevo creatable; the two trace item classes
// listed for registration only), the cached class factories, the lock count over driver
// objects and trace items, and the exported DllGetClassObject and DllCanUnloadNow.
#pragma once

#include <span>

#include "tevo/com/server_kit.h"

namespace tevo::driver {

// The module state, created on first use and destroyed with the loaded library.
tevo::com::server::ServerModule& DriverServerModule();

// The class table in registration order, with each entry's registry script (resource of
// type "REGISTRY").
struct DriverClass {
    const CLSID* clsid;
    UINT registry_script;
};
std::span<const DriverClass> DriverClasses();

}  // namespace tevo::driver

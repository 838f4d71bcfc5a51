#include "server/module_lock.h"

#include "server/class_factory.h"

namespace tevo::driver {

void LockModule() {
    DriverServerModule().LockObject();
}
void UnlockModule() {
    DriverServerModule().UnlockObject();
}
LONG ModuleLockCount() {
    return DriverServerModule().LockCount();
}

}  // namespace tevo::driver

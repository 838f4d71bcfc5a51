// The server module's lock count: live driver objects plus LockServer locks. The module can
// be unloaded when it is 0.
#pragma once

#include "tevo/win/types.h"

namespace tevo::driver {

void LockModule();
void UnlockModule();
LONG ModuleLockCount();

}  // namespace tevo::driver

// The server module's lock count: live driver objects and trace items plus LockServer
// locks (kept by the driver's server module). The module can be unloaded when it is 0.
#pragma once

#include "tevo/win/types.h"

namespace tevo::driver {

void LockModule();
void UnlockModule();
LONG ModuleLockCount();

// One count on the module for the life of the holder. An object class derives from it
// first: bases are destroyed in reverse order, so the count goes only after everything
// else of the object has been destroyed, and the module is never reported unloadable while
// the object's own code still runs.
class ModuleReference {
  public:
    ModuleReference() { LockModule(); }
    ~ModuleReference() { UnlockModule(); }
    ModuleReference(const ModuleReference&) = delete;
    ModuleReference& operator=(const ModuleReference&) = delete;
};

}  // namespace tevo::driver

// The server module's lock count: live driver objects plus LockServer locks. The module can
// be unloaded when it is 0.
#pragma once

#include "tevo/win/types.h"

namespace tevo::driver {

void LockModule();
void UnlockModule();
LONG ModuleLockCount();

// IClassFactory::LockServer. A lock adds one count; an unlock removes one only while a
// LockServer lock is outstanding and is otherwise ignored (false), so a client's surplus
// unlock can never take away the count of a live object.
void LockServerModule();
bool UnlockServerModule();

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

#include "server/module_lock.h"

#include "tevo/win/windows.h"

namespace tevo::driver {

namespace {
LONG volatile g_lock_count = 0;
}  // namespace

void LockModule() {
    InterlockedIncrement(&g_lock_count);
}
void UnlockModule() {
    InterlockedDecrement(&g_lock_count);
}
LONG ModuleLockCount() {
    return InterlockedCompareExchange(&g_lock_count, 0, 0);
}

}  // namespace tevo::driver

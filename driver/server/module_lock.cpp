#include "server/module_lock.h"

#include "tevo/win/windows.h"

namespace tevo::driver {

namespace {
LONG volatile g_lock_count = 0;
// The LockServer locks among them.
LONG volatile g_server_locks = 0;
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

void LockServerModule() {
    InterlockedIncrement(&g_server_locks);
    LockModule();
}

bool UnlockServerModule() {
    // Takes one server lock if there is one; a concurrent unlock may take it first.
    LONG locks = InterlockedCompareExchange(&g_server_locks, 0, 0);
    while (locks > 0) {
        const LONG seen = InterlockedCompareExchange(&g_server_locks, locks - 1, locks);
        if (seen == locks) {
            UnlockModule();
            return true;
        }
        locks = seen;
    }
    return false;
}

}  // namespace tevo::driver

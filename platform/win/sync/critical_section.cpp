// Critical sections: a recursive mutex placed in the caller's CRITICAL_SECTION, with the
// owner's thread id and entry count beside it.
#include <mutex>
#include <new>

#include "tevo/win/sync.h"

namespace {

static_assert(sizeof(std::recursive_mutex) <= sizeof(CRITICAL_SECTION::MutexStorage));
static_assert(alignof(std::recursive_mutex) <= 16);

std::recursive_mutex& MutexOf(LPCRITICAL_SECTION section) {
    return *std::launder(reinterpret_cast<std::recursive_mutex*>(section->MutexStorage));
}

// The owner field is written by the owner and read by any thread that wants to know whether
// it owns the section; only the owner can find its own id there.
DWORD OwnerOf(LPCRITICAL_SECTION section) {
    return __atomic_load_n(&section->OwningThread, __ATOMIC_RELAXED);
}

void BecomeOwner(LPCRITICAL_SECTION section) {
    if (section->RecursionCount++ == 0) {
        __atomic_store_n(&section->OwningThread, GetCurrentThreadId(), __ATOMIC_RELAXED);
    }
}

}  // namespace

extern "C" void InitializeCriticalSection(LPCRITICAL_SECTION section) {
    new (section->MutexStorage) std::recursive_mutex;
    section->RecursionCount = 0;
    section->OwningThread = 0;
    section->SpinCount = 0;
}

extern "C" BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION section,
                                                      DWORD spin_count) {
    InitializeCriticalSection(section);
    section->SpinCount = spin_count;
    return TRUE;
}

extern "C" void EnterCriticalSection(LPCRITICAL_SECTION section) {
    MutexOf(section).lock();
    BecomeOwner(section);
}

extern "C" BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section) {
    if (!MutexOf(section).try_lock()) {
        return FALSE;
    }
    BecomeOwner(section);
    return TRUE;
}

extern "C" void LeaveCriticalSection(LPCRITICAL_SECTION section) {
    // Unlocking a mutex that the caller does not hold is undefined behaviour; a stray
    // Leave from another thread is therefore ignored.
    if (OwnerOf(section) != GetCurrentThreadId() || section->RecursionCount <= 0) {
        return;
    }
    if (--section->RecursionCount == 0) {
        __atomic_store_n(&section->OwningThread, DWORD{0}, __ATOMIC_RELAXED);
    }
    MutexOf(section).unlock();
}

extern "C" void DeleteCriticalSection(LPCRITICAL_SECTION section) {
    MutexOf(section).~recursive_mutex();
    section->RecursionCount = 0;
    section->OwningThread = 0;
}

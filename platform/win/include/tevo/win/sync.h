// Kernel-object handles, waiting, critical sections, semaphores, thread and process ids,
// interlocked operations and Sleep, with their Windows names and signatures.
//
// Every kernel object of the platform (files, semaphores, and kinds added later such as
// processes) lives in one handle table. A handle is an opaque value that names one entry;
// CloseHandle removes the entry whatever its kind. Handle values are never reused within a
// process, so a stale handle fails with ERROR_INVALID_HANDLE instead of reaching another
// object.
#pragma once

#include <memory>
#include <mutex>
#include <span>

#include "tevo/win/types.h"

// ---- Waiting ----
constexpr DWORD WAIT_OBJECT_0 = 0x00000000;
constexpr DWORD WAIT_ABANDONED = 0x00000080;
constexpr DWORD WAIT_ABANDONED_0 = WAIT_ABANDONED;
constexpr DWORD WAIT_TIMEOUT = 0x00000102;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
constexpr DWORD MAXIMUM_WAIT_OBJECTS = 64;

// A critical section: a recursive lock owned by one thread at a time. The storage is
// opaque; only the functions below use it. OwningThread and RecursionCount describe the
// current owner (0 and 0 when free) and may be read by the owner itself.
struct CRITICAL_SECTION {
    alignas(16) unsigned char MutexStorage[64];
    LONG RecursionCount;
    DWORD OwningThread;
    DWORD SpinCount;
};
using LPCRITICAL_SECTION = CRITICAL_SECTION*;
using PCRITICAL_SECTION = CRITICAL_SECTION*;

extern "C" {
// Closes a handle of any kind. FALSE with ERROR_INVALID_HANDLE for a handle that is not
// open.
BOOL CloseHandle(HANDLE object);

// Waits until the object is signalled (a semaphore with a count above zero, which the wait
// then decrements) or the time-out in milliseconds passes (INFINITE: no time-out; 0: test
// and return at once). WAIT_OBJECT_0, WAIT_TIMEOUT, or WAIT_FAILED with the last error set.
DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds);
// Waits for any one (wait_all FALSE: WAIT_OBJECT_0 + index of the first signalled object)
// or for all of 1 to MAXIMUM_WAIT_OBJECTS objects (wait_all TRUE: taken together at once).
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* objects, BOOL wait_all, DWORD milliseconds);

void InitializeCriticalSection(LPCRITICAL_SECTION section);
// The spin count is kept for compatibility and not used. Always TRUE.
BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION section, DWORD spin_count);
// Enters the section, waiting for another owner to leave it. The owner may enter again;
// it owns the section until it has left as often as it entered.
void EnterCriticalSection(LPCRITICAL_SECTION section);
// Enters without waiting: TRUE when the section was free or already owned by the caller.
BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section);
// Leaves once. A thread that does not own the section changes nothing.
void LeaveCriticalSection(LPCRITICAL_SECTION section);
void DeleteCriticalSection(LPCRITICAL_SECTION section);

// Creates an unnamed semaphore with 0 <= initial <= maximum, maximum > 0 (otherwise NULL
// with ERROR_INVALID_PARAMETER). Named semaphores are not supported: a non-empty name gives
// NULL with ERROR_NOT_SUPPORTED.
HANDLE CreateSemaphoreA(LPSECURITY_ATTRIBUTES attributes, LONG initial_count, LONG maximum_count,
                        LPCSTR name);
HANDLE CreateSemaphoreW(LPSECURITY_ATTRIBUTES attributes, LONG initial_count, LONG maximum_count,
                        LPCWSTR name);
// Adds release_count (> 0) to the count and gives the previous count. A count that would
// pass the maximum is refused with ERROR_TOO_MANY_POSTS and leaves the count unchanged.
BOOL ReleaseSemaphore(HANDLE semaphore, LONG release_count, LPLONG previous_count);

// A stable, non-zero 32-bit id per thread (the kernel's thread id) and the process id.
DWORD GetCurrentThreadId();
DWORD GetCurrentProcessId();
// Suspends the calling thread; 0 gives up the rest of its time slice.
void Sleep(DWORD milliseconds);
// Milliseconds since an arbitrary fixed point (the system's boot); wraps after 49.7 days.
DWORD GetTickCount();

// Atomic operations with full ordering. Increment, Decrement and ExchangeAdd wrap around on
// overflow as on Windows. Increment and Decrement give the new value, the others the old.
LONG InterlockedIncrement(LONG volatile* addend);
LONG InterlockedDecrement(LONG volatile* addend);
LONG InterlockedExchange(LONG volatile* target, LONG value);
LONG InterlockedExchangeAdd(LONG volatile* addend, LONG value);
LONG InterlockedCompareExchange(LONG volatile* destination, LONG exchange, LONG comparand);
PVOID InterlockedExchangePointer(PVOID volatile* target, PVOID value);
PVOID InterlockedCompareExchangePointer(PVOID volatile* destination, PVOID exchange,
                                        PVOID comparand);
}

#ifdef UNICODE
#define CreateSemaphore CreateSemaphoreW
#else
#define CreateSemaphore CreateSemaphoreA
#endif

namespace tevo::win {

// One kind of kernel object in the handle table. Kinds that can be waited for override
// IsWaitable, IsSignaled and Acquire, and keep their signal state under WaitLock(); after
// changing it they call NotifyWaiters(). A kind whose signal comes from outside the process
// and cannot call NotifyWaiters in time answers NeedsPolling() with true; waits that
// involve it then look again at short intervals. A kind may also override Wait to wait for
// itself alone in its own way.
class KernelObject {
  public:
    KernelObject() = default;
    KernelObject(const KernelObject&) = delete;
    KernelObject& operator=(const KernelObject&) = delete;
    virtual ~KernelObject();

    virtual bool IsWaitable() const { return false; }
    // Called with WaitLock() held: whether a wait would be satisfied now.
    virtual bool IsSignaled() const { return false; }
    // Called with WaitLock() held, after IsSignaled answered true, for the one waiter that
    // is satisfied: a semaphore takes one from its count; a kind that stays signalled does
    // nothing.
    virtual void Acquire() {}
    virtual bool NeedsPolling() const { return false; }
    // Waits for this object alone (WaitForSingleObject): WAIT_OBJECT_0 or WAIT_TIMEOUT, or
    // WAIT_FAILED with the last error set. The default is the shared wait below.
    virtual DWORD Wait(DWORD milliseconds);
};

// The lock under which every waitable object keeps its signal state.
std::mutex& WaitLock();
// Wakes every waiting thread to look at its objects again.
void NotifyWaiters();
// The shared wait over several objects (see WaitForMultipleObjects); the caller keeps them
// alive. All must be waitable.
DWORD WaitForObjects(std::span<KernelObject* const> objects, bool wait_all, DWORD milliseconds);

// Adds an object to the handle table and gives its new handle (never NULL and never
// INVALID_HANDLE_VALUE).
HANDLE RegisterHandle(std::shared_ptr<KernelObject> object);
// The object of an open handle, or null. The object stays alive while the pointer is held,
// even when another thread closes the handle meanwhile.
std::shared_ptr<KernelObject> FindHandle(HANDLE handle);
template <class Kind>
std::shared_ptr<Kind> FindHandleAs(HANDLE handle) {
    return std::dynamic_pointer_cast<Kind>(FindHandle(handle));
}
// Removes a handle from the table; false when it was not open.
bool UnregisterHandle(HANDLE handle);

}  // namespace tevo::win

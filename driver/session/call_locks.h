// The two locks of a driver object. CallLock serialises every call on the object and its
// items (a re-entrant critical section, held for the whole inner implementation).
// ObjectLock gives one thread exclusive use of the object across calls (LockObject /
// UnlockObject): a binary semaphore with an owner thread and a nesting count.
#pragma once

#include <atomic>

#include "tevo/win/windows.h"

namespace tevo::driver {

class CallLock {
  public:
    CallLock() { InitializeCriticalSection(&section_); }
    ~CallLock() { DeleteCriticalSection(&section_); }
    CallLock(const CallLock&) = delete;
    CallLock& operator=(const CallLock&) = delete;

    void Enter();
    void Leave();

    // Whether the calling thread holds the lock: true inside a call and in the frames of
    // the calls it makes on its own object (nested calls).
    bool IsHeldByCurrentThread() const { return owner_.load() == GetCurrentThreadId(); }
    // How many threads are waiting to enter (for diagnostics and tests).
    LONG Waiters() const { return waiters_.load(); }

  private:
    CRITICAL_SECTION section_{};
    // Written only by the thread that holds the section: its id while it holds it, else 0.
    // Any thread may compare it with its own id: only that thread ever stores that id.
    std::atomic<DWORD> owner_{0};
    LONG depth_ = 0;  // entries of the owner; guarded by the section
    std::atomic<LONG> waiters_{0};
};

class CallLockScope {
  public:
    explicit CallLockScope(CallLock& lock) : lock_(lock) { lock_.Enter(); }
    ~CallLockScope() { lock_.Leave(); }
    CallLockScope(const CallLockScope&) = delete;
    CallLockScope& operator=(const CallLockScope&) = delete;

  private:
    CallLock& lock_;
};

class ObjectLock {
  public:
    ObjectLock();
    ~ObjectLock();
    ObjectLock(const ObjectLock&) = delete;
    ObjectLock& operator=(const ObjectLock&) = delete;

    // The wait of every call: when another thread owns the lock, blocks until its last
    // Release and gives the semaphore back at once (the caller does not keep it). The
    // owner itself never waits, however often it has locked.
    void WaitWhileOwnedByOtherThread();
    // LockObject: the first Acquire of a thread takes the semaphore (waiting for another
    // owner's last Release), nested ones count up. Never called with the CallLock held, so
    // the owner can always get in to release.
    void Acquire();
    // UnlockObject: one level down for the owner; at 0 the semaphore is released. Calls of
    // other threads and surplus calls change nothing.
    void Release();

    LONG Count() const { return count_.load(); }
    DWORD Owner() const { return owner_.load(); }
    // How many threads are waiting for another owner's last Release (for diagnostics and
    // tests).
    LONG Waiters() const { return waiters_.load(); }

  private:
    // Waits for the semaphore, counted in waiters_.
    void WaitForSemaphore();

    HANDLE semaphore_ = nullptr;
    // Read without the guard by the call wait: atomics keep that read well defined.
    std::atomic<LONG> count_{0};
    std::atomic<DWORD> owner_{0};
    std::atomic<LONG> waiters_{0};
    CRITICAL_SECTION guard_{};
};

// What the frame takes from the root object.
struct FrameLocks {
    CallLock call_lock;
    ObjectLock object_lock;
};

}  // namespace tevo::driver

#include "session/call_locks.h"

namespace tevo::driver {

void CallLock::Enter() {
    if (TryEnterCriticalSection(&section_) == FALSE) {
        waiters_.fetch_add(1);
        EnterCriticalSection(&section_);
        waiters_.fetch_sub(1);
    }
    if (depth_++ == 0) {
        owner_.store(GetCurrentThreadId());
    }
}

void CallLock::Leave() {
    if (!IsHeldByCurrentThread()) {
        return;  // like LeaveCriticalSection: a thread that does not hold it changes nothing
    }
    if (--depth_ == 0) {
        owner_.store(0);
    }
    LeaveCriticalSection(&section_);
}

ObjectLock::ObjectLock() : semaphore_(CreateSemaphoreA(nullptr, 1, 1, nullptr)) {
    InitializeCriticalSection(&guard_);
}

ObjectLock::~ObjectLock() {
    DeleteCriticalSection(&guard_);
    if (semaphore_ != nullptr) {
        CloseHandle(semaphore_);
    }
}

void ObjectLock::WaitForSemaphore() {
    waiters_.fetch_add(1);
    WaitForSingleObject(semaphore_, INFINITE);
    waiters_.fetch_sub(1);
}

void ObjectLock::WaitWhileOwnedByOtherThread() {
    if (count_.load() > 0 && owner_.load() != GetCurrentThreadId()) {
        WaitForSemaphore();
        ReleaseSemaphore(semaphore_, 1, nullptr);
    }
}

void ObjectLock::Acquire() {
    const DWORD me = GetCurrentThreadId();
    EnterCriticalSection(&guard_);
    if (count_.load() > 0 && owner_.load() == me) {
        count_.fetch_add(1);
    } else {
        // The semaphore is waited for without the guard: a thread that has just been given
        // the semaphore must be able to enter the guard to record itself as owner.
        LeaveCriticalSection(&guard_);
        WaitForSemaphore();
        EnterCriticalSection(&guard_);
        owner_.store(me);
        count_.store(1);
    }
    LeaveCriticalSection(&guard_);
}

void ObjectLock::Release() {
    EnterCriticalSection(&guard_);
    if (count_.load() > 0 && owner_.load() == GetCurrentThreadId()) {
        if (count_.fetch_sub(1) == 1) {
            owner_.store(0);
            ReleaseSemaphore(semaphore_, 1, nullptr);
        }
    }
    LeaveCriticalSection(&guard_);
}

}  // namespace tevo::driver

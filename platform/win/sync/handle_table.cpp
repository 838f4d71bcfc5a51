// The process-wide table of kernel-object handles and the shared wait over them.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <unordered_map>
#include <vector>

#include "tevo/win/lasterror.h"
#include "tevo/win/sync.h"
#include "tevo/win/winerror.h"

namespace tevo::win {
namespace {

// How often a wait looks again at objects that cannot notify waiters themselves.
constexpr auto kPollInterval = std::chrono::milliseconds(10);

struct HandleTable {
    std::mutex mutex;
    std::unordered_map<std::uintptr_t, std::shared_ptr<KernelObject>> objects;
    // Handle values are multiples of 4, as on Windows, and never reused.
    std::uintptr_t last = 0;
};

HandleTable& Table() {
    static HandleTable* table = new HandleTable;  // never destroyed: handles may outlive statics
    return *table;
}

std::condition_variable& WaitCondition() {
    static auto* condition = new std::condition_variable;
    return *condition;
}

bool IsNullOrInvalid(HANDLE handle) {
    return handle == nullptr || handle == INVALID_HANDLE_VALUE;
}

}  // namespace

KernelObject::~KernelObject() = default;

DWORD KernelObject::Wait(DWORD milliseconds) {
    KernelObject* self = this;
    return WaitForObjects({&self, 1}, false, milliseconds);
}

std::mutex& WaitLock() {
    static auto* lock = new std::mutex;
    return *lock;
}

void NotifyWaiters() {
    // Taking the lock orders the notification after any waiter's check of the state.
    { const std::lock_guard<std::mutex> guard(WaitLock()); }
    WaitCondition().notify_all();
}

DWORD WaitForObjects(std::span<KernelObject* const> objects, bool wait_all, DWORD milliseconds) {
    if (objects.empty() || std::any_of(objects.begin(), objects.end(), [](KernelObject* o) {
            return o == nullptr || !o->IsWaitable();
        })) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    const bool polled = std::any_of(objects.begin(), objects.end(),
                                    [](KernelObject* o) { return o->NeedsPolling(); });
    const auto start = std::chrono::steady_clock::now();
    const auto deadline = start + std::chrono::milliseconds(milliseconds);
    std::unique_lock<std::mutex> lock(WaitLock());
    for (;;) {
        if (wait_all) {
            if (std::all_of(objects.begin(), objects.end(),
                            [](KernelObject* o) { return o->IsSignaled(); })) {
                for (KernelObject* o : objects) {
                    o->Acquire();
                }
                return WAIT_OBJECT_0;
            }
        } else {
            for (std::size_t i = 0; i < objects.size(); ++i) {
                if (objects[i]->IsSignaled()) {
                    objects[i]->Acquire();
                    return WAIT_OBJECT_0 + static_cast<DWORD>(i);
                }
            }
        }
        const auto now = std::chrono::steady_clock::now();
        if (milliseconds != INFINITE && now >= deadline) {
            return WAIT_TIMEOUT;
        }
        if (polled) {
            auto until = now + kPollInterval;
            if (milliseconds != INFINITE) {
                until = std::min(until, deadline);
            }
            WaitCondition().wait_until(lock, until);
        } else if (milliseconds == INFINITE) {
            WaitCondition().wait(lock);
        } else {
            WaitCondition().wait_until(lock, deadline);
        }
    }
}

HANDLE RegisterHandle(std::shared_ptr<KernelObject> object) {
    HandleTable& table = Table();
    const std::lock_guard<std::mutex> guard(table.mutex);
    table.last += 4;
    table.objects.emplace(table.last, std::move(object));
    return reinterpret_cast<HANDLE>(table.last);
}

std::shared_ptr<KernelObject> FindHandle(HANDLE handle) {
    if (IsNullOrInvalid(handle)) {
        return nullptr;
    }
    HandleTable& table = Table();
    const std::lock_guard<std::mutex> guard(table.mutex);
    const auto found = table.objects.find(reinterpret_cast<std::uintptr_t>(handle));
    return found == table.objects.end() ? nullptr : found->second;
}

bool UnregisterHandle(HANDLE handle) {
    if (IsNullOrInvalid(handle)) {
        return false;
    }
    std::shared_ptr<KernelObject> removed;  // released outside the table lock
    HandleTable& table = Table();
    const std::lock_guard<std::mutex> guard(table.mutex);
    const auto found = table.objects.find(reinterpret_cast<std::uintptr_t>(handle));
    if (found == table.objects.end()) {
        return false;
    }
    removed = std::move(found->second);
    table.objects.erase(found);
    return true;
}

}  // namespace tevo::win

extern "C" BOOL CloseHandle(HANDLE object) {
    if (!tevo::win::UnregisterHandle(object)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

extern "C" DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) {
    const std::shared_ptr<tevo::win::KernelObject> found = tevo::win::FindHandle(object);
    if (found == nullptr || !found->IsWaitable()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    return found->Wait(milliseconds);
}

extern "C" DWORD WaitForMultipleObjects(DWORD count, const HANDLE* objects, BOOL wait_all,
                                        DWORD milliseconds) {
    if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || objects == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    std::vector<std::shared_ptr<tevo::win::KernelObject>> held;
    std::vector<tevo::win::KernelObject*> raw;
    for (DWORD i = 0; i < count; ++i) {
        std::shared_ptr<tevo::win::KernelObject> found = tevo::win::FindHandle(objects[i]);
        if (found == nullptr || !found->IsWaitable()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        raw.push_back(found.get());
        held.push_back(std::move(found));
    }
    if (wait_all != FALSE) {
        // Taking all at once needs each object once: a semaphore named twice would have to
        // give two counts in one step, which Windows refuses as well.
        std::vector<tevo::win::KernelObject*> sorted = raw;
        std::sort(sorted.begin(), sorted.end());
        if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end()) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return WAIT_FAILED;
        }
    }
    return tevo::win::WaitForObjects(raw, wait_all != FALSE, milliseconds);
}

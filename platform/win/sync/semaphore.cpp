// Unnamed counting semaphores as kernel objects of the handle table.
#include <string_view>

#include "tevo/win/lasterror.h"
#include "tevo/win/sync.h"
#include "tevo/win/winerror.h"

namespace tevo::win {
namespace {

// The count is kept under WaitLock(), as the shared wait reads it.
class Semaphore final : public KernelObject {
  public:
    Semaphore(LONG initial, LONG maximum) : count_(initial), maximum_(maximum) {}

    bool IsWaitable() const override { return true; }
    bool IsSignaled() const override { return count_ > 0; }
    void Acquire() override { --count_; }

    // Adds to the count unless that would pass the maximum.
    bool Release(LONG release_count, LONG* previous) {
        {
            const std::lock_guard<std::mutex> guard(WaitLock());
            if (release_count > maximum_ - count_) {
                return false;
            }
            if (previous != nullptr) {
                *previous = count_;
            }
            count_ += release_count;
        }
        NotifyWaiters();
        return true;
    }

  private:
    LONG count_;
    const LONG maximum_;
};

HANDLE NewSemaphore(LONG initial, LONG maximum, bool named) {
    if (named) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    if (maximum <= 0 || initial < 0 || initial > maximum) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    SetLastError(ERROR_SUCCESS);
    return RegisterHandle(std::make_shared<Semaphore>(initial, maximum));
}

}  // namespace
}  // namespace tevo::win

extern "C" HANDLE CreateSemaphoreA(LPSECURITY_ATTRIBUTES /*attributes*/, LONG initial_count,
                                   LONG maximum_count, LPCSTR name) {
    return tevo::win::NewSemaphore(initial_count, maximum_count, name != nullptr && *name != '\0');
}

extern "C" HANDLE CreateSemaphoreW(LPSECURITY_ATTRIBUTES /*attributes*/, LONG initial_count,
                                   LONG maximum_count, LPCWSTR name) {
    return tevo::win::NewSemaphore(initial_count, maximum_count, name != nullptr && *name != L'\0');
}

extern "C" BOOL ReleaseSemaphore(HANDLE semaphore, LONG release_count, LPLONG previous_count) {
    const auto found = tevo::win::FindHandleAs<tevo::win::Semaphore>(semaphore);
    if (found == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (release_count <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!found->Release(release_count, previous_count)) {
        SetLastError(ERROR_TOO_MANY_POSTS);
        return FALSE;
    }
    return TRUE;
}

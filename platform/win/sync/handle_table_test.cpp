#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tevo/win/lasterror.h"
#include "tevo/win/sync.h"
#include "tevo/win/winerror.h"

namespace {

// A kind that the handle table does not know about, signalled from outside and only
// observable by polling, as a process handle would be.
class PolledFlag final : public tevo::win::KernelObject {
  public:
    bool IsWaitable() const override { return true; }
    bool IsSignaled() const override { return flag.load(); }
    bool NeedsPolling() const override { return true; }
    std::atomic<bool> flag{false};
};

// A kind that waits in its own way.
class OwnWait final : public tevo::win::KernelObject {
  public:
    bool IsWaitable() const override { return true; }
    DWORD Wait(DWORD milliseconds) override {
        last_timeout = milliseconds;
        return WAIT_OBJECT_0;
    }
    DWORD last_timeout = 0;
};

// A kind that cannot be waited for at all.
class Plain final : public tevo::win::KernelObject {
  public:
    explicit Plain(bool* destroyed) : destroyed_(destroyed) {}
    ~Plain() override { *destroyed_ = true; }

  private:
    bool* destroyed_;
};

TEST(HandleTable, NewKindsAreWaitedForAndClosedLikeTheOthers) {
    auto own = std::make_shared<OwnWait>();
    const HANDLE own_handle = tevo::win::RegisterHandle(own);
    EXPECT_EQ(WaitForSingleObject(own_handle, 1234), WAIT_OBJECT_0);
    EXPECT_EQ(own->last_timeout, 1234u);
    EXPECT_EQ(tevo::win::FindHandleAs<OwnWait>(own_handle), own);
    EXPECT_EQ(tevo::win::FindHandleAs<PolledFlag>(own_handle), nullptr);
    EXPECT_TRUE(CloseHandle(own_handle));
    EXPECT_EQ(tevo::win::FindHandle(own_handle), nullptr);

    bool destroyed = false;
    const HANDLE plain = tevo::win::RegisterHandle(std::make_shared<Plain>(&destroyed));
    EXPECT_EQ(WaitForSingleObject(plain, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(destroyed);
    EXPECT_TRUE(CloseHandle(plain));
    EXPECT_TRUE(destroyed);
}

TEST(HandleTable, PolledObjectsWakeAWaitWithoutNotification) {
    auto polled = std::make_shared<PolledFlag>();
    const HANDLE handles[2] = {CreateSemaphoreA(nullptr, 0, 1, nullptr),
                               tevo::win::RegisterHandle(polled)};
    EXPECT_EQ(WaitForMultipleObjects(2, handles, FALSE, 0), WAIT_TIMEOUT);
    DWORD result = WAIT_FAILED;
    std::thread waiter([&] { result = WaitForMultipleObjects(2, handles, FALSE, INFINITE); });
    polled->flag = true;  // no NotifyWaiters: the wait must find it by looking again
    waiter.join();
    EXPECT_EQ(result, WAIT_OBJECT_0 + 1);
    CloseHandle(handles[0]);
    CloseHandle(handles[1]);
}

TEST(HandleTable, AnObjectOutlivesItsHandleWhileInUse) {
    bool destroyed = false;
    const HANDLE handle = tevo::win::RegisterHandle(std::make_shared<Plain>(&destroyed));
    auto held = tevo::win::FindHandle(handle);
    EXPECT_TRUE(CloseHandle(handle));
    EXPECT_FALSE(destroyed);
    held.reset();
    EXPECT_TRUE(destroyed);
}

}  // namespace

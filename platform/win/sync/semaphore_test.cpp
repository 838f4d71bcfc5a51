#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "tevo/win/lasterror.h"
#include "tevo/win/sync.h"
#include "tevo/win/winerror.h"

namespace {

// True when the flag is still false after a short look; used to check that something has
// NOT happened yet.
bool StaysFalse(const std::atomic<bool>& flag) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(50);
    while (std::chrono::steady_clock::now() < deadline) {
        if (flag.load()) {
            return false;
        }
        std::this_thread::yield();
    }
    return !flag.load();
}

TEST(Semaphore, WaitBlocksAnotherThreadUntilRelease) {
    const HANDLE semaphore = CreateSemaphoreA(nullptr, 1, 1, nullptr);
    ASSERT_NE(semaphore, nullptr);
    ASSERT_EQ(WaitForSingleObject(semaphore, INFINITE), WAIT_OBJECT_0);  // count 1 -> 0

    std::mutex mutex;
    std::condition_variable started_condition;
    bool started = false;
    std::atomic<bool> acquired{false};
    DWORD result = WAIT_FAILED;
    std::thread waiter([&] {
        {
            const std::lock_guard<std::mutex> guard(mutex);
            started = true;
        }
        started_condition.notify_one();
        result = WaitForSingleObject(semaphore, INFINITE);
        acquired = true;
    });
    {
        std::unique_lock<std::mutex> lock(mutex);
        started_condition.wait(lock, [&] { return started; });
    }
    EXPECT_TRUE(StaysFalse(acquired));

    LONG previous = -1;
    ASSERT_TRUE(ReleaseSemaphore(semaphore, 1, &previous));
    EXPECT_EQ(previous, 0);
    waiter.join();
    EXPECT_TRUE(acquired);
    EXPECT_EQ(result, WAIT_OBJECT_0);
    // The waiter took the count: nothing is left for us.
    EXPECT_EQ(WaitForSingleObject(semaphore, 0), WAIT_TIMEOUT);
    EXPECT_TRUE(CloseHandle(semaphore));
}

TEST(Semaphore, TimesOutWhileTheCountIsZero) {
    const HANDLE semaphore = CreateSemaphoreW(nullptr, 0, 2, nullptr);
    ASSERT_NE(semaphore, nullptr);
    EXPECT_EQ(WaitForSingleObject(semaphore, 0), WAIT_TIMEOUT);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitForSingleObject(semaphore, 30), WAIT_TIMEOUT);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
    CloseHandle(semaphore);
}

TEST(Semaphore, CountsReleasesUpToTheMaximum) {
    const HANDLE semaphore = CreateSemaphoreA(nullptr, 1, 3, "");
    ASSERT_NE(semaphore, nullptr);
    LONG previous = -1;
    ASSERT_TRUE(ReleaseSemaphore(semaphore, 2, &previous));
    EXPECT_EQ(previous, 1);

    SetLastError(0);
    EXPECT_FALSE(ReleaseSemaphore(semaphore, 1, &previous));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TOO_MANY_POSTS));
    EXPECT_FALSE(ReleaseSemaphore(semaphore, 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    // The refused releases changed nothing: exactly three waits succeed.
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(WaitForSingleObject(semaphore, 0), WAIT_OBJECT_0) << i;
    }
    EXPECT_EQ(WaitForSingleObject(semaphore, 0), WAIT_TIMEOUT);
    CloseHandle(semaphore);
}

TEST(Semaphore, RefusesBadCountsAndNames) {
    EXPECT_EQ(CreateSemaphoreA(nullptr, 2, 1, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(CreateSemaphoreA(nullptr, -1, 1, nullptr), nullptr);
    EXPECT_EQ(CreateSemaphoreA(nullptr, 0, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(CreateSemaphoreW(nullptr, 0, 1, L"Global\\lock"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
}

TEST(Semaphore, ClosedOrForeignHandlesFail) {
    const HANDLE semaphore = CreateSemaphoreA(nullptr, 1, 1, nullptr);
    ASSERT_TRUE(CloseHandle(semaphore));
    EXPECT_EQ(WaitForSingleObject(semaphore, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(ReleaseSemaphore(semaphore, 1, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(CloseHandle(semaphore));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(WaitForSingleObject(nullptr, 0), WAIT_FAILED);
    EXPECT_EQ(WaitForSingleObject(INVALID_HANDLE_VALUE, 0), WAIT_FAILED);

    // A new object never gets the value of a closed handle.
    const HANDLE next = CreateSemaphoreA(nullptr, 1, 1, nullptr);
    EXPECT_NE(next, semaphore);
    CloseHandle(next);
}

TEST(WaitForMultipleObjects, AnyGivesTheFirstSignalledAndAllTakesAllAtOnce) {
    HANDLE semaphores[2] = {CreateSemaphoreA(nullptr, 0, 1, nullptr),
                            CreateSemaphoreA(nullptr, 1, 1, nullptr)};
    EXPECT_EQ(WaitForMultipleObjects(2, semaphores, FALSE, 0), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(WaitForMultipleObjects(2, semaphores, FALSE, 0), WAIT_TIMEOUT);

    ReleaseSemaphore(semaphores[1], 1, nullptr);
    // Only one of two is signalled: wait-all takes neither.
    EXPECT_EQ(WaitForMultipleObjects(2, semaphores, TRUE, 0), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(semaphores[1], 0), WAIT_OBJECT_0);

    ReleaseSemaphore(semaphores[0], 1, nullptr);
    ReleaseSemaphore(semaphores[1], 1, nullptr);
    EXPECT_EQ(WaitForMultipleObjects(2, semaphores, TRUE, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForMultipleObjects(2, semaphores, FALSE, 0), WAIT_TIMEOUT);

    const HANDLE twice[2] = {semaphores[0], semaphores[0]};
    EXPECT_EQ(WaitForMultipleObjects(2, twice, TRUE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(WaitForMultipleObjects(0, semaphores, FALSE, 0), WAIT_FAILED);
    CloseHandle(semaphores[0]);
    CloseHandle(semaphores[1]);
}

TEST(WaitForMultipleObjects, WakesWhenAnotherThreadReleases) {
    HANDLE semaphores[2] = {CreateSemaphoreA(nullptr, 0, 1, nullptr),
                            CreateSemaphoreA(nullptr, 0, 1, nullptr)};
    DWORD result = WAIT_FAILED;
    std::thread waiter([&] { result = WaitForMultipleObjects(2, semaphores, FALSE, INFINITE); });
    ReleaseSemaphore(semaphores[1], 1, nullptr);
    waiter.join();
    EXPECT_EQ(result, WAIT_OBJECT_0 + 1);
    CloseHandle(semaphores[0]);
    CloseHandle(semaphores[1]);
}

}  // namespace

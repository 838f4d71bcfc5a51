#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "tevo/win/sync.h"

namespace {

// Whether another thread could enter the section right now (entering and leaving again).
bool OtherThreadCanEnter(CRITICAL_SECTION* section) {
    bool entered = false;
    std::thread other([&] {
        entered = TryEnterCriticalSection(section) != FALSE;
        if (entered) {
            LeaveCriticalSection(section);
        }
    });
    other.join();
    return entered;
}

TEST(CriticalSection, IsRecursiveAndHeldUntilTheLastLeave) {
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    EnterCriticalSection(&section);
    EnterCriticalSection(&section);
    EXPECT_TRUE(TryEnterCriticalSection(&section));
    EXPECT_EQ(section.RecursionCount, 3);
    EXPECT_EQ(section.OwningThread, GetCurrentThreadId());
    EXPECT_FALSE(OtherThreadCanEnter(&section));

    LeaveCriticalSection(&section);
    LeaveCriticalSection(&section);
    EXPECT_FALSE(OtherThreadCanEnter(&section));
    LeaveCriticalSection(&section);
    EXPECT_EQ(section.OwningThread, 0u);
    EXPECT_TRUE(OtherThreadCanEnter(&section));
    DeleteCriticalSection(&section);
}

TEST(CriticalSection, LeaveByAThreadThatDoesNotOwnItChangesNothing) {
    CRITICAL_SECTION section;
    ASSERT_TRUE(InitializeCriticalSectionAndSpinCount(&section, 4000));
    EnterCriticalSection(&section);
    std::thread stranger([&] { LeaveCriticalSection(&section); });
    stranger.join();
    EXPECT_EQ(section.RecursionCount, 1);
    EXPECT_FALSE(OtherThreadCanEnter(&section));
    LeaveCriticalSection(&section);
    LeaveCriticalSection(&section);  // one Leave too many: ignored
    EXPECT_TRUE(OtherThreadCanEnter(&section));
    DeleteCriticalSection(&section);
}

TEST(CriticalSection, ExcludesOtherThreads) {
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    long counter = 0;  // deliberately not atomic: the section protects it
    std::vector<std::thread> threads;
    threads.reserve(4);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                EnterCriticalSection(&section);
                EnterCriticalSection(&section);
                const long seen = counter;
                counter = seen + 1;
                LeaveCriticalSection(&section);
                LeaveCriticalSection(&section);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(counter, 80000);
    DeleteCriticalSection(&section);
}

}  // namespace

#include <unistd.h>

#include <gtest/gtest.h>

#include <limits>
#include <set>
#include <thread>
#include <vector>

#include "tevo/win/sync.h"

namespace {

TEST(ThreadIds, AreStableNonZeroAndDifferPerThread) {
    const DWORD mine = GetCurrentThreadId();
    EXPECT_NE(mine, 0u);
    EXPECT_EQ(GetCurrentThreadId(), mine);
    std::set<DWORD> ids{mine};
    std::vector<std::thread> threads;
    threads.reserve(4);
    std::vector<DWORD> seen(4);
    for (std::size_t i = 0; i < seen.size(); ++i) {
        threads.emplace_back([&seen, i] {
            seen[i] = GetCurrentThreadId();
            EXPECT_EQ(GetCurrentThreadId(), seen[i]);
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (const DWORD id : seen) {
        EXPECT_NE(id, 0u);
        ids.insert(id);
    }
    EXPECT_EQ(ids.size(), 5u);
    EXPECT_EQ(GetCurrentProcessId(), static_cast<DWORD>(getpid()));
}

TEST(Interlocked, GivesTheDocumentedResults) {
    volatile LONG value = 5;
    EXPECT_EQ(InterlockedIncrement(&value), 6);
    EXPECT_EQ(InterlockedDecrement(&value), 5);
    EXPECT_EQ(InterlockedExchange(&value, 42), 5);
    EXPECT_EQ(InterlockedExchangeAdd(&value, -2), 42);
    EXPECT_EQ(value, 40);
    EXPECT_EQ(InterlockedCompareExchange(&value, 7, 39), 40);  // no match: unchanged
    EXPECT_EQ(value, 40);
    EXPECT_EQ(InterlockedCompareExchange(&value, 7, 40), 40);
    EXPECT_EQ(value, 7);

    volatile LONG top = std::numeric_limits<LONG>::max();
    EXPECT_EQ(InterlockedIncrement(&top), std::numeric_limits<LONG>::min());  // wraps as on Windows

    int a = 0;
    int b = 0;
    PVOID volatile pointer = &a;
    EXPECT_EQ(InterlockedExchangePointer(&pointer, &b), &a);
    EXPECT_EQ(InterlockedCompareExchangePointer(&pointer, &a, &a), &b);
    EXPECT_EQ(pointer, &b);
    EXPECT_EQ(InterlockedCompareExchangePointer(&pointer, &a, &b), &b);
    EXPECT_EQ(pointer, &a);
}

TEST(Interlocked, CountsWithoutLosingUpdatesAcrossThreads) {
    volatile LONG counter = 0;
    std::vector<std::thread> threads;
    threads.reserve(4);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 25000; ++i) {
                InterlockedIncrement(&counter);
                InterlockedExchangeAdd(&counter, 2);
                InterlockedDecrement(&counter);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(counter, 200000);
}

}  // namespace

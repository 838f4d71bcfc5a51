#include "tevo/win/lasterror.h"

#include <gtest/gtest.h>

#include <thread>

TEST(LastError, IsKeptPerThread) {
    SetLastError(5);
    DWORD seen_by_other = 1;
    std::thread other([&] {
        seen_by_other = GetLastError();
        SetLastError(87);
    });
    other.join();
    EXPECT_EQ(seen_by_other, 0u);
    EXPECT_EQ(GetLastError(), 5u);
}

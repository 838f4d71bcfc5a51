#include <gtest/gtest.h>

#include <cstring>

#include "tevo/com/memory.h"

TEST(TaskMemory, ReallocKeepsContentAndZeroSizeFrees) {
    auto* block = static_cast<char*>(CoTaskMemAlloc(4));
    ASSERT_NE(block, nullptr);
    std::memcpy(block, "abc", 4);
    block = static_cast<char*>(CoTaskMemRealloc(block, 4096));
    ASSERT_NE(block, nullptr);
    EXPECT_STREQ(block, "abc");
    EXPECT_EQ(CoTaskMemRealloc(block, 0), nullptr);
    CoTaskMemFree(nullptr);  // freeing null is allowed
}

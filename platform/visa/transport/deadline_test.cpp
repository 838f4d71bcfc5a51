#include "transport/deadline.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>

namespace tevo::visa {
namespace {

using namespace std::chrono_literals;

TEST(Deadline, InfiniteNeverPassesAndWaitsWithoutLimit) {
    const Deadline never = Deadline::AfterMilliseconds(VI_TMO_INFINITE);
    EXPECT_TRUE(never.IsInfinite());
    EXPECT_FALSE(never.HasPassed());
    EXPECT_EQ(never.PollMilliseconds(), -1);
}

TEST(Deadline, ImmediateHasPassedAtOnce) {
    const Deadline now = Deadline::AfterMilliseconds(VI_TMO_IMMEDIATE);
    EXPECT_TRUE(now.HasPassed());
    EXPECT_EQ(now.PollMilliseconds(), 0);
}

TEST(Deadline, PollTimeIsRoundedUpSoThatNoWaitEndsEarly) {
    const Deadline soon = Deadline::At(Deadline::Clock::now() + 1500us);
    const int milliseconds = soon.PollMilliseconds();
    EXPECT_GE(milliseconds, 1);
    EXPECT_LE(milliseconds, 2);
    // About 46 days does not fit poll()'s int: the wait is cut there and taken again.
    const Deadline later = Deadline::AfterMilliseconds(4000000000u);
    EXPECT_EQ(later.PollMilliseconds(), INT_MAX);
}

TEST(Deadline, EarlierPicksTheFiniteOrTheSooner) {
    const Deadline never = Deadline::Never();
    const Deadline a = Deadline::AfterMilliseconds(100);
    const Deadline b = Deadline::AfterMilliseconds(5000);
    EXPECT_EQ(Deadline::Earlier(never, a).When(), a.When());
    EXPECT_EQ(Deadline::Earlier(b, never).When(), b.When());
    EXPECT_EQ(Deadline::Earlier(b, a).When(), a.When());
    EXPECT_TRUE(Deadline::Earlier(never, never).IsInfinite());
}

}  // namespace
}  // namespace tevo::visa

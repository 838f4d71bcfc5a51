#include "session/trace_state.h"

#include <gtest/gtest.h>

#include "testing/driver_test_support.h"

namespace tevo::driver {
namespace {

using testing::As;
using testing::ComPtr;
using testing::NewDriver;

HRESULT SetSwitch(ITevo* driver, bool on) {
    return As<ITraceSwitch>(driver)->put_Enabled(on ? VARIANT_TRUE : VARIANT_FALSE);
}

// Every interface method asks TracingMayBeOn first; while it is false the call takes no lock
// and asks no switch. It must be true whenever the installed object's switch is on.
TEST(TracingMayBeOn, FollowsTheTraceSwitchesNotJustTheInstalledService) {
    ComPtr<ITevo> driver = NewDriver();  // installs its tracing state, switch off
    EXPECT_FALSE(TracingMayBeOn());
    ASSERT_EQ(SetSwitch(driver.Get(), true), S_OK);
    EXPECT_TRUE(TracingMayBeOn());
    ASSERT_EQ(SetSwitch(driver.Get(), true), S_OK);  // on twice, off once: off
    ASSERT_EQ(SetSwitch(driver.Get(), false), S_OK);
    EXPECT_FALSE(TracingMayBeOn());
    ASSERT_EQ(SetSwitch(driver.Get(), false), S_OK);  // off twice does not count below zero
    ASSERT_EQ(SetSwitch(driver.Get(), true), S_OK);
    EXPECT_TRUE(TracingMayBeOn());
}

TEST(TracingMayBeOn, ASwitchLeftOnIsForgottenWithItsObject) {
    {
        ComPtr<ITevo> traced = NewDriver();
        ASSERT_EQ(SetSwitch(traced.Get(), true), S_OK);
        ASSERT_TRUE(TracingMayBeOn());
    }
    ComPtr<ITevo> driver = NewDriver();
    EXPECT_FALSE(TracingMayBeOn());
    ASSERT_EQ(SetSwitch(driver.Get(), true), S_OK);
    EXPECT_TRUE(TracingMayBeOn());
    ASSERT_EQ(SetSwitch(driver.Get(), false), S_OK);
}

}  // namespace
}  // namespace tevo::driver

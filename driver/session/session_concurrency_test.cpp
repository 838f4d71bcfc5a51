// The driver object's two locks across threads: calls made from inside a call while
// another thread takes the object lock, Initialize with Reset while another thread owns
// it, and calls that were on their way to the call lock while Close ran. The threads run
// under a watchdog that fails the test instead of letting a deadlock hang it.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>

#include "testing/driver_test_support.h"
#include "testing/thread_watchdog.h"

namespace tevo::driver {
namespace {

using namespace tevo::driver::testing;

CTevo& ObjectOf(ITevo* driver) {
    return *static_cast<CTevo*>(static_cast<TevoRootFacet*>(driver));
}

HRESULT InitializeSimulated(ITevo* driver, VARIANT_BOOL reset = VARIANT_FALSE) {
    return driver->Initialize(Bstr(L"GPIB0::1::INSTR").Get(), VARIANT_FALSE, reset,
                              Bstr(L"Simulate=true").Get());
}

// Reset, SelfTest, ErrorQuery and Disable: each reads Simulate through the object's own
// IIviDriverOperation, so its frame runs a nested frame. The first failure, or S_OK.
HRESULT CallEachNestingMethod(IIviDriverUtility* utility) {
    LONG number = 0;
    Bstr text;
    HRESULT hr = utility->Reset();
    if (SUCCEEDED(hr)) {
        hr = utility->SelfTest(&number, &text);
    }
    if (SUCCEEDED(hr)) {
        hr = utility->ErrorQuery(&number, &text);
    }
    if (SUCCEEDED(hr)) {
        hr = utility->Disable();
    }
    return hr;
}

// The error description the calling thread was left with.
std::wstring TakenDescription() {
    return TakeThreadError().description;
}

TEST(ObjectLockNesting, NestedCallsDoNotWaitForAnObjectLockTakenAfterTheOuterCallBegan) {
    // Thread A is inside a call (it holds the call lock) when thread B takes the object lock
    // and queues for the call lock, as a LockObject that passed its checks does. A's calls
    // from inside its call must go on: B cannot release the object lock before A leaves.
    auto driver = NewDriver();
    ASSERT_EQ(InitializeSimulated(driver.Get()), S_OK);
    auto utility = As<IIviDriverUtility>(driver.Get());
    FrameLocks* locks = &ObjectOf(driver.Get()).Locks();
    struct Shared {
        Signal inside;
        Signal go;
        std::atomic<HRESULT> nested{E_FAIL};
    };
    auto shared = std::make_shared<Shared>();
    WatchedThreads threads;
    threads.Start([shared, driver, utility, locks] {
        locks->call_lock.Enter();
        shared->inside.Raise();
        if (shared->go.Wait()) {
            shared->nested = CallEachNestingMethod(utility.Get());
        }
        locks->call_lock.Leave();
    });
    threads.Start([shared, driver, locks] {
        if (shared->inside.Wait()) {
            locks->object_lock.Acquire();
            locks->call_lock.Enter();
            locks->call_lock.Leave();
            locks->object_lock.Release();
        }
    });
    EXPECT_TRUE(Eventually([&] {
        return locks->object_lock.Count() == 1 && locks->call_lock.Waiters() == 1;
    })) << "B owns the object lock and waits for the call lock";
    shared->go.Raise();
    ASSERT_TRUE(threads.JoinWithin(kWatchdogLimit)) << "deadlock";
    EXPECT_EQ(shared->nested.load(), S_OK);
    EXPECT_EQ(driver->Close(), S_OK);
}

TEST(ObjectLockNesting, LockingLoopAgainstEachNestingMethodNeverDeadlocks) {
    auto driver = NewDriver();
    ASSERT_EQ(InitializeSimulated(driver.Get()), S_OK);
    auto utility = As<IIviDriverUtility>(driver.Get());
    struct Shared {
        std::atomic<int> failures{0};
        std::atomic<bool> nesting_done{false};
    };
    auto shared = std::make_shared<Shared>();
    constexpr int kRounds = 10000;
    WatchedThreads threads;
    threads.Start([shared, driver, utility] {
        for (int i = 0; i < kRounds; ++i) {
            if (FAILED(CallEachNestingMethod(utility.Get()))) {
                ++shared->failures;
            }
        }
        shared->nesting_done = true;
    });
    threads.Start([shared, driver, utility] {
        // Keeps locking until the other thread is through, at least kRounds times.
        for (int i = 0; i < kRounds || !shared->nesting_done.load(); ++i) {
            if (utility->LockObject() != S_OK || utility->UnlockObject() != S_OK) {
                ++shared->failures;
            }
        }
    });
    // The limit leaves room for slow (sanitizer) builds; without a deadlock the loops take
    // about a second.
    ASSERT_TRUE(threads.JoinWithin(std::chrono::seconds(120))) << "deadlock";
    EXPECT_EQ(shared->failures.load(), 0);
    EXPECT_EQ(driver->Close(), S_OK);
}

TEST(ObjectLockNesting, InitializeWithResetWhileAnotherThreadOwnsTheObjectLock) {
    auto driver = NewDriver();
    ASSERT_EQ(InitializeSimulated(driver.Get()), S_OK);
    auto utility = As<IIviDriverUtility>(driver.Get());
    ASSERT_EQ(utility->LockObject(), S_OK);
    ASSERT_EQ(driver->Close(), S_OK);
    // This thread still owns the object lock. Initialize itself never waits for it, and
    // neither must the Reset it calls.
    auto result = std::make_shared<std::atomic<HRESULT>>(E_FAIL);
    WatchedThreads threads;
    threads.Start([result, driver] { *result = InitializeSimulated(driver.Get(), VARIANT_TRUE); });
    ASSERT_TRUE(threads.JoinWithin(kWatchdogLimit)) << "deadlock";
    EXPECT_EQ(result->load(), S_OK);
    EXPECT_EQ(utility->UnlockObject(), S_OK);
    EXPECT_EQ(ObjectOf(driver.Get()).Locks().object_lock.Count(), 0);
    EXPECT_EQ(driver->Close(), S_OK);
}

// Over each transport.
class ObjectLockNestingWithInstrument : public ::testing::TestWithParam<EmulatorTransport> {};
INSTANTIATE_TEST_SUITE_P(, ObjectLockNestingWithInstrument,
                         ::testing::ValuesIn(kEmulatorTransports), TransportParamName());

TEST_P(ObjectLockNestingWithInstrument,
       FailedResetOfInitializeClosesWhileAnotherThreadOwnsTheObjectLock) {
    // The reset fails (the status check finds an error), and Initialize closes the session
    // again: both run inside Initialize's call.
    RunningEmulator emulator(GetParam());
    emulator->SetEventStatusBits(32);
    auto driver = NewDriver();
    ASSERT_EQ(InitializeSimulated(driver.Get()), S_OK);
    auto utility = As<IIviDriverUtility>(driver.Get());
    ASSERT_EQ(utility->LockObject(), S_OK);
    ASSERT_EQ(driver->Close(), S_OK);
    auto result = std::make_shared<std::atomic<HRESULT>>(E_FAIL);
    const Bstr resource = emulator.Resource();
    WatchedThreads threads;
    threads.Start([result, driver, resource = std::wstring(resource.View())] {
        *result = driver->Initialize(Bstr(resource.c_str()).Get(), VARIANT_FALSE, VARIANT_TRUE,
                                     Bstr(L"Simulate=false,QueryInstrStatus=true").Get());
    });
    ASSERT_TRUE(threads.JoinWithin(kWatchdogLimit)) << "deadlock";
    EXPECT_EQ(result->load(), E_IVI_RESET_FAILED);
    VARIANT_BOOL initialized = VARIANT_TRUE;
    EXPECT_EQ(driver->get_Initialized(&initialized), S_OK);
    EXPECT_EQ(initialized, VARIANT_FALSE);
    // UnlockObject needs a session; the owner gives the lock back directly.
    ObjectOf(driver.Get()).Locks().object_lock.Release();
}

// What a call on another thread returned, and the error it was left with (written by that
// thread before it ends).
struct Outcome {
    std::atomic<HRESULT> result{E_FAIL};
    std::wstring description;
};

// The race of Close with a call on another thread, made deterministic: this thread owns the
// object lock, so the other thread's call passes its initialized checks and then waits for
// the lock; this thread closes the session and lets the lock go.
class CallFrameCloseRace : public ::testing::Test {
  protected:
    void SetUp() override {
        driver_ = NewDriver();
        ASSERT_EQ(InitializeSimulated(driver_.Get()), S_OK);
        utility_ = As<IIviDriverUtility>(driver_.Get());
        ASSERT_EQ(utility_->LockObject(), S_OK);
    }

    // Starts `call` on another thread, closes the session once it waits for the object
    // lock, then releases the lock. False when the call did not end in time.
    template <class Call>
    bool RunAcrossClose(Call call) {
        ObjectLock& object_lock = ObjectOf(driver_.Get()).Locks().object_lock;
        WatchedThreads threads;
        threads.Start(call);
        EXPECT_TRUE(Eventually([&] { return object_lock.Waiters() == 1; }));
        EXPECT_EQ(driver_->Close(), S_OK);
        object_lock.Release();
        return threads.JoinWithin(kWatchdogLimit);
    }

    ComPtr<ITevo> driver_;
    ComPtr<IIviDriverUtility> utility_;
};

TEST_F(CallFrameCloseRace, CallThatWaitedDuringCloseFailsAsNotInitialized) {
    auto operation = As<IIviDriverOperation>(driver_.Get());
    auto outcome = std::make_shared<Outcome>();
    ASSERT_TRUE(RunAcrossClose([outcome, operation] {
        VARIANT_BOOL cache = VARIANT_FALSE;
        outcome->result = operation->get_Cache(&cache);
        outcome->description = TakenDescription();
    }));
    EXPECT_EQ(outcome->result.load(), E_IVI_NOT_INITIALIZED);
    EXPECT_EQ(outcome->description, kNotInitializedDescription);
}

TEST_F(CallFrameCloseRace, LockObjectThatWaitedDuringCloseFailsAndLeavesTheLockFree) {
    auto outcome = std::make_shared<Outcome>();
    auto utility = utility_;
    ASSERT_TRUE(RunAcrossClose([outcome, utility] {
        outcome->result = utility->LockObject();
        outcome->description = TakenDescription();
    }));
    EXPECT_EQ(outcome->result.load(), E_IVI_NOT_INITIALIZED);
    EXPECT_EQ(outcome->description, kNotInitializedDescription);
    // A failed LockObject leaves no lock behind: a new session is free for every thread.
    EXPECT_EQ(ObjectOf(driver_.Get()).Locks().object_lock.Count(), 0);
}

}  // namespace
}  // namespace tevo::driver

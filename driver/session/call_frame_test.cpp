// The call frame on the driver object: what runs before Initialize, the error object of a
// failing call, and the object lock across threads.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "testing/driver_test_support.h"

namespace tevo::driver {
namespace {

using namespace tevo::driver::testing;

TEST(CallFrame, SessionMethodsFailBeforeInitializeWhilePlainOnesWork) {
    auto driver = NewDriver();
    auto operation = As<IIviDriverOperation>(driver.Get());
    auto utility = As<IIviDriverUtility>(driver.Get());
    auto identity = As<IIviDriverIdentity>(driver.Get());
    auto wrapper = As<IIviClassWrapper>(driver.Get());

    VARIANT_BOOL flag = VARIANT_TRUE;
    Bstr text;
    LONG number = 0;
    const HRESULT session_results[] = {
        driver->Close(),
        operation->get_LogicalName(&text),
        operation->get_IoResourceDescriptor(&text),
        operation->get_Cache(&flag),
        operation->put_Cache(VARIANT_TRUE),
        operation->get_InterchangeCheck(&flag),
        operation->put_InterchangeCheck(VARIANT_TRUE),
        operation->get_QueryInstrumentStatus(&flag),
        operation->put_QueryInstrumentStatus(VARIANT_TRUE),
        operation->get_RangeCheck(&flag),
        operation->put_RangeCheck(VARIANT_TRUE),
        operation->get_RecordCoercions(&flag),
        operation->put_RecordCoercions(VARIANT_TRUE),
        operation->get_Simulate(&flag),
        operation->put_Simulate(VARIANT_TRUE),
        operation->get_DriverSetup(&text),
        operation->InvalidateAllAttributes(),
        operation->ClearInterchangeWarnings(),
        operation->GetNextInterchangeWarning(&text),
        operation->ResetInterchangeCheck(),
        operation->GetNextCoercionRecord(&text),
        utility->Reset(),
        utility->ResetWithDefaults(),
        utility->Disable(),
        utility->SelfTest(&number, &text),
        utility->ErrorQuery(&number, &text),
        utility->LockObject(),
        utility->UnlockObject(),
        identity->get_InstrumentManufacturer(&text),
        identity->get_InstrumentModel(&text),
        identity->get_InstrumentFirmwareRevision(&text),
        wrapper->AttachToExistingCSession(0),
        wrapper->get_NativeCHandle(&number),
    };
    for (const HRESULT hr : session_results) {
        EXPECT_EQ(hr, E_IVI_NOT_INITIALIZED);
    }
    const auto error = TakeThreadError();
    EXPECT_EQ(error.description, kNotInitializedDescription);
    EXPECT_EQ(error.guid, IID_IIviClassWrapper) << "the IID of the interface called";

    EXPECT_EQ(driver->get_Initialized(&flag), S_OK);
    EXPECT_EQ(flag, VARIANT_FALSE);
    EXPECT_EQ(identity->get_Description(&text), S_OK);
    EXPECT_EQ(text.ToWide(), L"IVI-COM Driver for Valdacor Spectrum Analyzer ");
    EXPECT_EQ(identity->get_SpecificationMajorVersion(&number), S_OK);
    EXPECT_EQ(number, 1);
    EXPECT_EQ(identity->get_SpecificationMinorVersion(&number), S_OK);
    EXPECT_EQ(number, 0);
    EXPECT_EQ(identity->get_Revision(&text), S_OK);
    EXPECT_EQ(identity->get_Vendor(&text), S_OK);
    EXPECT_EQ(text.ToWide(), L"Valdacor");
    EXPECT_EQ(identity->get_Identifier(&text), S_OK);
    EXPECT_EQ(text.ToWide(), L"Tevo");
    EXPECT_EQ(identity->get_SupportedInstrumentModels(&text), S_OK);
    EXPECT_EQ(text.ToWide(), L"KLA,KLBR,KLC,KLD,KLF");
    EXPECT_EQ(identity->get_GroupCapabilities(&text), S_OK);
    // The tree's getters need no session either (the sub-interfaces come with the tree).
    ComPtr<IIviSpecAn> class_compliant;
    EXPECT_NE(driver->get_IviSpecAn(&class_compliant), E_IVI_NOT_INITIALIZED);
    ComPtr<IIviDriverUtility> from_getter;
    EXPECT_EQ(driver->get_Utility(&from_getter), S_OK);
    EXPECT_EQ(from_getter.Get(), utility.Get());
}

TEST(CallFrame, SuccessfulCallsLeaveNoErrorObject) {
    auto driver = NewDriver();
    ReportError(ErrorSource{CLSID_Tevo, GUID_NULL}, kNullPointer, "stale");
    VARIANT_BOOL flag = VARIANT_TRUE;
    EXPECT_EQ(driver->get_Initialized(&flag), S_OK);
    EXPECT_FALSE(TakeThreadError().present);
}

TEST(CallFrame, NullOutputPointersNameMethodAndParameter) {
    auto driver = NewDriver();
    EXPECT_EQ(driver->Initialize(Bstr(L"GPIB0::20::INSTR").Get(), VARIANT_FALSE, VARIANT_FALSE,
                                 Bstr(L"Simulate=true").Get()),
              S_OK);
    auto operation = As<IIviDriverOperation>(driver.Get());
    EXPECT_EQ(operation->get_Cache(nullptr), E_IVI_NULL_POINTER);
    const auto error = TakeThreadError();
    EXPECT_EQ(error.description,
              L"Tevo: IDS_E_IVI_NULL_POINTER\r\n\nMethod: get_Cache, Param: pbCache");
    EXPECT_EQ(error.guid, IID_IIviDriverOperation);
    EXPECT_EQ(driver->get_Initialized(nullptr), E_IVI_NULL_POINTER);
    EXPECT_EQ(TakeThreadError().description,
              L"Tevo: IDS_E_IVI_NULL_POINTER\r\n\nMethod: get_Initialized, Param: pbInitialized");
    EXPECT_EQ(driver->Close(), S_OK);
}

// Runs `call` on another thread and reports whether it has finished.
class BackgroundCall {
  public:
    template <class Call>
    explicit BackgroundCall(Call call)
        : thread_([this, call] {
              result_ = call();
              std::lock_guard<std::mutex> lock(mutex_);
              done_ = true;
              changed_.notify_all();
          }) {}
    ~BackgroundCall() { thread_.join(); }
    // Waits up to `ms` for the call to end; false when it is still running.
    bool WaitDone(int ms) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return done_; });
    }
    HRESULT result() const { return result_; }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool done_ = false;
    std::atomic<HRESULT> result_{E_FAIL};
    std::thread thread_;
};

class ObjectLockTest : public ::testing::Test {
  protected:
    void SetUp() override {
        driver_ = NewDriver();
        ASSERT_EQ(driver_->Initialize(Bstr(L"GPIB0::1::INSTR").Get(), VARIANT_FALSE, VARIANT_FALSE,
                                      Bstr(L"Simulate=true").Get()),
                  S_OK);
        utility_ = As<IIviDriverUtility>(driver_.Get());
        operation_ = As<IIviDriverOperation>(driver_.Get());
    }
    void TearDown() override { driver_->Close(); }

    HRESULT ReadCacheFromAnotherCall() {
        VARIANT_BOOL cache = VARIANT_FALSE;
        return operation_->get_Cache(&cache);
    }

    ComPtr<ITevo> driver_;
    ComPtr<IIviDriverUtility> utility_;
    ComPtr<IIviDriverOperation> operation_;
};

TEST_F(ObjectLockTest, OtherThreadsWaitForTheOwnersLastUnlock) {
    ASSERT_EQ(utility_->LockObject(), S_OK);
    ASSERT_EQ(utility_->LockObject(), S_OK);
    // The owner itself never waits.
    EXPECT_EQ(ReadCacheFromAnotherCall(), S_OK);
    {
        BackgroundCall other([this] { return ReadCacheFromAnotherCall(); });
        EXPECT_FALSE(other.WaitDone(150)) << "blocked while the lock is held";
        ASSERT_EQ(utility_->UnlockObject(), S_OK);
        EXPECT_FALSE(other.WaitDone(150)) << "still blocked after the first of two unlocks";
        ASSERT_EQ(utility_->UnlockObject(), S_OK);
        EXPECT_TRUE(other.WaitDone(10000));
        EXPECT_EQ(other.result(), S_OK);
    }
    // Surplus unlocks change nothing and succeed.
    EXPECT_EQ(utility_->UnlockObject(), S_OK);
}

TEST_F(ObjectLockTest, SurplusUnlocksLeaveTheLockWorking) {
    // Surplus unlocks: without any lock, and after a balanced lock and unlock.
    EXPECT_EQ(utility_->UnlockObject(), S_OK);
    ASSERT_EQ(utility_->LockObject(), S_OK);
    ASSERT_EQ(utility_->UnlockObject(), S_OK);
    EXPECT_EQ(utility_->UnlockObject(), S_OK);
    EXPECT_EQ(utility_->UnlockObject(), S_OK);
    // A new lock still keeps another thread out, and one unlock lets it in.
    ASSERT_EQ(utility_->LockObject(), S_OK);
    {
        BackgroundCall other([this] { return ReadCacheFromAnotherCall(); });
        EXPECT_FALSE(other.WaitDone(150)) << "blocked while the lock is held";
        ASSERT_EQ(utility_->UnlockObject(), S_OK);
        EXPECT_TRUE(other.WaitDone(10000));
        EXPECT_EQ(other.result(), S_OK);
    }
    // And the other thread can now take it itself.
    BackgroundCall other_locks([this] {
        const HRESULT locked = utility_->LockObject();
        const HRESULT unlocked = utility_->UnlockObject();
        return FAILED(locked) ? locked : unlocked;
    });
    EXPECT_TRUE(other_locks.WaitDone(10000));
    EXPECT_EQ(other_locks.result(), S_OK);
}

TEST_F(ObjectLockTest, InitializeIsNeverBlockedByAnotherThreadsLock) {
    ASSERT_EQ(utility_->LockObject(), S_OK);
    BackgroundCall other([this] {
        return driver_->Initialize(Bstr(L"GPIB0::1::INSTR").Get(), VARIANT_FALSE, VARIANT_FALSE,
                                   nullptr);
    });
    ASSERT_TRUE(other.WaitDone(10000));
    EXPECT_EQ(other.result(), E_IVI_ALREADY_INITIALIZED);
    EXPECT_EQ(utility_->UnlockObject(), S_OK);
}

TEST_F(ObjectLockTest, UnlockFromAnotherThreadDoesNotRelease) {
    ASSERT_EQ(utility_->LockObject(), S_OK);
    {
        // The other thread's UnlockObject waits in its frame for the owner, like any call.
        BackgroundCall unlock([this] { return utility_->UnlockObject(); });
        EXPECT_FALSE(unlock.WaitDone(150));
        ASSERT_EQ(utility_->UnlockObject(), S_OK);
        ASSERT_TRUE(unlock.WaitDone(10000));
        EXPECT_EQ(unlock.result(), S_OK);
    }
    // Free again: another thread's call runs at once.
    BackgroundCall other([this] { return ReadCacheFromAnotherCall(); });
    EXPECT_TRUE(other.WaitDone(10000));
}

TEST_F(ObjectLockTest, ThreadsTakingTurnsNeverDeadlock) {
    // Two threads lock, call and unlock many times: a lock taken while the other thread is
    // inside a call must not hold the call lock while it waits.
    std::atomic<int> failures{0};
    auto worker = [&] {
        for (int i = 0; i < 200; ++i) {
            if (utility_->LockObject() != S_OK || ReadCacheFromAnotherCall() != S_OK ||
                utility_->UnlockObject() != S_OK) {
                ++failures;
            }
        }
    };
    std::thread first(worker);
    std::thread second(worker);
    first.join();
    second.join();
    EXPECT_EQ(failures.load(), 0);
}

}  // namespace
}  // namespace tevo::driver

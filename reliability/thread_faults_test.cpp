// Faults of sharing: threads contending for one driver object's lock, and two driver
// objects with sessions on one instrument. Threads run under a watchdog that fails the test
// instead of letting a deadlock hang it.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>

#include "driver_fault_session.h"
#include "fault_summary.h"
#include "measurement/main_driver_object.h"
#include "testing/thread_watchdog.h"

namespace tevo::reliability {
namespace {

using tevo::driver::E_IVI_CANNOT_RECOVER;
using tevo::driver::testing::As;
using tevo::driver::testing::Eventually;
using tevo::driver::testing::kWatchdogLimit;
using tevo::driver::testing::NewDriver;
using tevo::driver::testing::Signal;
using tevo::driver::testing::TakeThreadError;
using tevo::driver::testing::WatchedThreads;
using tevo::emulator::Fault;

tevo::driver::ObjectLock& ObjectLockOf(ITevo* driver) {
    auto* object =
        static_cast<tevo::driver::CTevo*>(static_cast<tevo::driver::TevoRootFacet*>(driver));
    return object->Locks().object_lock;
}

class ThreadFaults : public DriverFaultSession {};

TEST_F(ThreadFaults, LockObjectContentionKeepsTheOwnersCallsTogether) {
    Open(L"DriverTimeout=5000");
    constexpr int kRounds = 5;
    const Messages owner_messages = {"FORM REAL,32", "INIT:CONT OFF",    "INIT;*OPC?",
                                     "TRAC? TRACE1", "SENS1:FREQ:STAR?", "SYST:ERR?"};
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        struct Shared {
            Signal locked;
            std::atomic<int> failures{0};
            std::atomic<int> others_done{0};
            std::atomic<int> others_done_while_locked{-1};
        };
        auto shared = std::make_shared<Shared>();
        ComPtr<ITevo> driver = driver_;
        tevo::driver::ObjectLock* lock = &ObjectLockOf(driver.Get());
        WatchedThreads threads;
        // The owner locks twice (the lock is recursive) and makes calls that nest frames
        // (ReadY, ErrorQuery) while two other threads wait for the lock.
        threads.Start([shared, driver, lock] {
            auto utility = As<IIviDriverUtility>(driver.Get());
            auto frequency = As<ITevoFrequency>(driver.Get());
            ComPtr<ITevoTraces> traces;
            ComPtr<ITevoTrace> trace;
            bool ok = utility->LockObject() == S_OK && utility->LockObject() == S_OK &&
                      driver->get_Traces(&traces) == S_OK &&
                      traces->get_Item(Bstr(L"Trace1").Get(), &trace) == S_OK;
            shared->locked.Raise();
            ok = ok && Eventually([lock] { return lock->Waiters() == 2; });
            TraceArray values;
            double start = 0.0;
            LONG code = 0;
            Bstr message;
            ok = ok && trace->ReadY(0, values.Out()) == S_OK &&
                 frequency->get_Start(&start) == S_OK && start == kStartFrequency &&
                 utility->ErrorQuery(&code, &message) == S_OK && code == 0;
            shared->others_done_while_locked = shared->others_done.load();
            ok = utility->UnlockObject() == S_OK && ok;
            ok = utility->UnlockObject() == S_OK && ok;
            shared->failures += ok ? 0 : 1;
        });
        const auto waiter = [shared, driver](bool stop) {
            if (!shared->locked.Wait()) {
                ++shared->failures;
                return;
            }
            auto frequency = As<ITevoFrequency>(driver.Get());
            double value = 0.0;
            const HRESULT result =
                stop ? frequency->get_Stop(&value) : frequency->get_Start(&value);
            const double expected = stop ? kStopFrequency : kStartFrequency;
            shared->failures += result == S_OK && value == expected ? 0 : 1;
            ++shared->others_done;
        };
        threads.Start([waiter] { waiter(true); });
        threads.Start([waiter] { waiter(false); });
        ASSERT_TRUE(threads.JoinWithin(kWatchdogLimit)) << "deadlock";
        EXPECT_EQ(shared->failures.load(), 0);
        EXPECT_EQ(shared->others_done_while_locked.load(), 0)
            << "a call ran while another thread owned the lock";
        EXPECT_EQ(lock->Count(), 0);
        // The owner's messages went out together, before the waiters' ones.
        Messages received = Received(owner_messages.size() + 2);
        ASSERT_EQ(received.size(), owner_messages.size() + 2);
        EXPECT_EQ(Messages(received.begin(), received.begin() + 6), owner_messages);
        std::sort(received.begin() + 6, received.end());
        EXPECT_EQ(Messages(received.begin() + 6, received.end()),
                  (Messages{"SENS1:FREQ:STAR?", "SENS1:FREQ:STOP?"}));
    }
    ExpectSessionWorks();
    RecordOutcome(
        "nested calls of the lock's owner run together; waiters follow with their own "
        "answers; no deadlock");
}

TEST_F(ThreadFaults, TwoDriversOnOneEmulatorGetTheirOwnAnswers) {
    Open(L"DriverTimeout=5000");
    ComPtr<ITevo> second = NewDriver();
    ASSERT_EQ(second->Initialize(emulator_.Resource().Get(), VARIANT_FALSE, VARIANT_FALSE,
                                 Bstr(L"DriverTimeout=300").Get()),
              S_OK);
    auto first_frequency = Frequency();
    auto second_frequency = As<ITevoFrequency>(second.Get());
    // Calls taking turns.
    for (int i = 0; i < 10; ++i) {
        double start = 0.0;
        double stop = 0.0;
        EXPECT_EQ(first_frequency->get_Start(&start), S_OK);
        EXPECT_EQ(second_frequency->get_Stop(&stop), S_OK);
        EXPECT_EQ(start, kStartFrequency);
        EXPECT_EQ(stop, kStopFrequency);
    }
    // One session times out; the other goes on, and the first then recovers.
    emulator_->InjectFault(Fault::DelayReply("SENS1:FREQ:STAR?", std::chrono::milliseconds(900)));
    double value = 0.0;
    EXPECT_EQ(As<ITevoFrequency>(second.Get())->get_Start(&value), E_IVI_CANNOT_RECOVER);
    EXPECT_EQ(TakeThreadError().description, kTimeoutDescription);
    EXPECT_EQ(first_frequency->get_Stop(&value), S_OK);
    EXPECT_EQ(value, kStopFrequency);
    EXPECT_EQ(second_frequency->get_Stop(&value), S_OK);
    EXPECT_EQ(value, kStopFrequency);
    Received();
    // Calls at once from two threads, one session each.
    constexpr int kCalls = 200;
    auto failures = std::make_shared<std::atomic<int>>(0);
    WatchedThreads threads;
    threads.Start([failures, first_frequency] {
        for (int i = 0; i < kCalls; ++i) {
            double start = 0.0;
            *failures +=
                first_frequency->get_Start(&start) == S_OK && start == kStartFrequency ? 0 : 1;
        }
    });
    threads.Start([failures, second_frequency] {
        for (int i = 0; i < kCalls; ++i) {
            double stop = 0.0;
            *failures +=
                second_frequency->get_Stop(&stop) == S_OK && stop == kStopFrequency ? 0 : 1;
        }
    });
    ASSERT_TRUE(threads.JoinWithin(kWatchdogLimit)) << "deadlock";
    EXPECT_EQ(failures->load(), 0);
    const Messages received = Received(2 * kCalls);
    EXPECT_EQ(std::count(received.begin(), received.end(), "SENS1:FREQ:STAR?"), kCalls);
    EXPECT_EQ(std::count(received.begin(), received.end(), "SENS1:FREQ:STOP?"), kCalls);
    EXPECT_EQ(received.size(), 2u * kCalls);
    // A put through one session, once the instrument has run it, is what the other reads
    // (the sessions' connections are not ordered against each other).
    EXPECT_EQ(second_frequency->put_Stop(2.25e9), S_OK);
    EXPECT_EQ(Received(1), Messages{"SENS1:FREQ:STOP 2250000000.000000"});
    EXPECT_EQ(first_frequency->get_Stop(&value), S_OK);
    EXPECT_EQ(value, 2.25e9);
    EXPECT_EQ(Received(), Messages{"SENS1:FREQ:STOP?"});
    EXPECT_EQ(second->Close(), S_OK);
    ExpectSessionWorks();
    RecordOutcome(
        "interleaved and concurrent sessions each read their own value; a time-out "
        "of one leaves the other untouched");
}

}  // namespace
}  // namespace tevo::reliability

// The main object's interface table: the order QueryInterface searches, with error
// information first as the object's identity; and two client threads using properties of
// both views of one object at once.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <vector>

#include "measurement/tree_test_support.h"
#include "testing/thread_watchdog.h"

namespace tevo::driver {
namespace {

using namespace tevo::driver::testing;

TEST(InterfaceTable, SearchOrderRunsFromErrorInformationToTheInherentInterfaces) {
    const std::vector<const IID*> expected = {
        &IID_ISupportErrorInfo,
        &IID_IProvideClassInfo2,
        &IID_IProvideClassInfo,
        &IID_ITraceSwitch,
        &IID_IMessageProvider,
        &IID_IIviSpecAn,
        &IID_IIviSpecAnAcquisition,
        &IID_IIviSpecAnDisplay,
        &IID_IIviSpecAnExternalMixer,
        &IID_IIviSpecAnExternalMixerBias,
        &IID_IIviSpecAnExternalMixerConversionLossTable,
        &IID_IIviSpecAnFrequency,
        &IID_IIviSpecAnLevel,
        &IID_IIviSpecAnMarker,
        &IID_IIviSpecAnMarkerFrequencyCounter,
        &IID_IIviSpecAnPreselector,
        &IID_IIviSpecAnSweepCoupling,
        &IID_IIviSpecAnTraces,
        &IID_IIviSpecAnTracesMath,
        &IID_IIviSpecAnTrigger,
        &IID_IIviSpecAnTriggerExternal,
        &IID_IIviSpecAnTriggerVideo,
        &IID_ITevo,
        &IID_ITevoAcquisition,
        &IID_ITevoCalibration,
        &IID_ITevoDisplay,
        &IID_ITevoFrequency,
        &IID_ITevoInstrumentIO,
        &IID_ITevoLevel,
        &IID_ITevoList,
        &IID_ITevoMarker,
        &IID_ITevoMarkerFrequencyCounter,
        &IID_ITevoService,
        &IID_ITevoSweepCoupling,
        &IID_ITevoTraces,
        &IID_ITevoTracesMath,
        &IID_ITevoTrigger,
        &IID_ITevoTriggerExternal,
        &IID_ITevoTriggerIFPower,
        &IID_ITevoTriggerRFPower,
        &IID_ITevoTriggerVideo,
        &IID_IIviClassWrapper,
        &IID_IIviComponentIdentity,
        &IID_IIviDriverIdentity,
        &IID_IIviDriverOperation,
        &IID_IIviDriverUtility,
        &IID_IIviDriver,
    };
    const auto order = CTevo::InterfaceOrder();
    ASSERT_EQ(order.size(), expected.size());
    for (size_t index = 0; index < expected.size(); ++index) {
        EXPECT_EQ(*order[index], *expected[index]) << "entry " << index;
    }
}

TEST(InterfaceTable, IdentityIsTheErrorInformationInterface) {
    ComPtr<ITevo> driver = NewDriver();
    ComPtr<IUnknown> identity = As<IUnknown>(driver.Get());
    ComPtr<ISupportErrorInfo> support = As<ISupportErrorInfo>(driver.Get());
    EXPECT_EQ(static_cast<void*>(identity.Get()), static_cast<void*>(support.Get()));
    // Interfaces answered by one implementation share its pointer.
    EXPECT_EQ(static_cast<void*>(As<IIviDriver>(driver.Get()).Get()),
              static_cast<void*>(driver.Get()));
    EXPECT_EQ(static_cast<void*>(As<IIviComponentIdentity>(driver.Get()).Get()),
              static_cast<void*>(As<IIviDriverIdentity>(driver.Get()).Get()));
    EXPECT_EQ(static_cast<void*>(As<IProvideClassInfo>(driver.Get()).Get()),
              static_cast<void*>(As<IProvideClassInfo2>(driver.Get()).Get()));
}

TEST(InterfaceTable, TwoThreadsUsePropertiesOfBothViewsAtOnce) {
    auto driver = std::make_shared<ComPtr<ITevo>>(NewDriver());
    ASSERT_EQ((*driver)->Initialize(Bstr(L"x").Get(), VARIANT_FALSE, VARIANT_FALSE,
                                    Bstr(L"Simulate=true").Get()),
              S_OK);
    auto failures = std::make_shared<std::atomic<int>>(0);
    auto start = std::make_shared<Signal>();
    WatchedThreads threads;
    threads.Start([driver, failures, start] {
        ComPtr<ITevoFrequency> frequency = As<ITevoFrequency>(driver->Get());
        ComPtr<ITevoTraces> traces = As<ITevoTraces>(driver->Get());
        start->Wait();
        for (int round = 0; round < 200; ++round) {
            double value = 0.0;
            ComPtr<ITevoTrace> item;
            if (frequency->put_Start(1.0e6) != S_OK || frequency->get_Start(&value) != S_OK ||
                traces->get_Item(Bstr(L"Trace2").Get(), &item) != S_OK) {
                ++*failures;
            }
        }
    });
    threads.Start([driver, failures, start] {
        ComPtr<IIviSpecAnFrequency> frequency = As<IIviSpecAnFrequency>(driver->Get());
        ComPtr<IIviSpecAnMarker> marker = As<IIviSpecAnMarker>(driver->Get());
        start->Wait();
        for (int round = 0; round < 200; ++round) {
            double value = 0.0;
            Bstr active;
            if (frequency->get_Stop(&value) != S_OK ||
                marker->put_ActiveMarker(Bstr(L"2").Get()) != S_OK ||
                marker->get_ActiveMarker(&active) != S_OK) {
                ++*failures;
            }
        }
    });
    start->Raise();
    ASSERT_TRUE(threads.JoinWithin(kWatchdogLimit)) << "the calls did not finish";
    EXPECT_EQ(failures->load(), 0);
    EXPECT_EQ((*driver)->Close(), S_OK);
}

}  // namespace
}  // namespace tevo::driver

// The main driver object as one COM identity: every interface its coclass lists answers
// QueryInterface from every other, both views lead to the same object, the sub-object getters
// walk the tree before Initialize, and error information is offered for the tree's interfaces.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "measurement/tree_test_support.h"

namespace tevo::driver {
namespace {

using namespace tevo::driver::testing;

IUnknown* IdentityOf(IUnknown* object) {
    ComPtr<IUnknown> identity;
    EXPECT_EQ(object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    return identity.Get();  // the object stays alive through the caller's reference
}

TEST(ObjectTree, EveryInterfaceOfTheCoclassIsReachableFromEveryOther) {
    const std::vector<ListedInterface> listed = CoclassInterfaces(CLSID_Tevo);
    ASSERT_EQ(listed.size(), 44u) << "42 IVI and driver interfaces, two of the tracing runtime";
    ComPtr<ITevo> driver = NewDriver();
    IUnknown* identity = IdentityOf(driver.Get());
    for (const ListedInterface& from : listed) {
        SCOPED_TRACE(from.name);
        ComPtr<IUnknown> start;
        ASSERT_EQ(driver->QueryInterface(from.iid, reinterpret_cast<void**>(&start)), S_OK);
        EXPECT_EQ(IdentityOf(start.Get()), identity);
        for (const ListedInterface& to : listed) {
            ComPtr<IUnknown> reached;
            EXPECT_EQ(start->QueryInterface(to.iid, reinterpret_cast<void**>(&reached)), S_OK)
                << "to " << to.name;
            EXPECT_NE(reached.Get(), nullptr) << "to " << to.name;
        }
    }
}

TEST(ObjectTree, ItemInterfacesAndUnknownIdentifiersAreNotOnTheMainObject) {
    ComPtr<ITevo> driver = NewDriver();
    for (const IID* iid :
         {&IID_IIviSpecAnTrace, &IID_ITevoTrace, &IID_IClassFactory, &IID_IIviDriverSession}) {
        IUnknown* out = driver.Get();
        EXPECT_EQ(driver->QueryInterface(*iid, reinterpret_cast<void**>(&out)), E_NOINTERFACE);
        EXPECT_EQ(out, nullptr);
    }
}

TEST(ObjectTree, BothViewsAreTheSameObject) {
    ComPtr<ITevo> driver = NewDriver();
    ComPtr<IIviSpecAn> specan;
    ASSERT_EQ(driver->get_IviSpecAn(&specan), S_OK);
    ASSERT_NE(specan.Get(), nullptr);
    EXPECT_EQ(IdentityOf(specan.Get()), IdentityOf(driver.Get()));
    // IIviSpecAn carries IIviDriver's methods: they act on the one session.
    ASSERT_EQ(specan->Initialize(Bstr(L"x").Get(), VARIANT_FALSE, VARIANT_FALSE,
                                 Bstr(L"Simulate=true").Get()),
              S_OK);
    VARIANT_BOOL initialized = VARIANT_FALSE;
    ASSERT_EQ(driver->get_Initialized(&initialized), S_OK);
    EXPECT_EQ(initialized, VARIANT_TRUE);
    EXPECT_EQ(driver->Close(), S_OK);
    ASSERT_EQ(specan->get_Initialized(&initialized), S_OK);
    EXPECT_EQ(initialized, VARIANT_FALSE);
}

// One sub-object getter: its name, and a call that returns the interface through `out`.
struct Getter {
    const char* name;
    std::function<HRESULT(ITevo*, IUnknown** out)> call;
};

template <class Parent, class Child>
Getter Walk(const char* name, HRESULT (STDMETHODCALLTYPE Parent::*getter)(Child**)) {
    return Getter{name, [getter](ITevo* driver, IUnknown** out) {
                      ComPtr<Parent> parent = As<Parent>(driver);
                      if (!parent) {
                          return E_NOINTERFACE;
                      }
                      Child* child = nullptr;
                      const HRESULT hr = (parent.Get()->*getter)(&child);
                      *out = child;
                      return hr;
                  }};
}

std::vector<Getter> AllGetters() {
    return {
        Walk("IIviSpecAn.Acquisition", &IIviSpecAn::get_Acquisition),
        Walk("IIviSpecAn.Display", &IIviSpecAn::get_Display),
        Walk("IIviSpecAn.ExternalMixer", &IIviSpecAn::get_ExternalMixer),
        Walk("IIviSpecAn.Frequency", &IIviSpecAn::get_Frequency),
        Walk("IIviSpecAn.Level", &IIviSpecAn::get_Level),
        Walk("IIviSpecAn.Marker", &IIviSpecAn::get_Marker),
        Walk("IIviSpecAn.Preselector", &IIviSpecAn::get_Preselector),
        Walk("IIviSpecAn.SweepCoupling", &IIviSpecAn::get_SweepCoupling),
        Walk("IIviSpecAn.Traces", &IIviSpecAn::get_Traces),
        Walk("IIviSpecAn.Trigger", &IIviSpecAn::get_Trigger),
        Walk("IIviSpecAnExternalMixer.Bias", &IIviSpecAnExternalMixer::get_Bias),
        Walk("IIviSpecAnExternalMixer.ConversionLossTable",
             &IIviSpecAnExternalMixer::get_ConversionLossTable),
        Walk("IIviSpecAnMarker.FrequencyCounter", &IIviSpecAnMarker::get_FrequencyCounter),
        Walk("IIviSpecAnTraces.Math", &IIviSpecAnTraces::get_Math),
        Walk("IIviSpecAnTrigger.External", &IIviSpecAnTrigger::get_External),
        Walk("IIviSpecAnTrigger.Video", &IIviSpecAnTrigger::get_Video),
        Walk("ITevo.Acquisition", &ITevo::get_Acquisition),
        Walk("ITevo.Display", &ITevo::get_Display),
        Walk("ITevo.Frequency", &ITevo::get_Frequency),
        Walk("ITevo.InstrumentIO", &ITevo::get_InstrumentIO),
        Walk("ITevo.IviSpecAn", &ITevo::get_IviSpecAn),
        Walk("ITevo.Level", &ITevo::get_Level),
        Walk("ITevo.List", &ITevo::get_List),
        Walk("ITevo.Marker", &ITevo::get_Marker),
        Walk("ITevo.Service", &ITevo::get_Service),
        Walk("ITevo.SweepCoupling", &ITevo::get_SweepCoupling),
        Walk("ITevo.Traces", &ITevo::get_Traces),
        Walk("ITevo.Trigger", &ITevo::get_Trigger),
        Walk("ITevoMarker.FrequencyCounter", &ITevoMarker::get_FrequencyCounter),
        Walk("ITevoService.Calibration", &ITevoService::get_Calibration),
        Walk("ITevoTraces.Math", &ITevoTraces::get_Math),
        Walk("ITevoTrigger.External", &ITevoTrigger::get_External),
        Walk("ITevoTrigger.TriggerIFPower", &ITevoTrigger::get_TriggerIFPower),
        Walk("ITevoTrigger.TriggerRFPower", &ITevoTrigger::get_TriggerRFPower),
        Walk("ITevoTrigger.Video", &ITevoTrigger::get_Video),
    };
}

TEST(ObjectTree, SubObjectGettersWalkTheTreeBeforeInitialize) {
    ComPtr<ITevo> driver = NewDriver();
    IUnknown* identity = IdentityOf(driver.Get());
    for (const Getter& getter : AllGetters()) {
        SCOPED_TRACE(getter.name);
        IUnknown* child = nullptr;
        ASSERT_EQ(getter.call(driver.Get(), &child), S_OK);
        ASSERT_NE(child, nullptr);
        EXPECT_EQ(IdentityOf(child), identity) << "the getter returns the object itself";
        child->Release();
        EXPECT_FALSE(TakeThreadError().present);
    }
    // The collections themselves need a session.
    LONG count = -1;
    EXPECT_EQ(As<ITevoTraces>(driver.Get())->get_Count(&count), E_IVI_NOT_INITIALIZED);
    EXPECT_EQ(TakeThreadError().description, kNotInitializedDescription);
    EXPECT_EQ(As<IIviSpecAnTraces>(driver.Get())->get_Count(&count), E_IVI_NOT_INITIALIZED);
    EXPECT_EQ(count, -1);
}

TEST(ObjectTree, GettersGiveOneReferenceEach) {
    ComPtr<ITevo> driver = NewDriver();
    ITevoFrequency* frequency = nullptr;
    ASSERT_EQ(driver->get_Frequency(&frequency), S_OK);
    driver->AddRef();
    EXPECT_EQ(driver->Release(), 2u) << "the client's reference and the getter's";
    frequency->Release();
    driver->AddRef();
    EXPECT_EQ(driver->Release(), 1u);
}

TEST(ObjectTree, GetterWithoutOutPointerReportsItsName) {
    ComPtr<ITevo> driver = NewDriver();
    EXPECT_EQ(driver->get_Display(nullptr), E_IVI_NULL_POINTER);
    EXPECT_NE(TakeThreadError().description.find(L"Method: get_Display, Param: pVal"),
              std::wstring::npos);
    ComPtr<IIviSpecAnTrigger> trigger = As<IIviSpecAnTrigger>(driver.Get());
    EXPECT_EQ(trigger->get_Video(nullptr), E_IVI_NULL_POINTER);
    EXPECT_NE(TakeThreadError().description.find(L"Method: get_Video, Param: pVal"),
              std::wstring::npos);
}

TEST(ObjectTree, ErrorInformationIsOfferedForTheTreesInterfacesOnly) {
    ComPtr<ITevo> driver = NewDriver();
    ComPtr<ISupportErrorInfo> support = As<ISupportErrorInfo>(driver.Get());
    size_t supported = 0;
    for (const ListedInterface& listed : CoclassInterfaces(CLSID_Tevo)) {
        const bool tracing = listed.iid == IID_ITraceSwitch || listed.iid == IID_IMessageProvider;
        EXPECT_EQ(support->InterfaceSupportsErrorInfo(listed.iid), tracing ? S_FALSE : S_OK)
            << listed.name;
        supported += tracing ? 0 : 1;
    }
    EXPECT_EQ(supported, 42u);
    for (const IID* iid : {&IID_ISupportErrorInfo, &IID_IProvideClassInfo2, &IID_IUnknown,
                           &IID_ITevoTrace, &IID_IIviSpecAnTrace}) {
        EXPECT_EQ(support->InterfaceSupportsErrorInfo(*iid), S_FALSE);
    }
}

TEST(ObjectTree, PropertiesAndOperationsOfBothViewsNeedASession) {
    // A property of each view and an operation are refused before Initialize with the
    // not-initialized error, the operation included (it has its frame already).
    ComPtr<ITevo> driver = NewDriver();
    double start = -1.0;
    EXPECT_EQ(As<ITevoFrequency>(driver.Get())->get_Start(&start), E_IVI_NOT_INITIALIZED);
    EXPECT_EQ(As<IIviSpecAnFrequency>(driver.Get())->get_Start(&start), E_IVI_NOT_INITIALIZED);
    EXPECT_EQ(As<IIviSpecAnFrequency>(driver.Get())->ConfigureStartStop(1.0, 2.0),
              E_IVI_NOT_INITIALIZED);
    EXPECT_EQ(As<ITevoDisplay>(driver.Get())->put_ActiveScreen(TevoActiveScreenB),
              E_IVI_NOT_INITIALIZED)
        << "the screen select frame does not check, its inner implementation does";
    EXPECT_EQ(start, -1.0);
}

}  // namespace
}  // namespace tevo::driver

// A client loads the built driver module, creates the driver through DllGetClassObject
// and runs a simulated session; the module can be unloaded once its objects are gone.
#include <gtest/gtest.h>

#include "testing/driver_test_support.h"

namespace tevo::driver {
namespace {

using namespace tevo::driver::testing;

using GetClassObjectFunction = HRESULT (*)(REFCLSID, REFIID, LPVOID*);
using CanUnloadNowFunction = HRESULT (*)();

class DriverModule : public ::testing::Test {
  protected:
    void SetUp() override {
        module_ = LoadLibraryA(TEVO_DRIVER_MODULE);
        ASSERT_NE(module_, nullptr) << TEVO_DRIVER_MODULE;
        get_class_object_ =
            reinterpret_cast<GetClassObjectFunction>(GetProcAddress(module_, "DllGetClassObject"));
        can_unload_now_ =
            reinterpret_cast<CanUnloadNowFunction>(GetProcAddress(module_, "DllCanUnloadNow"));
        ASSERT_NE(get_class_object_, nullptr);
        ASSERT_NE(can_unload_now_, nullptr);
    }
    void TearDown() override {
        if (module_ != nullptr) {
            FreeLibrary(module_);
        }
    }

    HMODULE module_ = nullptr;
    GetClassObjectFunction get_class_object_ = nullptr;
    CanUnloadNowFunction can_unload_now_ = nullptr;
};

TEST_F(DriverModule, ClientRunsASimulatedSession) {
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(get_class_object_(CLSID_Tevo, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
              S_OK);
    ComPtr<IIviDriver> driver;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IIviDriver, reinterpret_cast<void**>(&driver)),
              S_OK);
    EXPECT_EQ(can_unload_now_(), S_FALSE) << "an object is alive";

    ASSERT_EQ(driver->Initialize(Bstr(L"TCPIP::192.0.2.1::5025::SOCKET").Get(), VARIANT_TRUE,
                                 VARIANT_TRUE, Bstr(L"Simulate=true").Get()),
              S_OK);
    ComPtr<IIviDriverIdentity> identity;
    ASSERT_EQ(driver->get_Identity(&identity), S_OK);
    Bstr text;
    ASSERT_EQ(identity->get_InstrumentModel(&text), S_OK);
    EXPECT_EQ(text.ToWide(), L"KLx Simulated Driver");
    ASSERT_EQ(identity->get_GroupCapabilities(&text), S_OK);
    EXPECT_EQ(text.ToWide().rfind(L"IviSpecAnBase,IviSpecAnMultitrace,", 0), 0u);
    ComPtr<IIviDriverUtility> utility;
    ASSERT_EQ(driver->get_Utility(&utility), S_OK);
    LONG result = -1;
    ASSERT_EQ(utility->SelfTest(&result, &text), S_OK);
    EXPECT_EQ(text.ToWide(), L"Selftest passed");
    // Errors raised inside the module carry the module's own message texts.
    ComPtr<IIviDriverOperation> operation;
    ASSERT_EQ(driver->get_DriverOperation(&operation), S_OK);
    EXPECT_EQ(operation->put_Simulate(VARIANT_FALSE), E_IVI_CANNOT_CHANGE_SIMULATION_STATE);
    EXPECT_EQ(TakeThreadError().description,
              L"Tevo: IDS_E_IVI_CANNOT_CHANGE_SIMULATION_STATE\r\n\nThe simulation state "
              L"cannot be changed.");
    ASSERT_EQ(driver->Close(), S_OK);

    identity = nullptr;
    utility = nullptr;
    operation = nullptr;
    driver = nullptr;
    EXPECT_EQ(can_unload_now_(), S_OK);
    // LockServer keeps the module loaded without any object.
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(can_unload_now_(), S_FALSE);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(can_unload_now_(), S_OK);
}

TEST_F(DriverModule, SurplusLockServerUnlockCannotReleaseLiveObjects) {
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(get_class_object_(CLSID_Tevo, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
              S_OK);
    ComPtr<IIviDriver> driver;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IIviDriver, reinterpret_cast<void**>(&driver)),
              S_OK);
    // An unlock without a lock is ignored: the object still keeps the module loaded.
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(can_unload_now_(), S_FALSE);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(can_unload_now_(), S_FALSE);
    driver = nullptr;
    EXPECT_EQ(can_unload_now_(), S_OK);
    // The surplus unlocks were not kept as a debt either: a new lock counts in full.
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(can_unload_now_(), S_FALSE);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(can_unload_now_(), S_OK);
}

TEST_F(DriverModule, FactoryRefusesAggregationAndOtherClasses) {
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(get_class_object_(CLSID_Tevo, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
              S_OK);
    ComPtr<IUnknown> object;
    IUnknown* outer = factory.Get();
    EXPECT_EQ(factory->CreateInstance(outer, IID_IUnknown, reinterpret_cast<void**>(&object)),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object.Get(), nullptr);
    EXPECT_EQ(
        get_class_object_(CLSID_TevoTrace, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
        CLASS_E_CLASSNOTAVAILABLE);
}

TEST_F(DriverModule, ItemClassesAreRegisteredButHaveNoClassObject) {
    for (const CLSID* item_class : {&CLSID_TevoSpecAnTrace, &CLSID_TevoTrace}) {
        void* object = &object;
        EXPECT_EQ(get_class_object_(*item_class, IID_IClassFactory, &object),
                  CLASS_E_CLASSNOTAVAILABLE);
        EXPECT_EQ(object, nullptr) << "the out-pointer is cleared";
    }
    EXPECT_EQ(get_class_object_(CLSID_Tevo, IID_IClassFactory, nullptr), E_POINTER);
    // The factory is made once and handed out again.
    ComPtr<IClassFactory> first;
    ComPtr<IClassFactory> second;
    ASSERT_EQ(get_class_object_(CLSID_Tevo, IID_IClassFactory, reinterpret_cast<void**>(&first)),
              S_OK);
    ASSERT_EQ(get_class_object_(CLSID_Tevo, IID_IUnknown, reinterpret_cast<void**>(&second)), S_OK);
    EXPECT_EQ(static_cast<IUnknown*>(first.Get()), static_cast<IUnknown*>(second.Get()));
    // Aggregation is refused whatever interface is asked for.
    ComPtr<IUnknown> object;
    for (const IID* asked : {&IID_IUnknown, &IID_IIviDriver}) {
        EXPECT_EQ(first->CreateInstance(first.Get(), *asked, reinterpret_cast<void**>(&object)),
                  CLASS_E_NOAGGREGATION);
        EXPECT_EQ(object.Get(), nullptr);
    }
    EXPECT_EQ(can_unload_now_(), S_OK) << "a refused creation leaves no count behind";
}

TEST_F(DriverModule, ATraceItemKeepsTheModuleLoadedAfterItsDriverIsGone) {
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(get_class_object_(CLSID_Tevo, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
              S_OK);
    ComPtr<IIviDriver> driver;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IIviDriver, reinterpret_cast<void**>(&driver)),
              S_OK);
    ASSERT_EQ(driver->Initialize(Bstr(L"TCPIP::192.0.2.1::5025::SOCKET").Get(), VARIANT_TRUE,
                                 VARIANT_TRUE, Bstr(L"Simulate=true").Get()),
              S_OK);
    ComPtr<ITevoTraces> traces = As<ITevoTraces>(driver.Get());
    ASSERT_NE(traces.Get(), nullptr);
    ComPtr<ITevoTrace> trace;
    ASSERT_EQ(traces->get_Item(Bstr(L"Trace1").Get(), &trace), S_OK);
    traces = nullptr;
    ASSERT_EQ(driver->Close(), S_OK);
    driver = nullptr;
    EXPECT_EQ(can_unload_now_(), S_FALSE) << "the trace item is alive";
    trace = nullptr;
    EXPECT_EQ(can_unload_now_(), S_OK);
}

}  // namespace
}  // namespace tevo::driver

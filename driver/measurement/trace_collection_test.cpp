// The two trace collections and their items: Count, Item and Name with the configuration
// store's virtual names, the items' own identity, their life across Close and a new
// Initialize, and the module staying loaded while an item lives.
#include <gtest/gtest.h>

#include <string>

#include "measurement/tree_test_support.h"
#include "tevo/testing/temp_dir.h"

namespace tevo::driver {
namespace {

using namespace tevo::driver::testing;

ComPtr<ITevoTrace> TevoItem(ITevo* driver, const wchar_t* name) {
    ComPtr<ITevoTrace> item;
    EXPECT_EQ(As<ITevoTraces>(driver)->get_Item(Bstr(name).Get(), &item), S_OK) << name;
    return item;
}

ComPtr<IIviSpecAnTrace> SpecAnItem(ITevo* driver, const wchar_t* name) {
    ComPtr<IIviSpecAnTrace> item;
    EXPECT_EQ(As<IIviSpecAnTraces>(driver)->get_Item(Bstr(name).Get(), &item), S_OK) << name;
    return item;
}

template <class Traces>
std::wstring NameAt(ITevo* driver, LONG index) {
    Bstr name;
    EXPECT_EQ(As<Traces>(driver)->get_Name(index, &name), S_OK) << index;
    return name.ToWide();
}

IUnknown* IdentityOf(IUnknown* object) {
    ComPtr<IUnknown> identity;
    EXPECT_EQ(object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    return identity.Get();
}

ComPtr<ITevo> SimulatedDriver(const wchar_t* resource = L"TCPIP::192.0.2.1::5025::SOCKET") {
    ComPtr<ITevo> driver = NewDriver();
    EXPECT_EQ(driver->Initialize(Bstr(resource).Get(), VARIANT_FALSE, VARIANT_FALSE,
                                 Bstr(L"Simulate=true").Get()),
              S_OK);
    return driver;
}

TEST(TraceCollections, CountAndNamesInListOrder) {
    ComPtr<ITevo> driver = SimulatedDriver();
    LONG count = 0;
    ASSERT_EQ(As<ITevoTraces>(driver.Get())->get_Count(&count), S_OK);
    EXPECT_EQ(count, 6);
    ASSERT_EQ(As<IIviSpecAnTraces>(driver.Get())->get_Count(&count), S_OK);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(NameAt<ITevoTraces>(driver.Get(), 0), L"Trace1");
    EXPECT_EQ(NameAt<ITevoTraces>(driver.Get(), 5), L"Trace6");
    EXPECT_EQ(NameAt<IIviSpecAnTraces>(driver.Get(), 0), L"SpecAnTrace1");
    EXPECT_EQ(NameAt<IIviSpecAnTraces>(driver.Get(), 2), L"SpecAnTrace3");
    EXPECT_EQ(driver->Close(), S_OK);
}

TEST(TraceCollections, NameOutsideTheListIsAnInvalidValue) {
    ComPtr<ITevo> driver = SimulatedDriver();
    auto traces = As<ITevoTraces>(driver.Get());
    Bstr name;
    EXPECT_EQ(traces->get_Name(6, &name), E_IVI_INVALID_VALUE);
    EXPECT_NE(TakeThreadError().description.find(L"Value: 6, Method: get_Name, Param:Index"),
              std::wstring::npos);
    EXPECT_EQ(traces->get_Name(-1, &name), E_IVI_INVALID_VALUE);
    EXPECT_NE(TakeThreadError().description.find(L"Value: -1, Method: get_Name, Param:Index"),
              std::wstring::npos);
    EXPECT_EQ(As<IIviSpecAnTraces>(driver.Get())->get_Name(3, &name), E_IVI_INVALID_VALUE);
    EXPECT_TRUE(name.Empty());
    EXPECT_EQ(traces->get_Name(0, nullptr), E_IVI_NULL_POINTER);
    EXPECT_EQ(traces->get_Count(nullptr), E_IVI_NULL_POINTER);
    EXPECT_EQ(driver->Close(), S_OK);
}

TEST(TraceCollections, ItemMatchesNamesExactly) {
    ComPtr<ITevo> driver = SimulatedDriver();
    auto traces = As<ITevoTraces>(driver.Get());
    for (const wchar_t* wrong : {L"Trace7", L"trace1", L"Trace1 ", L"", L"SpecAnTrace1"}) {
        ITevoTrace* item = reinterpret_cast<ITevoTrace*>(traces.Get());
        EXPECT_EQ(traces->get_Item(Bstr(wrong).Get(), &item), E_IVI_INVALID_VALUE) << wrong;
        EXPECT_EQ(item, nullptr);
        const std::wstring detail =
            std::wstring(L"Value: ") + wrong + L", Method: get_Item, Param:Name";
        EXPECT_NE(TakeThreadError().description.find(detail), std::wstring::npos) << wrong;
    }
    IIviSpecAnTrace* specan_item = nullptr;
    EXPECT_EQ(
        As<IIviSpecAnTraces>(driver.Get())->get_Item(Bstr(L"SpecAnTrace4").Get(), &specan_item),
        E_IVI_INVALID_VALUE);
    EXPECT_EQ(As<IIviSpecAnTraces>(driver.Get())->get_Item(Bstr(L"Trace1").Get(), &specan_item),
              E_IVI_INVALID_VALUE);
    EXPECT_EQ(traces->get_Item(Bstr(L"Trace1").Get(), nullptr), E_IVI_NULL_POINTER);
    EXPECT_EQ(driver->Close(), S_OK);
}

TEST(TraceCollections, ItemsAreObjectsOfTheirOwn) {
    ComPtr<ITevo> driver = SimulatedDriver();
    ComPtr<IIviSpecAnTrace> specan_item = SpecAnItem(driver.Get(), L"SpecAnTrace1");
    ComPtr<ITevoTrace> tevo_item = TevoItem(driver.Get(), L"Trace1");
    ASSERT_TRUE(specan_item);
    ASSERT_TRUE(tevo_item);
    IUnknown* driver_identity = IdentityOf(driver.Get());
    EXPECT_NE(IdentityOf(specan_item.Get()), IdentityOf(tevo_item.Get()));
    EXPECT_NE(IdentityOf(specan_item.Get()), driver_identity);
    EXPECT_NE(IdentityOf(tevo_item.Get()), driver_identity);
    // The listed item is handed out each time.
    EXPECT_EQ(TevoItem(driver.Get(), L"Trace1").Get(), tevo_item.Get());
    EXPECT_NE(TevoItem(driver.Get(), L"Trace2").Get(), tevo_item.Get());

    // An item answers for its identity, its error information and its item interface only.
    auto support = As<ISupportErrorInfo>(tevo_item.Get());
    EXPECT_EQ(IdentityOf(support.Get()), IdentityOf(tevo_item.Get()));
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_ITevoTrace), S_OK);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IIviSpecAnTrace), S_FALSE);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_ITevo), S_FALSE);
    EXPECT_EQ(
        As<ISupportErrorInfo>(specan_item.Get())->InterfaceSupportsErrorInfo(IID_IIviSpecAnTrace),
        S_OK);
    for (const IID* iid : {&IID_IIviSpecAnTrace, &IID_ITevo, &IID_IIviDriver,
                           &IID_IProvideClassInfo2, &IID_ITevoTraces}) {
        IUnknown* out = tevo_item.Get();
        EXPECT_EQ(tevo_item->QueryInterface(*iid, reinterpret_cast<void**>(&out)), E_NOINTERFACE);
        EXPECT_EQ(out, nullptr);
    }
    EXPECT_EQ(driver->Close(), S_OK);
}

TEST(TraceCollections, ItemErrorsCarryTheItemsClass) {
    ComPtr<ITevo> driver = SimulatedDriver();
    ComPtr<ITevoTrace> item = TevoItem(driver.Get(), L"Trace3");
    ASSERT_EQ(driver->Close(), S_OK);
    LONG size = -1;
    EXPECT_EQ(item->get_Size(&size), E_IVI_NOT_INITIALIZED);
    const ThreadError error = TakeThreadError();
    EXPECT_EQ(error.description, kNotInitializedDescription);
    EXPECT_EQ(error.guid, IID_ITevoTrace);
    EXPECT_EQ(size, -1);
}

TEST(TraceCollections, AfterCloseAndInitializeItemHandsOutNewItems) {
    ComPtr<ITevo> driver = SimulatedDriver();
    ComPtr<ITevoTrace> old_item = TevoItem(driver.Get(), L"Trace2");
    ComPtr<IIviSpecAnTrace> old_specan_item = SpecAnItem(driver.Get(), L"SpecAnTrace2");
    ASSERT_EQ(driver->Close(), S_OK);
    LONG count = 0;
    EXPECT_EQ(As<ITevoTraces>(driver.Get())->get_Count(&count), E_IVI_NOT_INITIALIZED);
    ASSERT_EQ(driver->Initialize(Bstr(L"x").Get(), VARIANT_FALSE, VARIANT_FALSE,
                                 Bstr(L"Simulate=true").Get()),
              S_OK);
    ASSERT_EQ(As<ITevoTraces>(driver.Get())->get_Count(&count), S_OK);
    EXPECT_EQ(count, 6);
    ASSERT_EQ(As<IIviSpecAnTraces>(driver.Get())->get_Count(&count), S_OK);
    EXPECT_EQ(count, 3);
    // The old items are still held here, so new objects cannot reuse their addresses.
    EXPECT_NE(TevoItem(driver.Get(), L"Trace2").Get(), old_item.Get());
    EXPECT_NE(SpecAnItem(driver.Get(), L"SpecAnTrace2").Get(), old_specan_item.Get());
    EXPECT_EQ(driver->Close(), S_OK);
}

// A held item of an earlier session works on the instrument trace of its own index in the
// new session (it never keeps the trace record that Close deleted).
class StaleTraceItem : public TreeSession {};

TEST_F(StaleTraceItem, WorksOnItsOwnTraceInTheNextSession) {
    Open();
    ComPtr<ITevoTrace> old_item = TevoItem(driver_.Get(), L"Trace5");
    ComPtr<IIviSpecAnTrace> old_specan_item = SpecAnItem(driver_.Get(), L"SpecAnTrace3");
    ASSERT_EQ(driver_->Close(), S_OK);
    TevoTraceTypeEnum type = TevoTraceTypeEnum{};
    EXPECT_EQ(old_item->get_Type(&type), E_IVI_NOT_INITIALIZED) << "no session between";
    ASSERT_EQ(driver_->Initialize(emulator_.Resource().Get(), VARIANT_FALSE, VARIANT_FALSE,
                                  Bstr(L"Simulate=false").Get()),
              S_OK);
    emulator_->ClearReceivedMessages();
    EXPECT_EQ(old_item->get_Type(&type), S_OK);
    IviSpecAnTraceTypeEnum specan_type = IviSpecAnTraceTypeEnum{};
    EXPECT_EQ(old_specan_item->get_Type(&specan_type), S_OK);
    EXPECT_EQ(Sent(),
              (std::vector<std::string>{"DISP:WIND1:TRAC5:MODE?", "DISP:WIND1:TRAC3:MODE?"}));
}

TEST_F(StaleTraceItem, KeepsTheDriverObjectAliveAfterTheClientReleasedIt) {
    Open(L"Simulate=true");
    ComPtr<ITevoTrace> item = TevoItem(driver_.Get(), L"Trace1");
    ASSERT_EQ(driver_->Close(), S_OK);
    driver_ = nullptr;  // the item's reference is the last one on the main object
    LONG size = -1;
    EXPECT_EQ(item->get_Size(&size), E_IVI_NOT_INITIALIZED);
    EXPECT_EQ(TakeThreadError().description, kNotInitializedDescription);
    item = nullptr;  // destroys the item, then the main object (LeakSanitizer checks)
}

TEST(TraceCollections, ItemsDoNotKeepAClosedSessionsReferences) {
    ComPtr<ITevo> driver = SimulatedDriver();
    ComPtr<ITevoTrace> item = TevoItem(driver.Get(), L"Trace1");
    driver->AddRef();
    EXPECT_EQ(driver->Release(), 2u) << "the client's and the session's own";
    item = nullptr;
    ASSERT_EQ(driver->Close(), S_OK);
    driver->AddRef();
    EXPECT_EQ(driver->Release(), 1u) << "Close released every item";
}

// ---- Virtual names of the configuration store.

// A store with one analyzer session, reached through the logical name "Analyzer", whose
// virtual names map "Tr1" to SpecAnTrace1 and both "Live" and "Also" to Trace2.
constexpr char kStoreTemplate[] = R"(<?xml version="1.0"?>
<IviConfigStore>
	<Name>IVI Configuration Server</Name>
	<Description>bench</Description>
	<PublishedAPIs/>
	<SoftwareModules>
		<IviSoftwareModule id="m"><Name>Tevo</Name><Description/><DataComponents/><ModulePath/><Prefix>Tevo</Prefix><ProgID>Tevo.Tevo</ProgID><SupportedInstrumentModels/><PhysicalNames/><PublishedAPIs/></IviSoftwareModule>
	</SoftwareModules>
	<HardwareAssets>
		<IviHardwareAsset id="h"><Name>BenchAnalyzer</Name><Description/><DataComponents/><IOResourceDescriptor>TCPIP::192.0.2.1::5025::SOCKET</IOResourceDescriptor></IviHardwareAsset>
	</HardwareAssets>
	<DriverSessions>
		<IviDriverSession id="s">
			<Name>AnalyzerSession</Name><Description/><DataComponents/>
			<IviHardwareAsset idref="h"/><IviSoftwareModuleRef idref="m"/>
			<VirtualNames>
				<IviVirtualName id="v1"><Name>Tr1</Name><MapTo>SpecAnTrace1</MapTo><VirtualRanges/></IviVirtualName>
				<IviVirtualName id="v2"><Name>Live</Name><MapTo>Trace2</MapTo><VirtualRanges/></IviVirtualName>
				<IviVirtualName id="v3"><Name>Also</Name><MapTo>Trace2</MapTo><VirtualRanges/></IviVirtualName>
			</VirtualNames>
			<SoftwareModuleName>Tevo</SoftwareModuleName>
			<Cache>0</Cache><DriverSetup/><InterchangeCheck>0</InterchangeCheck><QueryInstrStatus>0</QueryInstrStatus><RangeCheck>0</RangeCheck><RecordCoercions>0</RecordCoercions><Simulate>1</Simulate>
		</IviDriverSession>
	</DriverSessions>
	<Sessions><IviDriverSession idref="s"/></Sessions>
	<LogicalNames>
		<IviLogicalName id="l"><Name>Analyzer</Name><Description/><IviDriverSession idref="s"/></IviLogicalName>
	</LogicalNames>
</IviConfigStore>
)";

class VirtualTraceNames : public ::testing::Test {
  protected:
    void SetUp() override {
        tevo::testing::WriteFile(tevo::testing::CurrentSystemRoot() / "ProgramData" /
                                     "IVI Foundation" / "IVI" / "IviConfigurationStore.xml",
                                 kStoreTemplate);
    }
};

TEST_F(VirtualTraceNames, LogicalNameSessionMapsBothWays) {
    ComPtr<ITevo> driver = SimulatedDriver(L"Analyzer");
    // Class-compliant collection: "Tr1" is SpecAnTrace1, and SpecAnTrace1 is reported as "Tr1".
    ComPtr<IIviSpecAnTrace> by_virtual = SpecAnItem(driver.Get(), L"Tr1");
    ASSERT_TRUE(by_virtual);
    EXPECT_EQ(by_virtual.Get(), SpecAnItem(driver.Get(), L"SpecAnTrace1").Get());
    EXPECT_EQ(NameAt<IIviSpecAnTraces>(driver.Get(), 0), L"Tr1");
    EXPECT_EQ(NameAt<IIviSpecAnTraces>(driver.Get(), 1), L"SpecAnTrace2") << "no virtual name";
    // Instrument-specific collection: two virtual names of Trace2; the first is reported.
    ComPtr<ITevoTrace> live = TevoItem(driver.Get(), L"Live");
    ASSERT_TRUE(live);
    EXPECT_EQ(live.Get(), TevoItem(driver.Get(), L"Trace2").Get());
    EXPECT_EQ(live.Get(), TevoItem(driver.Get(), L"Also").Get());
    EXPECT_EQ(NameAt<ITevoTraces>(driver.Get(), 1), L"Live");
    EXPECT_EQ(NameAt<ITevoTraces>(driver.Get(), 0), L"Trace1");
    // A virtual name maps within its own collection only, and with its exact letter case.
    ITevoTrace* none = nullptr;
    EXPECT_EQ(As<ITevoTraces>(driver.Get())->get_Item(Bstr(L"Tr1").Get(), &none),
              E_IVI_INVALID_VALUE);
    EXPECT_NE(TakeThreadError().description.find(L"Value: Tr1, Method: get_Item"),
              std::wstring::npos)
        << "the error names the client's text";
    EXPECT_EQ(As<ITevoTraces>(driver.Get())->get_Item(Bstr(L"live").Get(), &none),
              E_IVI_INVALID_VALUE);
    EXPECT_EQ(driver->Close(), S_OK);
}

TEST_F(VirtualTraceNames, DriverSessionNameMapsToo) {
    ComPtr<ITevo> driver = SimulatedDriver(L"AnalyzerSession");
    EXPECT_EQ(TevoItem(driver.Get(), L"Live").Get(), TevoItem(driver.Get(), L"Trace2").Get());
    EXPECT_EQ(NameAt<ITevoTraces>(driver.Get(), 1), L"Live");
    EXPECT_EQ(driver->Close(), S_OK);
}

TEST_F(VirtualTraceNames, ResourceDescriptorSessionUsesNamesAsGiven) {
    ComPtr<ITevo> driver = SimulatedDriver(L"TCPIP::192.0.2.1::5025::SOCKET");
    ITevoTrace* none = nullptr;
    EXPECT_EQ(As<ITevoTraces>(driver.Get())->get_Item(Bstr(L"Live").Get(), &none),
              E_IVI_INVALID_VALUE);
    EXPECT_EQ(NameAt<ITevoTraces>(driver.Get(), 1), L"Trace2");
    EXPECT_EQ(NameAt<IIviSpecAnTraces>(driver.Get(), 0), L"SpecAnTrace1");
    EXPECT_EQ(driver->Close(), S_OK);
}

// ---- The module while items live.

using CanUnloadNowFunction = HRESULT (*)();
using GetClassObjectFunction = HRESULT (*)(REFCLSID, REFIID, LPVOID*);

TEST(TraceItemModule, ModuleStaysLoadedWhileATraceItemLives) {
    HMODULE module = LoadLibraryA(TEVO_DRIVER_MODULE);
    ASSERT_NE(module, nullptr);
    auto can_unload_now =
        reinterpret_cast<CanUnloadNowFunction>(GetProcAddress(module, "DllCanUnloadNow"));
    auto get_class_object =
        reinterpret_cast<GetClassObjectFunction>(GetProcAddress(module, "DllGetClassObject"));
    ASSERT_NE(can_unload_now, nullptr);
    ASSERT_NE(get_class_object, nullptr);
    {
        ComPtr<IClassFactory> factory;
        ASSERT_EQ(
            get_class_object(CLSID_Tevo, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
            S_OK);
        ComPtr<ITevo> driver;
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_ITevo, reinterpret_cast<void**>(&driver)),
                  S_OK);
        ASSERT_EQ(driver->Initialize(Bstr(L"TCPIP::192.0.2.1::5025::SOCKET").Get(), VARIANT_FALSE,
                                     VARIANT_FALSE, Bstr(L"Simulate=true").Get()),
                  S_OK);
        ComPtr<ITevoTraces> traces;
        ASSERT_EQ(driver->get_Traces(&traces), S_OK);
        ComPtr<ITevoTrace> item;
        ASSERT_EQ(traces->get_Item(Bstr(L"Trace4").Get(), &item), S_OK);
        ASSERT_EQ(driver->Close(), S_OK);
        traces = nullptr;
        driver = nullptr;
        factory = nullptr;
        EXPECT_EQ(can_unload_now(), S_FALSE) << "the item (and the object it holds) live";
        LONG size = 0;
        EXPECT_EQ(item->get_Size(&size), E_IVI_NOT_INITIALIZED);
        item = nullptr;
        EXPECT_EQ(can_unload_now(), S_OK);
    }
    FreeLibrary(module);
}

}  // namespace
}  // namespace tevo::driver

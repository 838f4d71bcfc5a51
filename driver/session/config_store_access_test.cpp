// Sessions opened through the IVI configuration store: a logical name leads to the
// driver session's hardware asset and settings, other names are resource descriptors,
// a failing session read stops the configuration, and virtual names map trace names.
#include "session/config_store_access.h"

#include <gtest/gtest.h>

#include "testing/driver_test_support.h"
#include "tevo/testing/temp_dir.h"

namespace tevo::driver {
namespace {

using namespace tevo::driver::testing;

// A store in the standard format with one analyzer session reached through the logical
// name "Analyzer"; %s is the hardware asset's resource descriptor.
constexpr char kStoreTemplate[] = R"(<?xml version="1.0"?>
<IviConfigStore>
	<Name>IVI Configuration Server</Name>
	<Description>bench</Description>
	<PublishedAPIs/>
	<SoftwareModules>
		<IviSoftwareModule id="m"><Name>Tevo</Name><Description/><DataComponents/><ModulePath/><Prefix>Tevo</Prefix><ProgID>Tevo.Tevo</ProgID><SupportedInstrumentModels/><PhysicalNames/><PublishedAPIs/></IviSoftwareModule>
	</SoftwareModules>
	<HardwareAssets>
		<IviHardwareAsset id="h"><Name>BenchAnalyzer</Name><Description/><DataComponents/><IOResourceDescriptor>%s</IOResourceDescriptor></IviHardwareAsset>
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
			<Cache>0</Cache><DriverSetup/><InterchangeCheck>1</InterchangeCheck><QueryInstrStatus>1</QueryInstrStatus><RangeCheck>0</RangeCheck><RecordCoercions>1</RecordCoercions><Simulate>0</Simulate>
		</IviDriverSession>
	</DriverSessions>
	<Sessions><IviDriverSession idref="s"/></Sessions>
	<LogicalNames>
		<IviLogicalName id="l"><Name>Analyzer</Name><Description/><IviDriverSession idref="s"/></IviLogicalName>
	</LogicalNames>
</IviConfigStore>
)";

void WriteMasterStore(const std::string& descriptor) {
    std::string text = kStoreTemplate;
    text.replace(text.find("%s"), 2, descriptor);
    tevo::testing::WriteFile(tevo::testing::CurrentSystemRoot() / "ProgramData" / "IVI Foundation" /
                                 "IVI" / "IviConfigurationStore.xml",
                             text);
}

bool Flag(IIviDriverOperation* operation,
          HRESULT (STDMETHODCALLTYPE IIviDriverOperation::*getter)(VARIANT_BOOL*)) {
    VARIANT_BOOL value = VARIANT_FALSE;
    EXPECT_EQ((operation->*getter)(&value), S_OK);
    return value == VARIANT_TRUE;
}

CTevo& Object(ITevo* driver) {
    return static_cast<CTevo&>(*static_cast<TevoRootFacet*>(driver));
}

TEST(ConfigStoreSessions, LogicalNameOpensTheSessionsInstrumentWithItsSettings) {
    RunningEmulator emulator;
    WriteMasterStore(emulator->ResourceName());
    auto driver = NewDriver();
    ASSERT_EQ(driver->Initialize(Bstr(L"Analyzer").Get(), VARIANT_TRUE, VARIANT_FALSE,
                                 Bstr(L"RecordCoercions=false").Get()),
              S_OK);
    auto operation = As<IIviDriverOperation>(driver.Get());
    Bstr text;
    ASSERT_EQ(operation->get_LogicalName(&text), S_OK);
    EXPECT_EQ(text.ToWide(), L"Analyzer");
    ASSERT_EQ(operation->get_IoResourceDescriptor(&text), S_OK);
    EXPECT_EQ(text.ToUtf8(), emulator->ResourceName());
    EXPECT_FALSE(Flag(operation.Get(), &IIviDriverOperation::get_Cache));
    EXPECT_TRUE(Flag(operation.Get(), &IIviDriverOperation::get_InterchangeCheck));
    EXPECT_TRUE(Flag(operation.Get(), &IIviDriverOperation::get_QueryInstrumentStatus));
    EXPECT_FALSE(Flag(operation.Get(), &IIviDriverOperation::get_RangeCheck));
    // The option string comes after the store's settings.
    EXPECT_FALSE(Flag(operation.Get(), &IIviDriverOperation::get_RecordCoercions));
    EXPECT_NE(Object(driver.Get()).ConfigDriverSession(), nullptr);
    ASSERT_TRUE(emulator->WaitForMessages(1, std::chrono::seconds(10)));
    EXPECT_EQ(emulator->ReceivedMessages().front(), "*IDN?");
    EXPECT_EQ(driver->Close(), S_OK);
    EXPECT_EQ(Object(driver.Get()).ConfigDriverSession(), nullptr) << "Close releases it";
}

TEST(ConfigStoreSessions, OtherNamesAreResourceDescriptors) {
    WriteMasterStore("TCPIP::192.0.2.1::5025::SOCKET");
    auto driver = NewDriver();
    ASSERT_EQ(driver->Initialize(Bstr(L"analyzer").Get(), VARIANT_FALSE, VARIANT_FALSE,
                                 Bstr(L"Simulate=true").Get()),
              S_OK)
        << "names are matched with letter case";
    auto operation = As<IIviDriverOperation>(driver.Get());
    Bstr text;
    ASSERT_EQ(operation->get_IoResourceDescriptor(&text), S_OK);
    EXPECT_EQ(text.ToWide(), L"analyzer");
    ASSERT_EQ(operation->get_LogicalName(&text), S_OK);
    EXPECT_TRUE(text.Empty());
    EXPECT_EQ(Object(driver.Get()).ConfigDriverSession(), nullptr);
    EXPECT_EQ(driver->Close(), S_OK);
}

TEST(ConfigStoreSessions, UnreadableStoreIsNoError) {
    tevo::testing::WriteFile(tevo::testing::CurrentSystemRoot() / "ProgramData" / "IVI Foundation" /
                                 "IVI" / "IviConfigurationStore.xml",
                             "<IviConfigStore><Name>broken");
    auto driver = NewDriver();
    EXPECT_EQ(driver->Initialize(Bstr(L"Analyzer").Get(), VARIANT_FALSE, VARIANT_FALSE,
                                 Bstr(L"Simulate=true").Get()),
              S_OK);
    EXPECT_EQ(driver->Close(), S_OK);
}

// A driver session whose RangeCheck cannot be read; the reads before it go to the real one.
class RangeCheckFailingSession final : public IIviDriverSession {
  public:
    explicit RangeCheckFailingSession(IIviDriverSession* real) : real_(real) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE get_HardwareAsset(IIviHardwareAsset** p) override {
        return real_->get_HardwareAsset(p);
    }
    HRESULT STDMETHODCALLTYPE get_Cache(VARIANT_BOOL* p) override { return real_->get_Cache(p); }
    HRESULT STDMETHODCALLTYPE get_InterchangeCheck(VARIANT_BOOL* p) override {
        return real_->get_InterchangeCheck(p);
    }
    HRESULT STDMETHODCALLTYPE get_QueryInstrStatus(VARIANT_BOOL* p) override {
        return real_->get_QueryInstrStatus(p);
    }
    HRESULT STDMETHODCALLTYPE get_RangeCheck(VARIANT_BOOL*) override { return E_ACCESSDENIED; }
    HRESULT STDMETHODCALLTYPE get_RecordCoercions(VARIANT_BOOL*) override { return E_UNEXPECTED; }
    HRESULT STDMETHODCALLTYPE get_Simulate(VARIANT_BOOL*) override { return E_UNEXPECTED; }
    // Not used by the driver.
    HRESULT STDMETHODCALLTYPE get_Name(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_Name(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Description(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_Description(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_DataComponents(IIviDataComponentCollection**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE putref_HardwareAsset(IIviHardwareAsset*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE get_SoftwareModule(IIviSoftwareModule**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE putref_SoftwareModule(IIviSoftwareModule*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE get_SoftwareModuleName(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_VirtualNames(IIviVirtualNameCollection**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE put_Cache(VARIANT_BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_DriverSetup(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_DriverSetup(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_InterchangeCheck(VARIANT_BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_QueryInstrStatus(VARIANT_BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_RangeCheck(VARIANT_BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_RecordCoercions(VARIANT_BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_Simulate(VARIANT_BOOL) override { return E_NOTIMPL; }

  private:
    IIviDriverSession* real_;
};

TEST(ConfigStoreSessions, FailingSessionReadStopsTheConfiguration) {
    WriteMasterStore("TCPIP::192.0.2.7::5025::SOCKET");
    auto store = OpenConfigStore();
    ASSERT_TRUE(store);
    auto session = FindDriverSession(store.Get(), Bstr(L"Analyzer").Get());
    ASSERT_TRUE(session);
    RangeCheckFailingSession failing(session.Get());
    auto driver = NewDriver();
    CTevo& object = Object(driver.Get());
    EXPECT_EQ(object.LoadDriverConfiguration(&failing), E_ACCESSDENIED);
    EXPECT_EQ(object.State().io_resource_descriptor, "TCPIP::192.0.2.7::5025::SOCKET");
    // The reads before the failing one took effect; the ones after it did not happen.
    EXPECT_FALSE(object.State().cache);
    EXPECT_TRUE(object.State().interchange_check);
    EXPECT_TRUE(object.State().query_instrument_status);
    EXPECT_TRUE(object.State().range_check);
    EXPECT_FALSE(object.State().record_coercions);

    EXPECT_EQ(object.LoadDriverConfiguration(nullptr), E_IVI_INVALID_VALUE);
    EXPECT_EQ(TakeThreadError().description,
              L"Tevo: Invalid value\r\n\nValue: 0, Method: LoadDriverConfiguration, "
              L"Param:pDriverSession");
}

TEST(ConfigStoreSessions, VirtualNamesMapBothWays) {
    WriteMasterStore("x");
    auto store = OpenConfigStore();
    ASSERT_TRUE(store);
    auto session = FindDriverSession(store.Get(), Bstr(L"AnalyzerSession").Get());
    ASSERT_TRUE(session) << "a session is found by its own name too";
    EXPECT_EQ(PhysicalNameOf(session.Get(), L"Tr1"), L"SpecAnTrace1");
    EXPECT_EQ(PhysicalNameOf(session.Get(), L"tr1"), L"tr1") << "letter case counts";
    EXPECT_EQ(PhysicalNameOf(session.Get(), L"Trace2"), L"Trace2");
    EXPECT_EQ(VirtualNameOf(session.Get(), L"Trace2"), L"Live") << "the first that maps to it";
    EXPECT_EQ(VirtualNameOf(session.Get(), L"Trace3"), L"Trace3");
    EXPECT_EQ(PhysicalNameOf(nullptr, L"Tr1"), L"Tr1");
    EXPECT_EQ(VirtualNameOf(nullptr, L"Trace2"), L"Trace2");
    EXPECT_FALSE(FindDriverSession(store.Get(), Bstr(L"Nobody").Get()));
}

}  // namespace
}  // namespace tevo::driver

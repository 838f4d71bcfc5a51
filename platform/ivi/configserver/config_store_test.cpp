// The store through COM, as clients use it: activation by ProgID in a fresh system root,
// loading a hand-written store, changing it, saving and reloading, lookups and errors.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>

#include "tevo/IviConfigServer.h"
#include "tevo/com/activation.h"
#include "tevo/com/apartment.h"
#include "tevo/com/com_ptr.h"
#include "tevo/com/errorinfo.h"
#include "tevo/com/holders.h"
#include "tevo/testing/temp_dir.h"

namespace {

using tevo::com::Bstr;
using tevo::com::ComPtr;

constexpr char kHandWritten[] = R"(<?xml version="1.0"?>
<IviConfigStore xmlns:dt="urn:schemas-microsoft-com:datatypes">
	<Name>Other server</Name>
	<Description>Bench store</Description>
	<PublishedAPIs>
		<IviPublishedAPI id="a"><Name>IviDriver</Name><MajorVersion>1</MajorVersion><MinorVersion>0</MinorVersion><Type>IVI-C</Type></IviPublishedAPI>
	</PublishedAPIs>
	<SoftwareModules>
		<IviSoftwareModule id="m">
			<Name>exSpecAn</Name><Description>driver</Description>
			<DataComponents>
				<IviReal id="r"><Name>RefLevel</Name><Description/><ReadOnly>0</ReadOnly><UsedInSession>required</UsedInSession><Type>Real</Type><HelpContextID>0</HelpContextID><HelpFilePath/><SoftwareModuleKey>REF</SoftwareModuleKey><Units>dBm</Units><Value>0</Value></IviReal>
			</DataComponents>
			<ModulePath/><Prefix>exSpecAn</Prefix><ProgID/><SupportedInstrumentModels>A,B</SupportedInstrumentModels>
			<PhysicalNames><IviPhysicalName id="pn"><Name>TRACE</Name><RCName>Trace</RCName><PhysicalNames/><PhysicalRanges><IviPhysicalRange id="pr"><Name>T</Name><Max>3</Max><Min>1</Min></IviPhysicalRange></PhysicalRanges></IviPhysicalName></PhysicalNames>
			<PublishedAPIs><IviPublishedAPI idref="a"/></PublishedAPIs>
		</IviSoftwareModule>
	</SoftwareModules>
	<HardwareAssets>
		<IviHardwareAsset id="h"><Name>BenchSA</Name><Description/><DataComponents/><IOResourceDescriptor>TCPIP0::192.0.2.10::5025::SOCKET</IOResourceDescriptor></IviHardwareAsset>
	</HardwareAssets>
	<DriverSessions>
		<IviDriverSession id="s">
			<Name>BenchSession</Name><Description/><DataComponents/>
			<IviHardwareAsset idref="h"/><IviSoftwareModuleRef idref="m"/>
			<VirtualNames>
				<IviVirtualName id="v1"><Name>Live</Name><MapTo>TRACE1</MapTo><VirtualRanges/></IviVirtualName>
				<IviVirtualName id="v2"><Name>Hold</Name><MapTo>TRACE</MapTo><VirtualRanges><IviVirtualRange id="vr"><Name>H</Name><Max>2</Max><Min>1</Min><StartingPhysicalIndex>2</StartingPhysicalIndex></IviVirtualRange></VirtualRanges></IviVirtualName>
			</VirtualNames>
			<SoftwareModuleName>exSpecAn</SoftwareModuleName>
			<Cache>true</Cache><DriverSetup>Model=A</DriverSetup><InterchangeCheck>0</InterchangeCheck><QueryInstrStatus>1</QueryInstrStatus><RangeCheck>0</RangeCheck><RecordCoercions>0</RecordCoercions><Simulate>1</Simulate>
		</IviDriverSession>
	</DriverSessions>
	<Sessions><IviDriverSession idref="s"/></Sessions>
	<LogicalNames>
		<IviLogicalName id="l"><Name>SA</Name><Description>analyzer</Description><IviDriverSession idref="s"/></IviLogicalName>
		<IviLogicalName id="l2"><Name>BenchSession</Name><Description/></IviLogicalName>
	</LogicalNames>
</IviConfigStore>
)";

class ConfigStoreTest : public ::testing::Test {
  protected:
    void SetUp() override { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
    void TearDown() override { CoUninitialize(); }

    static ComPtr<IIviConfigStore> NewStore() {
        CLSID clsid{};
        EXPECT_EQ(CLSIDFromProgID(L"IviConfigServer.IviConfigStore", &clsid), S_OK);
        ComPtr<IIviConfigStore> store;
        EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IIviConfigStore,
                                   store.ReleaseAndGetVoidAddressOf()),
                  S_OK);
        return store;
    }
    template <class T>
    static ComPtr<T> Create(const wchar_t* progid, const IID& iid) {
        CLSID clsid{};
        EXPECT_EQ(CLSIDFromProgID(progid, &clsid), S_OK);
        ComPtr<T> object;
        EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid,
                                   object.ReleaseAndGetVoidAddressOf()),
                  S_OK);
        return object;
    }
    // Deserialize of a file that must fail; the error text.
    std::string LoadFailure(const std::string& name, const std::string& bytes) {
        const auto file = tevo::testing::WriteFile(dir_ / name, bytes).string();
        auto store = NewStore();
        const Bstr location = Bstr::FromUtf8(file);
        EXPECT_EQ(store->Deserialize(location.Get()), E_IVICONFIG_DESERIALIZE_FAILED) << name;
        return ErrorText();
    }
    static ComPtr<IIviConfigStore> Load(const std::string& path) {
        auto store = NewStore();
        const Bstr location = Bstr::FromUtf8(path);
        EXPECT_EQ(store->Deserialize(location.Get()), S_OK);
        return store;
    }
    static std::string ErrorText() {
        ComPtr<IErrorInfo> info;
        Bstr text;
        if (GetErrorInfo(0, &info) == S_OK && info) {
            info->GetDescription(&text);
        }
        return text.ToUtf8();
    }
    static VARIANT Name(const Bstr& name) {
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_BSTR;
        v.bstrVal = name.Get();
        return v;
    }
    static VARIANT Position(LONG i) {
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_I4;
        v.lVal = i;
        return v;
    }
    template <class Getter>
    static std::string Str(Getter getter) {
        Bstr value;
        EXPECT_EQ(getter(&value), S_OK);
        return value.ToUtf8();
    }

    tevo::testing::TempDir dir_;
};

TEST_F(ConfigStoreTest, HandWrittenStoreLoadsChangesSavesAndReloadsEqual) {
    const auto file = tevo::testing::WriteFile(dir_ / "store.xml", kHandWritten).string();
    auto store = Load(file);
    ComPtr<IIviDriverSession> session;
    const Bstr sa(L"SA");
    ASSERT_EQ(store->GetDriverSession(sa.Get(), &session), S_OK);
    VARIANT_BOOL flag = 0;
    ASSERT_EQ(session->get_Simulate(&flag), S_OK);
    EXPECT_EQ(flag, VARIANT_TRUE);
    ASSERT_EQ(session->get_RangeCheck(&flag), S_OK);
    EXPECT_EQ(flag, VARIANT_FALSE);
    ComPtr<IIviHardwareAsset> asset;
    ASSERT_EQ(session->get_HardwareAsset(&asset), S_OK);
    EXPECT_EQ(Str([&](BSTR* t) { return asset->get_IOResourceDescriptor(t); }),
              "TCPIP0::192.0.2.10::5025::SOCKET");

    // Change through the API: a new asset, re-pointed session, a new virtual name.
    ComPtr<IIviHardwareAsset> spare;
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(L"IviConfigServer.IviHardwareAsset", &clsid), S_OK);
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IIviHardwareAsset,
                               spare.ReleaseAndGetVoidAddressOf()),
              S_OK);
    const Bstr spare_name(L"Spare");
    spare->put_Name(spare_name.Get());
    // Not yet in the global collection: cannot be referenced.
    EXPECT_EQ(session->putref_HardwareAsset(spare.Get()), E_IVICONFIG_NOT_IN_GLOBAL);
    ComPtr<IIviHardwareAssetCollection> assets;
    ASSERT_EQ(store->get_HardwareAssets(&assets), S_OK);
    ASSERT_EQ(assets->Add(spare.Get()), S_OK);
    EXPECT_EQ(assets->Add(spare.Get()), E_IVICONFIG_ALREADY_EXIST);
    ASSERT_EQ(session->putref_HardwareAsset(spare.Get()), S_OK);
    const Bstr saved_path = Bstr::FromUtf8((dir_ / "sub" / "saved.xml").string());
    ASSERT_EQ(store->Serialize(saved_path.Get()), S_OK);

    auto reloaded = Load(saved_path.ToUtf8());
    ComPtr<IIviDriverSession> again;
    ASSERT_EQ(reloaded->GetDriverSession(sa.Get(), &again), S_OK);
    ComPtr<IIviHardwareAsset> again_asset;
    ASSERT_EQ(again->get_HardwareAsset(&again_asset), S_OK);
    EXPECT_EQ(Str([&](BSTR* t) { return again_asset->get_Name(t); }), "Spare");
    EXPECT_EQ(Str([&](BSTR* t) { return again->get_DriverSetup(t); }), "Model=A");
    ComPtr<IIviVirtualNameCollection> names;
    ASSERT_EQ(again->get_VirtualNames(&names), S_OK);
    ComPtr<IIviVirtualName> hold;
    const Bstr hold_name(L"Hold");
    ASSERT_EQ(names->get_Item(Name(hold_name), &hold), S_OK);
    EXPECT_EQ(Str([&](BSTR* t) { return hold->get_MapTo(t); }), "TRACE");
    ComPtr<IIviVirtualRangeCollection> ranges;
    ASSERT_EQ(hold->get_VirtualRanges(&ranges), S_OK);
    ComPtr<IIviVirtualRange> range;
    ASSERT_EQ(ranges->get_Item(Position(1), &range), S_OK);
    LONG start = 0;
    range->get_StartingPhysicalIndex(&start);
    EXPECT_EQ(start, 2);

    // Saving the reloaded store again gives the same bytes: nothing is lost or reordered.
    const Bstr second = Bstr::FromUtf8((dir_ / "second.xml").string());
    ASSERT_EQ(reloaded->Serialize(second.Get()), S_OK);
    EXPECT_EQ(tevo::testing::ReadFile(saved_path.ToUtf8()),
              tevo::testing::ReadFile(second.ToUtf8()));
    const std::string bytes = tevo::testing::ReadFile(second.ToUtf8());
    EXPECT_NE(bytes.find("<Units>dBm</Units>"), std::string::npos);
    EXPECT_NE(bytes.find("<UsedInSession>Required</UsedInSession>"), std::string::npos);
    EXPECT_NE(bytes.find("<Cache>1</Cache>"), std::string::npos);
    EXPECT_LT(bytes.find("<PublishedAPIs>"), bytes.find("<SoftwareModules>"));
    EXPECT_LT(bytes.find("<DriverSessions>"), bytes.find("<Sessions>"));
}

TEST_F(ConfigStoreTest, LookupOrderPrefersLogicalNamesAndKnowsSessionKinds) {
    const auto file = tevo::testing::WriteFile(dir_ / "store.xml", kHandWritten).string();
    auto store = Load(file);
    ComPtr<IIviDriverSession> session;
    // "BenchSession" is also a logical name without a session: the driver session wins then.
    const Bstr bench(L"BenchSession");
    ASSERT_EQ(store->GetDriverSession(bench.Get(), &session), S_OK);
    EXPECT_EQ(Str([&](BSTR* t) { return session->get_Name(t); }), "BenchSession");
    ComPtr<IIviSession> plain;
    const Bstr sa(L"SA");
    ASSERT_EQ(store->GetSession(sa.Get(), &plain), S_OK);
    EXPECT_EQ(static_cast<IUnknown*>(plain.Get()), static_cast<IUnknown*>(session.Get()));
    const Bstr unknown(L"sa");  // names are case-sensitive
    ComPtr<IIviDriverSession> none;
    EXPECT_EQ(store->GetDriverSession(unknown.Get(), &none), E_IVICONFIG_SESSION_NOT_FOUND);
    EXPECT_FALSE(none);
    EXPECT_NE(ErrorText().find("GetDriverSession failed. Name sa could not be resolved"),
              std::string::npos);
    // Collections: 1-based positions, unknown names and positions fail.
    ComPtr<IIviLogicalNameCollection> logical;
    ASSERT_EQ(store->get_LogicalNames(&logical), S_OK);
    ComPtr<IIviLogicalName> item;
    EXPECT_EQ(logical->get_Item(Position(2), &item), S_OK);
    EXPECT_EQ(Str([&](BSTR* t) { return item->get_Name(t); }), "BenchSession");
    EXPECT_EQ(logical->get_Item(Position(0), &item), E_IVICONFIG_NOT_EXIST);
    EXPECT_EQ(logical->get_Item(Position(3), &item), E_IVICONFIG_NOT_EXIST);
    EXPECT_EQ(logical->get_Item(Name(unknown), &item), E_IVICONFIG_NOT_EXIST);
    // A published API by its composite key.
    ComPtr<IIviPublishedAPICollection> apis;
    ASSERT_EQ(store->get_PublishedAPIs(&apis), S_OK);
    ComPtr<IIviPublishedAPI> api;
    const Bstr driver(L"IviDriver");
    const Bstr c_type(L"IVI-C");
    const Bstr com_type(L"IVI-COM");
    EXPECT_EQ(apis->get_Item(Name(driver), 1, 0, c_type.Get(), &api), S_OK);
    EXPECT_EQ(apis->get_Item(Name(driver), 1, 0, com_type.Get(), &api), E_IVICONFIG_NOT_EXIST);
    // Still used by the module: cannot go.
    ComPtr<IIviPublishedAPI> removed;
    EXPECT_EQ(apis->Remove(Name(driver), 1, 0, c_type.Get(), &removed),
              E_IVICONFIG_LOCAL_REFERENCE_EXIST);
    // A second load into one instance is refused.
    const Bstr location = Bstr::FromUtf8(file);
    EXPECT_EQ(store->Deserialize(location.Get()), E_IVICONFIG_ALREADY_DESERIALIZED);
}

TEST_F(ConfigStoreTest, RemovedModuleLeavesSessionsItsNameAndComesBack) {
    const auto file = tevo::testing::WriteFile(dir_ / "store.xml", kHandWritten).string();
    auto store = Load(file);
    ComPtr<IIviSoftwareModuleCollection> modules;
    ASSERT_EQ(store->get_SoftwareModules(&modules), S_OK);
    ComPtr<IIviSoftwareModule> module;
    const Bstr name(L"exSpecAn");
    ASSERT_EQ(modules->get_Item(Name(name), &module), S_OK);
    ASSERT_EQ(modules->Remove(Name(name)), S_OK);
    ComPtr<IIviDriverSession> session;
    const Bstr sa(L"SA");
    ASSERT_EQ(store->GetDriverSession(sa.Get(), &session), S_OK);
    ComPtr<IIviSoftwareModule> linked;
    ASSERT_EQ(session->get_SoftwareModule(&linked), S_OK);
    EXPECT_FALSE(linked);
    EXPECT_EQ(Str([&](BSTR* t) { return session->get_SoftwareModuleName(t); }), "exSpecAn");
    ASSERT_EQ(modules->Add(module.Get()), S_OK);
    ASSERT_EQ(session->get_SoftwareModule(&linked), S_OK);
    EXPECT_EQ(static_cast<IUnknown*>(linked.Get()), static_cast<IUnknown*>(module.Get()));
}

TEST_F(ConfigStoreTest, NewSessionGetsRequiredComponentsCopied) {
    const auto file = tevo::testing::WriteFile(dir_ / "store.xml", kHandWritten).string();
    auto store = Load(file);
    ComPtr<IIviSoftwareModuleCollection> modules;
    store->get_SoftwareModules(&modules);
    ComPtr<IIviSoftwareModule> module;
    const Bstr name(L"exSpecAn");
    ASSERT_EQ(modules->get_Item(Name(name), &module), S_OK);
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(L"IviConfigServer.IviDriverSession", &clsid), S_OK);
    ComPtr<IIviDriverSession> session;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IIviDriverSession,
                               session.ReleaseAndGetVoidAddressOf()),
              S_OK);
    VARIANT_BOOL flag = 0;
    session->get_Cache(&flag);
    EXPECT_EQ(flag, VARIANT_TRUE);
    session->get_Simulate(&flag);
    EXPECT_EQ(flag, VARIANT_FALSE);
    ASSERT_EQ(session->putref_SoftwareModule(module.Get()), S_OK);
    ComPtr<IIviDataComponentCollection> components;
    ASSERT_EQ(session->get_DataComponents(&components), S_OK);
    LONG count = 0;
    components->get_Count(&count);
    EXPECT_EQ(count, 1);
    ASSERT_EQ(session->putref_SoftwareModule(nullptr), S_OK);
    components->get_Count(&count);
    EXPECT_EQ(count, 0);
}

TEST_F(ConfigStoreTest, BrokenStoreIsReportedWithLineAndNeverOverwritten) {
    const std::string broken = "<IviConfigStore>\n<PublishedAPIs>\n</Oops>\n";
    const auto file = tevo::testing::WriteFile(dir_ / "broken.xml", broken).string();
    auto store = NewStore();
    const Bstr location = Bstr::FromUtf8(file);
    EXPECT_EQ(store->Deserialize(location.Get()), E_IVICONFIG_DESERIALIZE_FAILED);
    const std::string message = ErrorText();
    EXPECT_NE(message.find("Deserialize failed."), std::string::npos) << message;
    EXPECT_NE(message.find("line 3"), std::string::npos) << message;
    EXPECT_EQ(tevo::testing::ReadFile(file), broken);

    // An unresolved reference and a bad boolean are load failures too, leaving it empty.
    std::string dangling = kHandWritten;
    dangling.replace(dangling.find("idref=\"h\""), 9, "idref=\"x\"");
    const auto dangling_file = tevo::testing::WriteFile(dir_ / "dangling.xml", dangling).string();
    auto second = NewStore();
    const Bstr dangling_location = Bstr::FromUtf8(dangling_file);
    EXPECT_EQ(second->Deserialize(dangling_location.Get()), E_IVICONFIG_DESERIALIZE_FAILED);
    ComPtr<IIviHardwareAssetCollection> assets;
    second->get_HardwareAssets(&assets);
    LONG count = -1;
    assets->get_Count(&count);
    EXPECT_EQ(count, 0);
}

TEST_F(ConfigStoreTest, MasterStoreOfAFreshRootIsEmptyAndLivesInTheIviDataDirectory) {
    auto store = NewStore();
    const std::string master = Str([&](BSTR* t) { return store->get_MasterLocation(t); });
    EXPECT_EQ(master, (tevo::testing::CurrentSystemRoot() / "ProgramData" / "IVI Foundation" /
                       "IVI" / "IviConfigurationStore.xml")
                          .string());
    const Bstr location = Bstr::FromUtf8(master);
    EXPECT_EQ(store->Deserialize(location.Get()), S_OK);
    EXPECT_EQ(Str([&](BSTR* t) { return store->get_ActualLocation(t); }), master);
    // Another missing file is a failure.
    auto other = NewStore();
    const Bstr missing = Bstr::FromUtf8((dir_ / "missing.xml").string());
    EXPECT_EQ(other->Deserialize(missing.Get()), E_IVICONFIG_DESERIALIZE_FAILED);
}

constexpr HRESULT kInvalidValue = static_cast<HRESULT>(0x80047010u);

// Text XML 1.0 cannot hold: C0 controls other than tab, LF and CR, U+FFFE/U+FFFF, and wide
// values that are no Unicode character (which would be written as U+FFFD).
TEST_F(ConfigStoreTest, TextTheStoreFileCannotHoldIsRefusedWhenSet) {
    auto asset =
        Create<IIviHardwareAsset>(L"IviConfigServer.IviHardwareAsset", IID_IIviHardwareAsset);
    ASSERT_EQ(asset->put_Name(Bstr(L"Bench").Get()), S_OK);
    const std::wstring description = L"two\nlines,\ta tab\r\nand U+FFFD \uFFFD";
    ASSERT_EQ(asset->put_Description(Bstr(description).Get()), S_OK);

    EXPECT_EQ(asset->put_Name(Bstr(L"A\x01"
                                   L"B")
                                  .Get()),
              kInvalidValue);
    const std::string message = ErrorText();
    EXPECT_NE(message.find("Name: U+0001 at position 2 is a control character"), std::string::npos)
        << message;
    // Names take no control characters at all, not even those XML allows.
    for (const wchar_t* name : {L"A\tB", L"A\nB", L"A\rB", L"\x1F"}) {
        EXPECT_EQ(asset->put_Name(Bstr(name).Get()), kInvalidValue);
    }
    for (const wchar_t* text : {L"bell\x07", L"\x1B[1m", L"\xFFFE", L"\xFFFF"}) {
        EXPECT_EQ(asset->put_Description(Bstr(text).Get()), kInvalidValue);
        EXPECT_EQ(asset->put_IOResourceDescriptor(Bstr(text).Get()), kInvalidValue);
    }
    // A lone surrogate and a value beyond U+10FFFF: both would reach the file as U+FFFD.
    for (const wchar_t bad : {static_cast<wchar_t>(0xD800), static_cast<wchar_t>(0x110000)}) {
        const std::wstring text = std::wstring(L"A") + bad;
        EXPECT_EQ(asset->put_Name(Bstr(text).Get()), kInvalidValue);
        EXPECT_NE(ErrorText().find("is not a Unicode character"), std::string::npos);
        EXPECT_EQ(asset->put_Description(Bstr(text).Get()), kInvalidValue);
    }
    // A refused value leaves the property as it was.
    EXPECT_EQ(Str([&](BSTR* t) { return asset->get_Name(t); }), "Bench");
    Bstr kept;
    ASSERT_EQ(asset->get_Description(&kept), S_OK);
    EXPECT_EQ(kept.ToWide(), description);

    // The other keys are names as well; free text elsewhere follows the XML rule.
    auto physical =
        Create<IIviPhysicalName>(L"IviConfigServer.IviPhysicalName", IID_IIviPhysicalName);
    EXPECT_EQ(physical->put_RCName(Bstr(L"Tr\tace").Get()), kInvalidValue);
    auto virtual_name =
        Create<IIviVirtualName>(L"IviConfigServer.IviVirtualName", IID_IIviVirtualName);
    EXPECT_EQ(virtual_name->put_MapTo(Bstr(L"TRACE\n1").Get()), kInvalidValue);
    auto api = Create<IIviPublishedAPI>(L"IviConfigServer.IviPublishedAPI", IID_IIviPublishedAPI);
    EXPECT_EQ(api->put_Type(Bstr(L"IVI\x02"
                                 L"COM")
                                .Get()),
              kInvalidValue);
    auto component = Create<IIviString>(L"IviConfigServer.IviString", IID_IIviString);
    EXPECT_EQ(component->put_Name(Bstr(L"Key\x03").Get()), kInvalidValue);
    EXPECT_EQ(component->put_Value(Bstr(L"\x04").Get()), kInvalidValue);
    EXPECT_EQ(component->put_Value(Bstr(L"multi\nline").Get()), S_OK);

    // What was accepted is written as XML can read it back: no character references.
    auto store = NewStore();
    ComPtr<IIviHardwareAssetCollection> assets;
    ASSERT_EQ(store->get_HardwareAssets(&assets), S_OK);
    ASSERT_EQ(assets->Add(asset.Get()), S_OK);
    const Bstr saved = Bstr::FromUtf8((dir_ / "clean.xml").string());
    ASSERT_EQ(store->Serialize(saved.Get()), S_OK);
    EXPECT_EQ(tevo::testing::ReadFile(saved.ToUtf8()).find("&#"), std::string::npos);
    auto reloaded = Load(saved.ToUtf8());
    ComPtr<IIviHardwareAssetCollection> reloaded_assets;
    ASSERT_EQ(reloaded->get_HardwareAssets(&reloaded_assets), S_OK);
    ComPtr<IIviHardwareAsset> again;
    ASSERT_EQ(reloaded_assets->get_Item(Position(1), &again), S_OK);
    EXPECT_EQ(Str([&](BSTR* t) { return again->get_Name(t); }), "Bench");
}

TEST_F(ConfigStoreTest, StoreFileWithMalformedOrForbiddenTextIsRefused) {
    auto with = [](std::string_view from, std::string_view to) {
        std::string text = kHandWritten;
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    // Malformed UTF-8 would become U+FFFD, and two different names would collide.
    std::string message = LoadFailure("bad-utf8-name.xml", with("BenchSA<", "Bench\xFFSA<"));
    EXPECT_NE(message.find("<Name> is not valid UTF-8 (element <IviHardwareAsset>)"),
              std::string::npos)
        << message;
    message = LoadFailure("bad-utf8-text.xml", with("A,B<", "A,\xC3<"));
    EXPECT_NE(message.find("<SupportedInstrumentModels> is not valid UTF-8"), std::string::npos)
        << message;
    // Character references to characters XML 1.0 does not allow.
    message = LoadFailure("reference.xml", with("<Description>driver", "<Description>dri&#1;ver"));
    EXPECT_NE(message.find("<Description>: U+0001 at position 4 is a control character"),
              std::string::npos)
        << message;
    message = LoadFailure("tab-name.xml", with(">Live<", ">Li&#9;ve<"));
    EXPECT_NE(message.find("which names cannot hold"), std::string::npos) << message;

    // The same characters in free text, where XML allows them, load.
    const auto file = tevo::testing::WriteFile(
        dir_ / "tab-text.xml", with("<Description>driver", "<Description>dri&#9;ver&#10;"));
    auto store = Load(file.string());
    ComPtr<IIviSoftwareModuleCollection> modules;
    ASSERT_EQ(store->get_SoftwareModules(&modules), S_OK);
    ComPtr<IIviSoftwareModule> module;
    ASSERT_EQ(modules->get_Item(Position(1), &module), S_OK);
    EXPECT_EQ(Str([&](BSTR* t) { return module->get_Description(t); }), "dri\tver\n");
}

// The hand-written store with its physical name TRACE at the top of a chain of `depth`
// nested physical names.
std::string NestedPhysicalNames(int depth) {
    std::string chain;
    for (int level = 2; level <= depth; ++level) {
        const std::string n = std::to_string(level);
        chain.append("<PhysicalNames><IviPhysicalName id=\"n")
            .append(n)
            .append("\"><Name>N")
            .append(n)
            .append("</Name><RCName>R</RCName>");
    }
    chain += "<PhysicalNames/>";
    for (int level = 2; level <= depth; ++level) {
        chain += "<PhysicalRanges/></IviPhysicalName></PhysicalNames>";
    }
    std::string text = kHandWritten;
    const std::string_view inner = "<PhysicalNames/><PhysicalRanges>";
    text.replace(text.find(inner), std::string_view("<PhysicalNames/>").size(), chain);
    return text;
}

TEST_F(ConfigStoreTest, PhysicalNamesNestOnlySoDeep) {
    // 64 levels load, and their innermost name is there.
    auto store =
        Load(tevo::testing::WriteFile(dir_ / "deep.xml", NestedPhysicalNames(64)).string());
    ComPtr<IIviSoftwareModuleCollection> modules;
    ASSERT_EQ(store->get_SoftwareModules(&modules), S_OK);
    ComPtr<IIviSoftwareModule> module;
    ASSERT_EQ(modules->get_Item(Position(1), &module), S_OK);
    ComPtr<IIviPhysicalNameCollection> names;
    ASSERT_EQ(module->get_PhysicalNames(&names), S_OK);
    int depth = 0;
    while (names) {
        ComPtr<IIviPhysicalName> name;
        if (names->get_Item(Position(1), &name) != S_OK) {
            break;
        }
        ++depth;
        ComPtr<IIviPhysicalNameCollection> children;
        ASSERT_EQ(name->get_PhysicalNames(&children), S_OK);
        names = children;
    }
    EXPECT_EQ(depth, 64);
    // One more, or far more (which would exhaust the stack), is refused.
    for (const int too_deep : {65, 100000}) {
        const std::string message = LoadFailure("too-deep.xml", NestedPhysicalNames(too_deep));
        EXPECT_NE(message.find("physical names are nested more than 64 levels deep (element "
                               "<IviPhysicalName> 'N65')"),
                  std::string::npos)
            << message;
    }
}

TEST_F(ConfigStoreTest, FolderIsNeitherLoadedNorReplacedAsAStore) {
    const auto folder = dir_ / "folder";
    std::filesystem::create_directories(folder / "inside");
    const Bstr location = Bstr::FromUtf8(folder.string());
    auto store = NewStore();
    EXPECT_EQ(store->Deserialize(location.Get()), E_IVICONFIG_DESERIALIZE_FAILED);
    const std::string message = ErrorText();
    EXPECT_NE(message.find("is not a file"), std::string::npos) << message;
    EXPECT_EQ(store->Serialize(location.Get()), E_IVICONFIG_SERIALIZE_FAILED);
    EXPECT_TRUE(std::filesystem::is_directory(folder / "inside"));
}

}  // namespace

// Initialize and Close: option strings, simulation, the identity of a real (emulated)
// instrument, VISA failures, and a second Initialize.
#include <gtest/gtest.h>

#include "testing/driver_test_support.h"

namespace tevo::driver {
namespace {

using namespace tevo::driver::testing;

HRESULT Initialize(ITevo* driver, const wchar_t* resource, VARIANT_BOOL id_query,
                   const wchar_t* options, VARIANT_BOOL reset = VARIANT_FALSE) {
    return driver->Initialize(Bstr(resource).Get(), id_query, reset,
                              options != nullptr ? Bstr(options).Get() : nullptr);
}

bool Flag(IIviDriverOperation* operation,
          HRESULT (STDMETHODCALLTYPE IIviDriverOperation::*getter)(VARIANT_BOOL*)) {
    VARIANT_BOOL value = 0;
    EXPECT_EQ((operation->*getter)(&value), S_OK);
    EXPECT_TRUE(value == VARIANT_TRUE || value == VARIANT_FALSE);
    return value == VARIANT_TRUE;
}

std::wstring Text(IIviDriverIdentity* identity,
                  HRESULT (STDMETHODCALLTYPE IIviDriverIdentity::*getter)(BSTR*)) {
    Bstr text;
    EXPECT_EQ((identity->*getter)(&text), S_OK);
    return text.ToWide();
}

// Initialize against the emulated instrument, once over each transport.
class InitializeWithInstrument : public ::testing::TestWithParam<EmulatorTransport> {};
INSTANTIATE_TEST_SUITE_P(, InitializeWithInstrument, ::testing::ValuesIn(kEmulatorTransports),
                         TransportParamName());

TEST(Initialize, SimulatedSessionHasTheSimulatedIdentity) {
    auto driver = NewDriver();
    ASSERT_EQ(
        Initialize(driver.Get(), L"GPIB0::20::INSTR", VARIANT_TRUE, L"Cache=false, Simulate=true"),
        S_OK);
    auto operation = As<IIviDriverOperation>(driver.Get());
    auto identity = As<IIviDriverIdentity>(driver.Get());
    Bstr descriptor;
    ASSERT_EQ(operation->get_IoResourceDescriptor(&descriptor), S_OK);
    EXPECT_EQ(descriptor.ToWide(), L"GPIB0::20::INSTR");
    EXPECT_EQ(Text(identity.Get(), &IIviDriverIdentity::get_InstrumentManufacturer), L"Valdacor");
    EXPECT_EQ(Text(identity.Get(), &IIviDriverIdentity::get_InstrumentModel),
              L"KLx Simulated Driver");
    EXPECT_EQ(Text(identity.Get(), &IIviDriverIdentity::get_InstrumentFirmwareRevision),
              L"123456/999");
    // Simulation switches the cache on whatever the options said.
    EXPECT_TRUE(Flag(operation.Get(), &IIviDriverOperation::get_Cache));
    Bstr logical_name;
    ASSERT_EQ(operation->get_LogicalName(&logical_name), S_OK);
    EXPECT_NE(logical_name.Get(), nullptr);
    EXPECT_TRUE(logical_name.Empty());
    EXPECT_EQ(driver->Close(), S_OK);
}

TEST(Initialize, OptionNamesAndWordsIgnoreCaseAndBlanks) {
    auto driver = NewDriver();
    ASSERT_EQ(Initialize(driver.Get(), L"x", VARIANT_FALSE,
                         L" SIMULATE = TRUE ,RangeCheck=False,QueryInstrStatus=true,Vendor=Other,"
                         L"DriverSetup= Model:KLC , trailing text"),
              S_OK);
    auto operation = As<IIviDriverOperation>(driver.Get());
    EXPECT_TRUE(Flag(operation.Get(), &IIviDriverOperation::get_Simulate));
    EXPECT_FALSE(Flag(operation.Get(), &IIviDriverOperation::get_RangeCheck));
    EXPECT_TRUE(Flag(operation.Get(), &IIviDriverOperation::get_QueryInstrumentStatus));
    Bstr setup;
    ASSERT_EQ(operation->get_DriverSetup(&setup), S_OK);
    EXPECT_EQ(setup.ToWide(), L"model:klc");
    EXPECT_EQ(driver->Close(), S_OK);
}

TEST(Initialize, BadBooleanFailsAndLeavesTheDriverUninitialized) {
    auto driver = NewDriver();
    EXPECT_EQ(Initialize(driver.Get(), L"x", VARIANT_FALSE, L"Simulate=true,Cache=yes"),
              E_IVI_BAD_OPTION_VALUE);
    EXPECT_EQ(TakeThreadError().description,
              L"Tevo: IDS_E_IVI_BAD_OPTION_VALUE\r\n\nParam: Cache Not True or False");
    VARIANT_BOOL initialized = VARIANT_TRUE;
    EXPECT_EQ(driver->get_Initialized(&initialized), S_OK);
    EXPECT_EQ(initialized, VARIANT_FALSE);
    // The options before the bad one were applied: a later Initialize starts from them.
    EXPECT_EQ(Initialize(driver.Get(), L"x", VARIANT_FALSE, L""), S_OK);
    auto operation = As<IIviDriverOperation>(driver.Get());
    EXPECT_TRUE(Flag(operation.Get(), &IIviDriverOperation::get_Simulate));
    EXPECT_EQ(driver->Close(), S_OK);
}

TEST_P(InitializeWithInstrument, DriverTimeoutMustBeNumericAndIsSetOnTheSession) {
    auto driver = NewDriver();
    EXPECT_EQ(Initialize(driver.Get(), L"x", VARIANT_FALSE, L"Simulate=true,DriverTimeout=10s"),
              E_IVI_BAD_OPTION_VALUE);
    EXPECT_EQ(TakeThreadError().description,
              L"Tevo: IDS_E_IVI_BAD_OPTION_VALUE\r\n\nParameter not numeric for drivertimeout");

    RunningEmulator emulator(GetParam());
    auto real = NewDriver();
    // The time-out counts even when other options follow it.
    ASSERT_EQ(Initialize(real.Get(), emulator.Resource().View().data(), VARIANT_FALSE,
                         L"drivertimeout=4321 99,Cache=false"),
              S_OK);
    auto* object = static_cast<CTevo*>(static_cast<TevoRootFacet*>(real.Get()));
    ViUInt32 timeout = 0;
    ASSERT_EQ(viGetAttribute(object->Io().Instrument(), VI_ATTR_TMO_VALUE, &timeout), VI_SUCCESS);
    EXPECT_EQ(timeout, 4321u);
    EXPECT_EQ(real->Close(), S_OK);
}

TEST_P(InitializeWithInstrument, RealInstrumentIdentityIsReadOnceAndChecked) {
    tevo::emulator::EmulatorOptions options = RunningEmulator::InstantOptions();
    options.model = "KLD";
    options.serial = "777";
    options.firmware = "4.01";
    RunningEmulator emulator(options, GetParam());
    auto driver = NewDriver();
    ASSERT_EQ(Initialize(driver.Get(), emulator.Resource().View().data(), VARIANT_TRUE, nullptr),
              S_OK);
    auto identity = As<IIviDriverIdentity>(driver.Get());
    EXPECT_EQ(Text(identity.Get(), &IIviDriverIdentity::get_InstrumentModel), L"KLD");
    EXPECT_EQ(Text(identity.Get(), &IIviDriverIdentity::get_InstrumentFirmwareRevision), L"4.01");
    EXPECT_EQ(emulator->ReceivedMessages(), std::vector<std::string>{"*IDN?"});
    EXPECT_EQ(driver->Close(), S_OK);
}

TEST_P(InitializeWithInstrument, AnotherInstrumentFailsTheIdentityCheck) {
    RunningEmulator emulator(GetParam());
    emulator->ExpectQuery("*IDN?", "Valdacor,XK9,1,1.0");
    auto driver = NewDriver();
    EXPECT_EQ(Initialize(driver.Get(), emulator.Resource().View().data(), VARIANT_TRUE, nullptr),
              E_IVI_ID_QUERY_FAILED);
    EXPECT_EQ(TakeThreadError().description,
              L"Tevo: IDS_E_IVI_ID_QUERY_FAILED\r\n\nInstrument ID query failed. Error "
              L"code:80047000");
    VARIANT_BOOL initialized = VARIANT_TRUE;
    driver->get_Initialized(&initialized);
    EXPECT_EQ(initialized, VARIANT_FALSE);
    // The connection was given up.
    EXPECT_TRUE(emulator->WaitForDisconnect(std::chrono::seconds(10)));

    // IdQuery 1 is not VARIANT_TRUE: no identity check at all.
    emulator->ClearReceivedMessages();
    EXPECT_EQ(Initialize(driver.Get(), emulator.Resource().View().data(), 1, nullptr), S_OK);
    EXPECT_TRUE(emulator->ReceivedMessages().empty());
    EXPECT_EQ(driver->Close(), S_OK);
}

TEST_P(InitializeWithInstrument, FailedIdentityCheckLeavesNoIdentityBehind) {
    RunningEmulator emulator(GetParam());  // a KLC of Valdacor
    const Bstr resource = emulator.Resource();
    auto driver = NewDriver();
    auto identity = As<IIviDriverIdentity>(driver.Get());
    auto fail_identity_check = [&](const char* foreign_idn) {
        emulator->ClearScript();
        emulator->ExpectQuery("*IDN?", foreign_idn);
        EXPECT_EQ(Initialize(driver.Get(), resource.View().data(), VARIANT_TRUE, nullptr),
                  E_IVI_ID_QUERY_FAILED);
        TakeThreadError();
        EXPECT_TRUE(emulator->WaitForDisconnect(std::chrono::seconds(10)));
        emulator->ClearScript();
        emulator->ClearReceivedMessages();
    };

    // The right analyzer is asked again and accepted.
    fail_identity_check("Valdacor,XK9,1,1.0");
    ASSERT_EQ(Initialize(driver.Get(), resource.View().data(), VARIANT_TRUE, nullptr), S_OK);
    EXPECT_EQ(emulator->ReceivedMessages(), std::vector<std::string>{"*IDN?"});
    EXPECT_EQ(Text(identity.Get(), &IIviDriverIdentity::get_InstrumentModel), L"KLC");
    EXPECT_EQ(driver->Close(), S_OK);

    // Without IdQuery the identity is read when asked for, from the instrument connected.
    fail_identity_check("Othermaker,KLC,1,1.0");
    ASSERT_EQ(Initialize(driver.Get(), resource.View().data(), VARIANT_FALSE, nullptr), S_OK);
    EXPECT_EQ(Text(identity.Get(), &IIviDriverIdentity::get_InstrumentManufacturer), L"Valdacor");
    EXPECT_EQ(Text(identity.Get(), &IIviDriverIdentity::get_InstrumentModel), L"KLC");
    EXPECT_EQ(driver->Close(), S_OK);

    // A simulated session has the simulated identity.
    fail_identity_check("Valdacor,XK9,1,1.0");
    ASSERT_EQ(Initialize(driver.Get(), L"x", VARIANT_TRUE, L"Simulate=true"), S_OK);
    EXPECT_EQ(Text(identity.Get(), &IIviDriverIdentity::get_InstrumentModel),
              L"KLx Simulated Driver");
    EXPECT_EQ(driver->Close(), S_OK);
}

TEST_P(InitializeWithInstrument, UnparsableIdentityFails) {
    RunningEmulator emulator(GetParam());
    emulator->ExpectQuery("*IDN?", ",");
    auto driver = NewDriver();
    EXPECT_EQ(Initialize(driver.Get(), emulator.Resource().View().data(), VARIANT_TRUE, nullptr),
              E_IVI_ID_QUERY_FAILED);
    EXPECT_EQ(TakeThreadError().description,
              L"Tevo: IDS_E_IVI_ID_QUERY_FAILED\r\n\nInstrument ID query failed. Error "
              L"code:80047059");
}

TEST(Initialize, VisaFailuresNameTheStatus) {
    auto driver = NewDriver();
    EXPECT_EQ(Initialize(driver.Get(), L"not a resource", VARIANT_FALSE, nullptr),
              E_IVI_CANNOT_RECOVER);
    EXPECT_EQ(TakeThreadError().description,
              L"Tevo: Cannot recover.\r\n\nVISA error code:bfff0012");
    EXPECT_EQ(driver->Initialize(nullptr, VARIANT_FALSE, VARIANT_FALSE, nullptr),
              E_IVI_INVALID_VALUE);
    EXPECT_EQ(TakeThreadError().description,
              L"Tevo: Invalid value\r\n\nValue: 0, Method: Initialize, "
              L"Param:bstrResourceDescriptor");
}

TEST(Initialize, TwiceFailsAndAfterCloseWorksAgainWithOptionsKept) {
    auto driver = NewDriver();
    ASSERT_EQ(Initialize(driver.Get(), L"x", VARIANT_FALSE, L"Simulate=true,RecordCoercions=true"),
              S_OK);
    EXPECT_EQ(Initialize(driver.Get(), L"x", VARIANT_FALSE, nullptr), E_IVI_ALREADY_INITIALIZED);
    EXPECT_EQ(TakeThreadError().description,
              L"Tevo: The driver is already initialized.\r\n\nThe driver is already initialized.");
    EXPECT_EQ(driver->Close(), S_OK);
    EXPECT_EQ(driver->Close(), E_IVI_NOT_INITIALIZED);
    ASSERT_EQ(Initialize(driver.Get(), L"y", VARIANT_FALSE, nullptr), S_OK);
    auto operation = As<IIviDriverOperation>(driver.Get());
    EXPECT_TRUE(Flag(operation.Get(), &IIviDriverOperation::get_Simulate));
    EXPECT_TRUE(Flag(operation.Get(), &IIviDriverOperation::get_RecordCoercions));
    EXPECT_EQ(driver->Close(), S_OK);
}

TEST_P(InitializeWithInstrument, ResetOnInitializeSendsReset) {
    RunningEmulator emulator(GetParam());
    auto driver = NewDriver();
    ASSERT_EQ(Initialize(driver.Get(), emulator.Resource().View().data(), VARIANT_FALSE, nullptr,
                         VARIANT_TRUE),
              S_OK);
    ASSERT_TRUE(emulator->WaitForMessages(1, std::chrono::seconds(10)));
    EXPECT_EQ(emulator->ReceivedMessages(), std::vector<std::string>{"*RST"});
    EXPECT_EQ(driver->Close(), S_OK);
}

TEST_P(InitializeWithInstrument, FailedResetClosesTheSession) {
    RunningEmulator emulator(GetParam());
    emulator->SetEventStatusBits(32);
    auto driver = NewDriver();
    EXPECT_EQ(Initialize(driver.Get(), emulator.Resource().View().data(), VARIANT_FALSE,
                         L"QueryInstrStatus=true", VARIANT_TRUE),
              E_IVI_RESET_FAILED);
    EXPECT_EQ(TakeThreadError().description,
              L"Tevo: Instrument reset failed.\r\n\nInstrument reset failed. Error code:80047001");
    VARIANT_BOOL initialized = VARIANT_TRUE;
    driver->get_Initialized(&initialized);
    EXPECT_EQ(initialized, VARIANT_FALSE);
}

TEST(Initialize, ObjectOutlivesItsSessionAndIsReleasedAfterClose) {
    // While initialized the object holds a reference on itself; Close gives it up.
    ComPtr<ITevo> driver = NewDriver();
    ASSERT_EQ(Initialize(driver.Get(), L"x", VARIANT_FALSE, L"simulate=true"), S_OK);
    ITevo* raw = driver.Get();
    raw->AddRef();
    EXPECT_EQ(raw->Release(), 2u) << "client reference plus the session's own";
    EXPECT_EQ(driver->Close(), S_OK);
    raw->AddRef();
    EXPECT_EQ(raw->Release(), 1u);
}

}  // namespace
}  // namespace tevo::driver

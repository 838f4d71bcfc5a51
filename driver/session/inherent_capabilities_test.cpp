// The inherent capabilities against an emulated instrument and in simulation: identity
// strings, operation settings, Reset, Disable, SelfTest, ErrorQuery, the status check, the
// unsupported methods and the tracing-runtime interfaces.
#include <gtest/gtest.h>

#include "testing/driver_test_support.h"

namespace tevo::driver {
namespace {

using namespace tevo::driver::testing;
using tevo::emulator::Fault;

class InherentCapabilities : public ::testing::TestWithParam<EmulatorTransport> {
  protected:
    void Open(const wchar_t* options = nullptr) {
        driver_ = NewDriver();
        ASSERT_EQ(driver_->Initialize(emulator_.Resource().Get(), VARIANT_FALSE, VARIANT_FALSE,
                                      options != nullptr ? Bstr(options).Get() : nullptr),
                  S_OK);
        operation_ = As<IIviDriverOperation>(driver_.Get());
        utility_ = As<IIviDriverUtility>(driver_.Get());
        emulator_->ClearReceivedMessages();
    }
    void TearDown() override {
        if (driver_) {
            driver_->Close();
        }
    }
    ViSession Instrument() {
        return static_cast<CTevo*>(static_cast<TevoRootFacet*>(driver_.Get()))->Io().Instrument();
    }
    ViUInt32 SessionTimeout() {
        ViUInt32 timeout = 0;
        EXPECT_EQ(viGetAttribute(Instrument(), VI_ATTR_TMO_VALUE, &timeout), VI_SUCCESS);
        return timeout;
    }

    RunningEmulator emulator_{GetParam()};
    ComPtr<ITevo> driver_;
    ComPtr<IIviDriverOperation> operation_;
    ComPtr<IIviDriverUtility> utility_;
};

TEST_P(InherentCapabilities, ResetWritesResetAndRestoresTheSessionTimeout) {
    Open(L"DriverTimeout=1500");
    EXPECT_EQ(utility_->Reset(), S_OK);
    ASSERT_TRUE(emulator_->WaitForMessages(1, std::chrono::seconds(10)));
    EXPECT_EQ(emulator_->ReceivedMessages(), std::vector<std::string>{"*RST"});
    EXPECT_EQ(SessionTimeout(), 1500u);
    // Also when the operation fails.
    // Also when the operation fails: here the instrument drops the connection at the
    // status check after *RST.
    ASSERT_EQ(operation_->put_QueryInstrumentStatus(VARIANT_TRUE), S_OK);
    emulator_->InjectFault(Fault::CloseConnection("*ESR?"));
    EXPECT_EQ(utility_->Reset(), E_IVI_INSTRUMENT_STATUS);
    EXPECT_EQ(SessionTimeout(), 1500u);
}

TEST_P(InherentCapabilities, QueryTimeoutClearsTheDeviceAndNamesTheVisaStatus) {
    Open(L"DriverTimeout=300");
    emulator_->InjectFault(Fault::NoReply("SYST:ERR?"));
    LONG code = 7;
    Bstr message;
    EXPECT_EQ(utility_->ErrorQuery(&code, &message), E_IVI_CANNOT_RECOVER);
    const auto error = TakeThreadError();
    EXPECT_EQ(error.description, L"Tevo: Cannot recover.\r\n\nError Code: bfff0015");
    EXPECT_EQ(error.guid, IID_IIviDriverUtility);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(message.Get(), nullptr);
    // The next exchange works and gets its own answer, not the late one.
    emulator_->PushError(-222);
    EXPECT_EQ(utility_->ErrorQuery(&code, &message), S_OK);
    EXPECT_EQ(code, -222);
    EXPECT_EQ(message.ToWide(), L"Data out of range");
    // The device clear dropped what the analyzer still owed: over SOCKET by reconnecting,
    // over VXI-11 by a new link of the gateway to the analyzer.
    EXPECT_EQ(emulator_->ConnectionCount(), 2u);
}

TEST_P(InherentCapabilities, EventStatusErrorsFailOnlyWhenQueryInstrumentStatusIsOn) {
    Open();
    emulator_->SetEventStatusBits(32);
    EXPECT_EQ(utility_->Reset(), S_OK);
    ASSERT_TRUE(emulator_->WaitForMessages(1, std::chrono::seconds(10)));
    EXPECT_EQ(emulator_->ReceivedMessages(), std::vector<std::string>{"*RST"});

    ASSERT_EQ(operation_->put_QueryInstrumentStatus(VARIANT_TRUE), S_OK);
    emulator_->ClearReceivedMessages();
    emulator_->SetEventStatusBits(32);
    EXPECT_EQ(utility_->Reset(), E_IVI_INSTRUMENT_STATUS);
    EXPECT_EQ(TakeThreadError().description,
              L"Tevo: Instrument status error.\r\n\nInstrument error detected.  Use "
              L"ErrorQuery() to determine the error(s).");
    EXPECT_EQ(emulator_->ReceivedMessages(), (std::vector<std::string>{"*RST", "*ESR?"}));
    // Operation complete and power-on are no errors (*ESR? read and cleared the rest). A
    // passing check returns the status of its read: a VISA completion code.
    emulator_->SetEventStatusBits(1 | 128);
    EXPECT_EQ(utility_->Reset(), WholeReplyStatus(GetParam()));
}

TEST_P(InherentCapabilities, SelfTestAndErrorQueryReadTheInstrument) {
    Open();
    LONG result = -1;
    Bstr message(L"stale");
    EXPECT_EQ(utility_->SelfTest(&result, &message), S_OK);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(message.ToWide(), L"Selftest passed");

    emulator_->ExpectQuery("*TST?", "+1");
    EXPECT_EQ(utility_->SelfTest(&result, &message), S_OK);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(message.ToWide(), L"Selftest failed");
    emulator_->ClearScript();

    LONG code = -1;
    EXPECT_EQ(utility_->ErrorQuery(&code, &message), S_OK);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(message.ToWide(), L"No error");

    // An error without text: the answer is refused, the code already read is kept.
    emulator_->ExpectQuery("SYST:ERR?", "-100,\"\"");
    EXPECT_EQ(utility_->ErrorQuery(&code, &message), E_IVI_UNEXPECTED_RESPONSE);
    EXPECT_EQ(TakeThreadError().description,
              L"Tevo: IDS_E_IVI_UNEXPECTED_RESPONSE\r\n\nMethod: Error Query, Reason: Bad "
              L"Response string");
    EXPECT_EQ(code, -100);
    EXPECT_EQ(message.Get(), nullptr);

    EXPECT_EQ(utility_->SelfTest(&result, nullptr), E_IVI_NULL_POINTER);
    EXPECT_EQ(TakeThreadError().description,
              L"Tevo: IDS_E_IVI_NULL_POINTER\r\n\nMethod: SelfTest, Param: pMessage");
    EXPECT_EQ(utility_->ErrorQuery(nullptr, &message), E_IVI_NULL_POINTER);
    EXPECT_EQ(TakeThreadError().description,
              L"Tevo: IDS_E_IVI_NULL_POINTER\r\n\nMethod: ErrorQuery, Param: pCode");
}

TEST_P(InherentCapabilities, DisableSucceedsAgainstASilentInstrument) {
    // The status check after *RST finds no instrument answering (the connection drops);
    // Disable succeeds all the same.
    Open(L"QueryInstrStatus=true");
    emulator_->InjectFault(Fault::CloseConnection("*ESR?"));
    EXPECT_EQ(utility_->Disable(), S_OK);
    // Reset reports the lost connection; its device clear makes the session usable again.
    EXPECT_EQ(utility_->Reset(), E_IVI_CANNOT_RECOVER);
    EXPECT_EQ(utility_->Reset(), WholeReplyStatus(GetParam()));
}

TEST_P(InherentCapabilities, SimulateCanBeSwitchedOnButNotOffInASimulatedSession) {
    Open();
    EXPECT_EQ(operation_->put_Simulate(VARIANT_TRUE), S_OK);
    // Now simulated: no I/O.
    LONG result = -1;
    Bstr message;
    EXPECT_EQ(utility_->SelfTest(&result, &message), S_OK);
    EXPECT_EQ(message.ToWide(), L"Selftest passed");
    EXPECT_TRUE(emulator_->ReceivedMessages().empty());
    // Not a simulated session: switching back is allowed.
    EXPECT_EQ(operation_->put_Simulate(VARIANT_FALSE), S_OK);
    driver_->Close();

    auto simulated = NewDriver();
    ASSERT_EQ(simulated->Initialize(Bstr(L"x").Get(), VARIANT_FALSE, VARIANT_FALSE,
                                    Bstr(L"simulate=true").Get()),
              S_OK);
    auto operation = As<IIviDriverOperation>(simulated.Get());
    EXPECT_EQ(operation->put_Simulate(VARIANT_FALSE), E_IVI_CANNOT_CHANGE_SIMULATION_STATE);
    EXPECT_EQ(TakeThreadError().description,
              L"Tevo: IDS_E_IVI_CANNOT_CHANGE_SIMULATION_STATE\r\n\nThe simulation state "
              L"cannot be changed.");
    EXPECT_EQ(operation->put_Simulate(VARIANT_TRUE), S_OK);
    // Any value other than VARIANT_FALSE that is not VARIANT_TRUE stores false, but only
    // VARIANT_FALSE itself is refused.
    EXPECT_EQ(operation->put_Simulate(1), S_OK);
    VARIANT_BOOL simulate = VARIANT_TRUE;
    EXPECT_EQ(operation->get_Simulate(&simulate), S_OK);
    EXPECT_EQ(simulate, VARIANT_FALSE);

    // Operations now want the instrument, and the simulated session has none.
    LONG code = -1;
    EXPECT_EQ(As<IIviDriverUtility>(simulated.Get())->ErrorQuery(&code, &message), E_NOINTERFACE);
    EXPECT_EQ(simulated->Close(), S_OK);
}

TEST_P(InherentCapabilities, SimulatedErrorQueryAndSettingsRules) {
    auto driver = NewDriver();
    ASSERT_EQ(driver->Initialize(Bstr(L"x").Get(), VARIANT_FALSE, VARIANT_FALSE,
                                 Bstr(L"simulate=true").Get()),
              S_OK);
    auto operation = As<IIviDriverOperation>(driver.Get());
    auto utility = As<IIviDriverUtility>(driver.Get());
    LONG code = -1;
    Bstr message;
    EXPECT_EQ(utility->ErrorQuery(&code, &message), S_OK);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(message.ToWide(), L"No Error");
    // SelfTest passes without the instrument: result 0, whatever the variable held.
    LONG test_result = 42;
    EXPECT_EQ(utility->SelfTest(&test_result, &message), S_OK);
    EXPECT_EQ(test_result, 0);
    EXPECT_EQ(message.ToWide(), L"Selftest passed");

    VARIANT_BOOL value = VARIANT_TRUE;
    EXPECT_EQ(operation->put_RangeCheck(1), S_OK);
    EXPECT_EQ(operation->get_RangeCheck(&value), S_OK);
    EXPECT_EQ(value, VARIANT_FALSE);
    EXPECT_EQ(operation->put_RangeCheck(VARIANT_TRUE), S_OK);
    EXPECT_EQ(operation->get_RangeCheck(&value), S_OK);
    EXPECT_EQ(value, VARIANT_TRUE);

    EXPECT_EQ(utility->ResetWithDefaults(), E_IVI_METHOD_NOT_SUPPORTED);
    EXPECT_EQ(TakeThreadError().description,
              L"Tevo: Method not supported.\r\n\nMethod: ResetWithDefaults");
    EXPECT_EQ(operation->InvalidateAllAttributes(), S_OK);
    Bstr warning(L"old");
    EXPECT_EQ(operation->GetNextInterchangeWarning(&warning), E_IVI_METHOD_NOT_SUPPORTED);
    EXPECT_EQ(warning.Get(), nullptr);
    EXPECT_EQ(operation->GetNextCoercionRecord(&warning), E_IVI_METHOD_NOT_SUPPORTED);
    EXPECT_EQ(operation->ResetInterchangeCheck(), E_IVI_METHOD_NOT_SUPPORTED);
    EXPECT_EQ(operation->ClearInterchangeWarnings(), E_IVI_METHOD_NOT_SUPPORTED);

    auto wrapper = As<IIviClassWrapper>(driver.Get());
    LONG handle = 5;
    EXPECT_EQ(wrapper->get_NativeCHandle(&handle), E_IVI_PROPERTY_NOT_SUPPORTED);
    EXPECT_EQ(handle, 0);
    EXPECT_EQ(wrapper->AttachToExistingCSession(3), E_IVI_METHOD_NOT_SUPPORTED);
    EXPECT_EQ(driver->Close(), S_OK);
}

INSTANTIATE_TEST_SUITE_P(, InherentCapabilities, ::testing::ValuesIn(kEmulatorTransports),
                         TransportParamName());

TEST(TracingRuntimeInterfaces, SwitchAndMessageProviderNeedNoSession) {
    auto driver = NewDriver();
    auto trace_switch = As<ITraceSwitch>(driver.Get());
    VARIANT_BOOL enabled = VARIANT_TRUE;
    EXPECT_EQ(trace_switch->get_Enabled(&enabled), S_OK);
    EXPECT_EQ(enabled, VARIANT_FALSE);
    EXPECT_EQ(trace_switch->put_Enabled(1), S_OK);  // any non-zero value
    EXPECT_EQ(trace_switch->get_Enabled(&enabled), S_OK);
    EXPECT_EQ(enabled, VARIANT_TRUE);
    EXPECT_EQ(trace_switch->get_Enabled(nullptr), E_IVI_NULL_POINTER);
    TakeThreadError();

    auto provider = As<IMessageProvider>(driver.Get());
    BSTR message = SysAllocString(L"x");
    BSTR original = message;
    EXPECT_EQ(provider->get_Message(&message), E_IVI_UNEXPECTED_RESPONSE);
    SysFreeString(original);
    EXPECT_EQ(message, nullptr);
    EXPECT_EQ(TakeThreadError().description,
              L"Tevo: IDS_E_IVI_UNEXPECTED_RESPONSE\r\n\nMethod: get_Message, Reason: Not "
              L"Supported for Visa C.");
}

TEST(DriverObject, InterfacesShareOneIdentityAndErrorInfoSupport) {
    auto driver = NewDriver();
    ComPtr<IUnknown> identity_a;
    ComPtr<IUnknown> identity_b;
    ASSERT_EQ(driver->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity_a)), S_OK);
    auto operation = As<IIviDriverOperation>(driver.Get());
    ASSERT_EQ(operation->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity_b)), S_OK);
    EXPECT_EQ(identity_a.Get(), identity_b.Get());
    // IIviDriver and ITevo are one vtable, as are the two identity interfaces.
    EXPECT_EQ(static_cast<IUnknown*>(As<IIviDriver>(driver.Get()).Get()),
              static_cast<IUnknown*>(driver.Get()));
    EXPECT_EQ(static_cast<IUnknown*>(As<IIviComponentIdentity>(driver.Get()).Get()),
              static_cast<IUnknown*>(As<IIviDriverIdentity>(driver.Get()).Get()));
    ComPtr<IUnknown> none;
    EXPECT_EQ(driver->QueryInterface(IID_IIviSpecAnTrace, reinterpret_cast<void**>(&none)),
              E_NOINTERFACE);

    auto support = As<ISupportErrorInfo>(driver.Get());
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IIviDriverOperation), S_OK);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_ITevoTriggerVideo), S_OK);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_ITraceSwitch), S_FALSE);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IIviSpecAnTrace), S_FALSE);

    auto class_info = As<IProvideClassInfo2>(driver.Get());
    GUID source = IID_ITevo;
    EXPECT_EQ(class_info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source), S_OK);
    EXPECT_EQ(source, GUID_NULL);
}

}  // namespace
}  // namespace tevo::driver

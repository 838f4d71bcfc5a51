#include "session/driver_session.h"

#include "session/config_store_access.h"
#include "session/driver_module.h"
#include "session/error_codes.h"
#include "session/error_query_answer.h"
#include "session/identification.h"
#include "session/option_string.h"
#include "session/text_conversion.h"
#include "session/trace_state.h"

namespace tevo::driver {

namespace {

constexpr LONG kIdnReplyLimit = 1024;
constexpr LONG kShortReplyLimit = 100;

VARIANT_BOOL ToVariantBool(bool value) {
    return value ? VARIANT_TRUE : VARIANT_FALSE;
}

// Inputs count as true only when they are VARIANT_TRUE (-1).
bool IsTrue(VARIANT_BOOL value) {
    return value == VARIANT_TRUE;
}

// Frees what an in/out BSTR holds and leaves it null.
void ClearBstr(BSTR* out) {
    SysFreeString(*out);
    *out = nullptr;
}

struct OptionFlag {
    const char* key;
    const char* message_name;
    bool SessionState::*flag;
};

constexpr OptionFlag kOptionFlags[] = {
    {"cache", "Cache", &SessionState::cache},
    {"interchangecheck", "InterchangeCheck", &SessionState::interchange_check},
    {"queryinstrstatus", "QueryInstrStatus", &SessionState::query_instrument_status},
    {"rangecheck", "RangeCheck", &SessionState::range_check},
    {"recordcoercions", "RecordCoercions", &SessionState::record_coercions},
    {"simulate", "Simulate", &SessionState::simulate},
};

}  // namespace

DriverSession::DriverSession() : io_(*this) {}

DriverSession::~DriverSession() {
    NoteTraceSwitchChange(trace_enabled_.load(), false);
    io_.Close();
    ReleaseConfigurationReferences();
}

HRESULT DriverSession::ReportNullPointer(const char* method, const char* parameter) {
    return ReportError(Errors(), kNullPointer, kNullPointerDetails, method, parameter);
}

HRESULT DriverSession::ReportNotSupported(const char* method) {
    return ReportError(Errors(), kMethodNotSupported, kNotSupportedDetails, method);
}

bool DriverSession::IsSimulating() {
    VARIANT_BOOL simulate = VARIANT_FALSE;
    return SUCCEEDED(OwnOperation()->get_Simulate(&simulate)) && IsTrue(simulate);
}

HRESULT DriverSession::LoadString(UINT id, BSTR* out, const char* parameter) {
    if (out == nullptr) {
        return ReportNullPointer("LoadDriverResourceString", parameter);
    }
    *out = nullptr;
    std::string text;
    if (!LoadDriverString(id, text)) {
        return S_OK;  // a string that cannot be loaded is a null BSTR
    }
    *out = AnsiToBstr(text);
    return *out != nullptr || text.empty() ? S_OK : E_OUTOFMEMORY;
}

HRESULT DriverSession::ReturnText(const std::string& text, BSTR* out, const char* method,
                                  const char* parameter) {
    if (out == nullptr) {
        return ReportNullPointer(method, parameter);
    }
    *out = AnsiToBstr(text);
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT DriverSession::GetFlag(bool flag, VARIANT_BOOL* out, const char* method,
                               const char* parameter) {
    if (out == nullptr) {
        return ReportNullPointer(method, parameter);
    }
    *out = ToVariantBool(flag);
    return S_OK;
}

// ---------------------------------------------------------------- identity

HRESULT DriverSession::IdentityGetDescription(BSTR* pbstr) {
    return LoadString(kStringDescription, pbstr, "pbstr");
}
HRESULT DriverSession::IdentityGetRevision(BSTR* pbstr) {
    return LoadString(kStringRevision, pbstr, "pbstr");
}
HRESULT DriverSession::IdentityGetVendor(BSTR* pbstr) {
    return LoadString(kStringVendor, pbstr, "pbstr");
}
HRESULT DriverSession::IdentityGetIdentifier(BSTR* pVal) {
    return LoadString(kStringIdentifier, pVal, "pVal");
}
HRESULT DriverSession::IdentityGetSupportedInstrumentModels(BSTR* pbstr) {
    return LoadString(kStringSupportedInstrumentModels, pbstr, "pbstr");
}
HRESULT DriverSession::IdentityGetGroupCapabilities(BSTR* pbstr) {
    return LoadString(kStringGroupCapabilities, pbstr, "pbstr");
}

HRESULT DriverSession::IdentityGetSpecificationMajorVersion(LONG* plVer) {
    if (plVer == nullptr) {
        return ReportNullPointer("get_SpecificationMajorVersion", "plVer");
    }
    std::string text;
    LoadDriverString(kStringSpecificationMajorVersion, text);
    *plVer = _atol_l(text.c_str(), CLocale());
    return S_OK;
}

HRESULT DriverSession::IdentityGetSpecificationMinorVersion(LONG* plVer) {
    if (plVer == nullptr) {
        return ReportNullPointer("get_SpecificationMinorVersion", "plVer");
    }
    std::string text;
    LoadDriverString(kStringSpecificationMinorVersion, text);
    *plVer = _atol_l(text.c_str(), CLocale());
    return S_OK;
}

HRESULT DriverSession::IdentityGetInstrumentManufacturer(BSTR* pbstr) {
    if (pbstr == nullptr) {
        return ReportNullPointer("get_InstrumentManufacturer", "pbstr");
    }
    *pbstr = nullptr;
    const HRESULT hr = InitializeIdentification();
    if (FAILED(hr)) {
        return hr;
    }
    return ReturnText(state_.instrument_manufacturer, pbstr, "get_InstrumentManufacturer", "pbstr");
}

HRESULT DriverSession::IdentityGetInstrumentModel(BSTR* pbstr) {
    if (pbstr == nullptr) {
        return ReportNullPointer("get_InstrumentModel", "pbstr");
    }
    *pbstr = nullptr;
    const HRESULT hr = InitializeIdentification();
    if (FAILED(hr)) {
        return hr;
    }
    return ReturnText(state_.instrument_model, pbstr, "get_InstrumentModel", "pbstr");
}

HRESULT DriverSession::IdentityGetInstrumentFirmwareRevision(BSTR* pbstr) {
    if (pbstr == nullptr) {
        return ReportNullPointer("get_InstrumentFirmwareRevision", "pbstr");
    }
    *pbstr = nullptr;
    const HRESULT hr = InitializeIdentification();
    if (FAILED(hr)) {
        return hr;
    }
    return ReturnText(state_.instrument_firmware_revision, pbstr, "get_InstrumentFirmwareRevision",
                      "pbstr");
}

// ---------------------------------------------------------------- IIviDriver

HRESULT DriverSession::QueryOwnInterface(REFIID iid, void** out, const char* method) {
    if (out == nullptr) {
        return ReportNullPointer(method, "pVal");
    }
    *out = nullptr;
    return OwnUnknown()->QueryInterface(iid, out);
}

HRESULT DriverSession::DriverGetDriverOperation(IIviDriverOperation** pVal) {
    return QueryOwnInterface(IID_IIviDriverOperation, reinterpret_cast<void**>(pVal),
                             "get_DriverOperation");
}
HRESULT DriverSession::DriverGetIdentity(IIviDriverIdentity** pVal) {
    return QueryOwnInterface(IID_IIviDriverIdentity, reinterpret_cast<void**>(pVal),
                             "get_Identity");
}
HRESULT DriverSession::DriverGetUtility(IIviDriverUtility** pVal) {
    return QueryOwnInterface(IID_IIviDriverUtility, reinterpret_cast<void**>(pVal), "get_Utility");
}

HRESULT DriverSession::DriverGetInitialized(VARIANT_BOOL* pbInitialized) {
    return GetFlag(state_.initialized, pbInitialized, "get_Initialized", "pbInitialized");
}

HRESULT DriverSession::DriverInitialize(BSTR ResourceName, VARIANT_BOOL IdQuery, VARIANT_BOOL Reset,
                                        BSTR OptionString) {
    if (ResourceName == nullptr) {
        return ReportError(Errors(), kInvalidValue, kInvalidValueDetails,
                           FormatTextF("%d", 0).c_str(), "Initialize", "bstrResourceDescriptor");
    }
    if (state_.initialized) {
        return ReportError(Errors(), kAlreadyInitialized, "The driver is already initialized.");
    }
    // Whatever instrument answered before (also one that failed the identity check) is not
    // the one this session is about to open.
    ForgetIdentity();
    // A driver session of the IVI configuration store, or else a VISA resource descriptor.
    ReleaseConfigurationReferences();
    tevo::com::ComPtr<IIviDriverSession> session;
    if (tevo::com::ComPtr<IIviConfigStore> store = OpenConfigStore()) {
        session = FindDriverSession(store.Get(), ResourceName);
        state_.config_store_ref = store.Detach();
    }
    HRESULT hr = S_OK;
    if (session) {
        state_.logical_name = BstrToAnsi(ResourceName);
        state_.driver_session_ref = session.Detach();
        hr = LoadDriverConfiguration(state_.driver_session_ref);
    } else {
        state_.io_resource_descriptor = BstrToAnsi(ResourceName);
    }
    if (SUCCEEDED(hr)) {
        hr = ProcessOptionString(OptionString);
    }
    if (FAILED(hr)) {
        return hr;
    }
    if (state_.simulate) {
        state_.cache = true;
        state_.simulated_session = true;
    } else {
        state_.simulated_session = false;
        hr = OpenInstrument();
        if (FAILED(hr)) {
            return hr;
        }
    }
    if (IsTrue(IdQuery)) {
        hr = InitializeIdentification();
        if (SUCCEEDED(hr)) {
            hr = AuthenticateInstrument(state_.instrument_manufacturer, state_.instrument_model,
                                        state_.serial_number, state_.instrument_firmware_revision,
                                        state_.idn_response);
        }
        if (FAILED(hr)) {
            io_.Close();
            return ReportError(Errors(), kIdQueryFailed,
                               "Instrument ID query failed. Error code:%lx",
                               static_cast<ULONG>(hr));
        }
    }
    hr = InitializeInstrumentSpecific(ResourceName, IdQuery, Reset, OptionString);
    if (FAILED(hr)) {
        return hr;
    }
    state_.initialized = true;
    if (IsTrue(Reset)) {
        const HRESULT reset = OwnUtility()->Reset();
        if (FAILED(reset)) {
            tevo::com::ComPtr<IIviDriver> driver;
            if (SUCCEEDED(OwnUnknown()->QueryInterface(IID_IIviDriver,
                                                       reinterpret_cast<void**>(&driver)))) {
                driver->Close();
            }
            return ReportError(Errors(), kResetFailed, "Instrument reset failed. Error code:%lx",
                               static_cast<ULONG>(reset));
        }
        return reset;
    }
    return hr;
}

HRESULT DriverSession::LoadDriverConfiguration(IIviDriverSession* pDriverSession) {
    if (pDriverSession == nullptr) {
        return ReportError(Errors(), kInvalidValue, kInvalidValueDetails,
                           FormatTextF("%d", 0).c_str(), "LoadDriverConfiguration",
                           "pDriverSession");
    }
    tevo::com::ComPtr<IIviHardwareAsset> asset;
    HRESULT hr = pDriverSession->get_HardwareAsset(&asset);
    if (FAILED(hr) || !asset) {
        state_.io_resource_descriptor.clear();
        return hr;
    }
    BSTR descriptor = nullptr;
    hr = asset->get_IOResourceDescriptor(&descriptor);
    if (FAILED(hr)) {
        return hr;
    }
    state_.io_resource_descriptor = BstrToAnsi(descriptor);
    SysFreeString(descriptor);
    // Read in this order; a failing read stops here, the flags read before it keep their
    // new values.
    using Getter = HRESULT (STDMETHODCALLTYPE IIviDriverSession::*)(VARIANT_BOOL*);
    const std::pair<Getter, bool SessionState::*> flags[] = {
        {&IIviDriverSession::get_Cache, &SessionState::cache},
        {&IIviDriverSession::get_InterchangeCheck, &SessionState::interchange_check},
        {&IIviDriverSession::get_QueryInstrStatus, &SessionState::query_instrument_status},
        {&IIviDriverSession::get_RangeCheck, &SessionState::range_check},
        {&IIviDriverSession::get_RecordCoercions, &SessionState::record_coercions},
        {&IIviDriverSession::get_Simulate, &SessionState::simulate},
    };
    for (const auto& [getter, flag] : flags) {
        VARIANT_BOOL value = VARIANT_FALSE;
        hr = (pDriverSession->*getter)(&value);
        if (FAILED(hr)) {
            return hr;
        }
        state_.*flag = IsTrue(value);
    }
    return hr;
}

HRESULT DriverSession::OpenInstrument() {
    const std::wstring resource = AnsiToWide(state_.io_resource_descriptor);
    const ViStatus status = io_.Open(resource.c_str());
    if (status < VI_SUCCESS) {
        return ReportError(Errors(), kCannotRecover, "VISA error code:%lx",
                           static_cast<ULONG>(status));
    }
    if (status > VI_SUCCESS) {
        io_.Close();
        return ReportError(Errors(), kCannotRecover, "VISA completion code:%lx",
                           static_cast<ULONG>(status));
    }
    if (state_.driver_timeout > 0) {
        const ViSession instrument = io_.Instrument();
        const ViStatus set = instrument == 0
                                 ? static_cast<ViStatus>(E_NOINTERFACE)
                                 : viSetAttribute(instrument, VI_ATTR_TMO_VALUE,
                                                  static_cast<ViAttrState>(state_.driver_timeout));
        if (set < VI_SUCCESS) {
            io_.Close();
            return ReportError(Errors(), kCannotRecover, "VISA error code:%lx",
                               static_cast<ULONG>(set));
        }
    }
    return S_OK;
}

HRESULT DriverSession::ProcessOptionString(BSTR OptionString) {
    if (OptionString == nullptr) {
        return S_OK;
    }
    HRESULT hr = S_OK;
    for (const auto& [name, value] : SplitOptionString(BstrToAnsi(OptionString))) {
        hr = ProcessInitOption(name.c_str(), value.c_str());
        if (FAILED(hr)) {
            break;
        }
    }
    return hr;
}

HRESULT DriverSession::ProcessInitOption(const char* name, const char* value) {
    if (name == nullptr || value == nullptr) {
        return ReportError(Errors(), kInvalidValue, kInvalidValueDetails,
                           FormatTextF("%d", 0).c_str(), "ProcessInitOption",
                           name == nullptr ? "pszName" : "pszValue");
    }
    const std::string key = NormalizeOptionText(name);
    const std::string setting = NormalizeOptionText(value);
    bool known_flag = false;
    for (const OptionFlag& option : kOptionFlags) {
        if (key == option.key) {
            const std::optional<bool> parsed = ParseOptionBoolean(setting);
            if (!parsed) {
                return ReportError(Errors(), kBadOptionValue, "Param: %s Not True or False",
                                   option.message_name);
            }
            state_.*option.flag = *parsed;
            known_flag = true;
            break;
        }
    }
    if (!known_flag) {
        if (key == "driversetup") {
            state_.driver_setup = setting;
        } else if (key == "drivertimeout" && *value != '\0') {
            // Any drivertimeout option takes effect, wherever it stands in the string.
            const std::optional<LONG> timeout = ParseDriverTimeout(value);
            if (!timeout) {
                return ReportError(Errors(), kBadOptionValue,
                                   "Parameter not numeric for drivertimeout");
            }
            state_.driver_timeout = *timeout;
        }
    }
    state_.option_map[key] = setting;
    return S_OK;
}

HRESULT DriverSession::InitializeIdentification() {
    if (state_.identity_read) {
        return S_OK;
    }
    std::wstring answer;
    HRESULT hr = S_OK;
    if (state_.simulate) {
        std::string simulated;
        LoadDriverString(kStringSimulatedIdn, simulated);
        answer = AnsiToWide(simulated);
    } else {
        hr = io_.QueryText(L"*IDN?", &answer, kIdnReplyLimit, kSessionTimeout);
        if (FAILED(hr)) {
            return hr;
        }
    }
    const std::string text = WideToAnsi(answer);
    IdentityFields fields;
    if (ParseIdentity(text, fields) == 0) {
        return ReportError(Errors(), kUnexpectedResponse, kUnexpectedResponseDetails,
                           "InitializeIdentification", "Bad IDN String.");
    }
    state_.instrument_manufacturer = fields.manufacturer;
    state_.instrument_model = fields.model;
    state_.serial_number = fields.serial_number;
    state_.instrument_firmware_revision = fields.firmware_revision;
    state_.idn_response = text;
    state_.identity_read = true;
    return hr;
}

HRESULT DriverSession::AuthenticateInstrument(const std::string& manufacturer,
                                              const std::string& model,
                                              const std::string& serial_number,
                                              const std::string& firmware_revision,
                                              const std::string& idn_response) {
    (void)serial_number;
    (void)firmware_revision;
    (void)idn_response;
    const IdentityFields fields{manufacturer, model, {}, {}};
    if (IdentityMismatch(fields) != nullptr) {
        return ReportMessageError(Errors(), kMessageCannotRecover);
    }
    return S_OK;
}

void DriverSession::ForgetIdentity() {
    state_.identity_read = false;
    state_.instrument_manufacturer.clear();
    state_.instrument_model.clear();
    state_.serial_number.clear();
    state_.instrument_firmware_revision.clear();
    state_.idn_response.clear();
}

void DriverSession::ReleaseConfigurationReferences() {
    if (state_.driver_session_ref != nullptr) {
        state_.driver_session_ref->Release();
        state_.driver_session_ref = nullptr;
    }
    if (state_.config_store_ref != nullptr) {
        state_.config_store_ref->Release();
        state_.config_store_ref = nullptr;
    }
}

HRESULT DriverSession::DriverClose() {
    if (!state_.initialized) {
        return ReportError(Errors(), kNotInitialized, kNotConnectedDetails);
    }
    if (!state_.simulated_session) {
        io_.Close();
    }
    ReleaseConfigurationReferences();
    state_.initialized = false;
    ForgetIdentity();
    return CloseInstrumentSpecific();
}

// ---------------------------------------------------------------- IIviDriverOperation

HRESULT DriverSession::OperationGetLogicalName(BSTR* pbstrName) {
    return ReturnText(state_.logical_name, pbstrName, "get_LogicalName", "pbstrName");
}
HRESULT DriverSession::OperationGetIoResourceDescriptor(BSTR* pbstrName) {
    return ReturnText(state_.io_resource_descriptor, pbstrName, "get_IoResourceDescriptor",
                      "pbstrName");
}
HRESULT DriverSession::OperationGetDriverSetup(BSTR* pVal) {
    return ReturnText(state_.driver_setup, pVal, "get_DriverSetup", "pVal");
}
HRESULT DriverSession::OperationGetCache(VARIANT_BOOL* pbCache) {
    return GetFlag(state_.cache, pbCache, "get_Cache", "pbCache");
}
HRESULT DriverSession::OperationPutCache(VARIANT_BOOL value) {
    state_.cache = IsTrue(value);
    return S_OK;
}
HRESULT DriverSession::OperationGetInterchangeCheck(VARIANT_BOOL* pbInterchangeCheck) {
    return GetFlag(state_.interchange_check, pbInterchangeCheck, "get_InterchangeCheck",
                   "pbInterchangeCheck");
}
HRESULT DriverSession::OperationPutInterchangeCheck(VARIANT_BOOL value) {
    state_.interchange_check = IsTrue(value);
    return S_OK;
}
HRESULT DriverSession::OperationGetQueryInstrumentStatus(VARIANT_BOOL* pbQueryInstrStatus) {
    return GetFlag(state_.query_instrument_status, pbQueryInstrStatus, "get_QueryInstrumentStatus",
                   "pbQueryInstrStatus");
}
HRESULT DriverSession::OperationPutQueryInstrumentStatus(VARIANT_BOOL value) {
    state_.query_instrument_status = IsTrue(value);
    return S_OK;
}
HRESULT DriverSession::OperationGetRangeCheck(VARIANT_BOOL* pbRangeCheck) {
    return GetFlag(state_.range_check, pbRangeCheck, "get_RangeCheck", "pbRangeCheck");
}
HRESULT DriverSession::OperationPutRangeCheck(VARIANT_BOOL value) {
    state_.range_check = IsTrue(value);
    return S_OK;
}
HRESULT DriverSession::OperationGetRecordCoercions(VARIANT_BOOL* pbRecordCoercions) {
    return GetFlag(state_.record_coercions, pbRecordCoercions, "get_RecordCoercions",
                   "pbRecordCoercions");
}
HRESULT DriverSession::OperationPutRecordCoercions(VARIANT_BOOL value) {
    state_.record_coercions = IsTrue(value);
    return S_OK;
}
HRESULT DriverSession::OperationGetSimulate(VARIANT_BOOL* pbSimulate) {
    return GetFlag(state_.simulate, pbSimulate, "get_Simulate", "pbSimulate");
}
HRESULT DriverSession::OperationPutSimulate(VARIANT_BOOL value) {
    if (state_.simulated_session && value == VARIANT_FALSE) {
        return ReportError(Errors(), kCannotChangeSimulationState,
                           "The simulation state cannot be changed.");
    }
    state_.simulate = IsTrue(value);
    return S_OK;
}
HRESULT DriverSession::OperationInvalidateAllAttributes() {
    InvalidateInstrumentAttributes();
    return S_OK;
}
HRESULT DriverSession::OperationClearInterchangeWarnings() {
    return ReportNotSupported("ClearInterchangeWarnings");
}
HRESULT DriverSession::OperationGetNextInterchangeWarning(BSTR* pbstrWarning) {
    if (pbstrWarning == nullptr) {
        return ReportNullPointer("GetNextInterchangeWarning", "pbstrWarning");
    }
    *pbstrWarning = nullptr;
    return ReportNotSupported("GetNextInterchangeWarning");
}
HRESULT DriverSession::OperationResetInterchangeCheck() {
    return ReportNotSupported("ResetInterchangeCheck");
}
HRESULT DriverSession::OperationGetNextCoercionRecord(BSTR* pbstrRecord) {
    if (pbstrRecord == nullptr) {
        return ReportNullPointer("GetNextCoercionRecord", "pbstrRecord");
    }
    *pbstrRecord = nullptr;
    return ReportNotSupported("GetNextCoercionRecord");
}

// ---------------------------------------------------------------- IIviDriverUtility

HRESULT DriverSession::UtilityReset() {
    if (IsSimulating()) {
        return S_OK;
    }
    if (const HRESULT settled = SettlePendingReplies(); FAILED(settled)) {
        return settled;
    }
    return io_.Write(L"*RST", kLongOperationTimeout);
}

HRESULT DriverSession::UtilityResetWithDefaults() {
    return ReportNotSupported("ResetWithDefaults");
}

HRESULT DriverSession::UtilityDisable() {
    if (IsSimulating()) {
        return S_OK;
    }
    // Disable never fails: a reply still owed is read if it comes, and *RST goes out anyway.
    SettlePendingReplies();
    io_.Write(L"*RST", kLongOperationTimeout);
    return S_OK;
}

HRESULT DriverSession::UtilitySelfTest(LONG* TestResult, BSTR* TestMessage) {
    if (TestMessage == nullptr) {
        return ReportNullPointer("SelfTest", "pMessage");
    }
    ClearBstr(TestMessage);
    if (TestResult == nullptr) {
        return ReportNullPointer("SelfTest", "pResult");
    }
    *TestResult = 0;
    HRESULT hr = S_OK;
    if (!IsSimulating()) {
        hr = SettlePendingReplies();
        if (FAILED(hr)) {
            return hr;
        }
        hr = io_.QueryInt(L"*TST?", TestResult, kLongOperationTimeout);
        if (FAILED(hr)) {
            return hr;
        }
    }
    *TestMessage = SysAllocString(*TestResult == 0 ? L"Selftest passed" : L"Selftest failed");
    return *TestMessage != nullptr ? hr : E_OUTOFMEMORY;
}

HRESULT DriverSession::UtilityErrorQuery(LONG* ErrorCode, BSTR* ErrorMessage) {
    if (ErrorMessage == nullptr) {
        return ReportNullPointer("ErrorQuery", "pMessage");
    }
    ClearBstr(ErrorMessage);
    if (ErrorCode == nullptr) {
        return ReportNullPointer("ErrorQuery", "pCode");
    }
    *ErrorCode = 0;
    std::wstring answer;
    if (IsSimulating()) {
        std::string simulated;
        LoadDriverString(kStringSimulatedErrorQuery, simulated);
        answer = AnsiToWide(simulated);
    } else {
        HRESULT hr = SettlePendingReplies();
        if (FAILED(hr)) {
            return hr;
        }
        hr = io_.QueryText(L"SYST:ERR?", &answer, kShortReplyLimit, kSessionTimeout);
        if (FAILED(hr)) {
            return hr;
        }
    }
    std::wstring message;
    if (ScanErrorQueryAnswer(answer, *ErrorCode, message) != 2) {
        return ReportError(Errors(), kUnexpectedResponse, kUnexpectedResponseDetails, "Error Query",
                           "Bad Response string");
    }
    *ErrorMessage = SysAllocStringLen(message.data(), static_cast<UINT>(message.size()));
    return *ErrorMessage != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT DriverSession::UtilityLockObject() {
    // The frame has taken the object lock before the call lock (see ObjectLockStep).
    return S_OK;
}

HRESULT DriverSession::UtilityUnlockObject() {
    locks_.object_lock.Release();
    return S_OK;
}

// ---------------------------------------------------------------- IIviClassWrapper

HRESULT DriverSession::ClassWrapperAttachToExistingCSession(LONG Vi) {
    (void)Vi;
    return ReportNotSupported("AttachToExistingCSession");
}

HRESULT DriverSession::ClassWrapperGetNativeCHandle(LONG* pVal) {
    if (pVal == nullptr) {
        return ReportNullPointer("get_NativeCHandle", "pVal");
    }
    *pVal = 0;
    return ReportError(Errors(), kPropertyNotSupported, kNotSupportedDetails, "get_NativeCHandle");
}

// ---------------------------------------------------------------- tracing runtime parts

HRESULT DriverSession::MessageProviderGetMessage(BSTR* ppVal) {
    if (ppVal == nullptr) {
        return ReportNullPointer("get_Message", "ppVal");
    }
    *ppVal = nullptr;
    return ReportError(Errors(), kUnexpectedResponse, kUnexpectedResponseDetails, "get_Message",
                       "Not Supported for Visa C.");
}

HRESULT DriverSession::TraceSwitchGetEnabled(VARIANT_BOOL* pbEnabled) {
    return GetFlag(trace_enabled_.load(), pbEnabled, "get_Enabled", "pbEnabled");
}

HRESULT DriverSession::TraceSwitchPutEnabled(VARIANT_BOOL value) {
    const bool on = value != 0;
    NoteTraceSwitchChange(trace_enabled_.exchange(on), on);
    return S_OK;
}

}  // namespace tevo::driver

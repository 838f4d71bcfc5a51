// DriverSession: the session core of the main driver object. It holds the session state,
// the locks and the instrument I/O, and implements the inner side of the IVI inherent
// interfaces (IIviDriver, its identity, operation and utility parts, IIviClassWrapper),
// of ITraceSwitch and IMessageProvider. The COM object (CTevo) derives from it and from
// the facets that frame each interface method.
//
// Inner implementations check their own arguments first: a null output pointer gives
// error 30022 "Method: %s, Param: %s"; outputs are cleared before any other work.
#pragma once

#include <atomic>
#include <string>

#include "io/instrument_io.h"
#include "session/call_frame.h"
#include "session/session_state.h"
#include "tevo/Tevo.h"

namespace tevo::driver {

class DriverSession : public FrameObject, public FrameRoot, public InstrumentIoOwner {
  public:
    DriverSession();
    virtual ~DriverSession();
    DriverSession(const DriverSession&) = delete;
    DriverSession& operator=(const DriverSession&) = delete;

    // ---- FrameObject / FrameRoot / InstrumentIoOwner ----
    FrameRoot* FrameRootPointer() override { return root_.load(); }
    FrameLocks& Locks() override { return locks_; }
    bool IsSessionActive() override { return true; }
    bool IsInitializedUnderCallLock() override { return state_.initialized; }
    bool QueryInstrumentStatusEnabled() override { return state_.query_instrument_status; }
    ErrorSource IoErrorSource() override { return Errors(); }

    // ---- IIviComponentIdentity ----
    HRESULT IdentityGetDescription(BSTR* pbstr);
    HRESULT IdentityGetRevision(BSTR* pbstr);
    HRESULT IdentityGetVendor(BSTR* pbstr);
    // ---- IIviDriverIdentity ----
    HRESULT IdentityGetInstrumentManufacturer(BSTR* pbstr);
    HRESULT IdentityGetInstrumentModel(BSTR* pbstr);
    HRESULT IdentityGetInstrumentFirmwareRevision(BSTR* pbstr);
    HRESULT IdentityGetIdentifier(BSTR* pVal);
    HRESULT IdentityGetSupportedInstrumentModels(BSTR* pbstr);
    HRESULT IdentityGetSpecificationMajorVersion(LONG* plVer);
    HRESULT IdentityGetSpecificationMinorVersion(LONG* plVer);
    HRESULT IdentityGetGroupCapabilities(BSTR* pbstr);
    // ---- IIviDriver ----
    HRESULT DriverGetDriverOperation(IIviDriverOperation** pVal);
    HRESULT DriverGetIdentity(IIviDriverIdentity** pVal);
    HRESULT DriverGetUtility(IIviDriverUtility** pVal);
    HRESULT DriverInitialize(BSTR ResourceName, VARIANT_BOOL IdQuery, VARIANT_BOOL Reset,
                             BSTR OptionString);
    HRESULT DriverGetInitialized(VARIANT_BOOL* pbInitialized);
    HRESULT DriverClose();
    // ---- IIviDriverOperation ----
    HRESULT OperationGetLogicalName(BSTR* pbstrName);
    HRESULT OperationGetIoResourceDescriptor(BSTR* pbstrName);
    HRESULT OperationGetCache(VARIANT_BOOL* pbCache);
    HRESULT OperationPutCache(VARIANT_BOOL value);
    HRESULT OperationGetInterchangeCheck(VARIANT_BOOL* pbInterchangeCheck);
    HRESULT OperationPutInterchangeCheck(VARIANT_BOOL value);
    HRESULT OperationGetQueryInstrumentStatus(VARIANT_BOOL* pbQueryInstrStatus);
    HRESULT OperationPutQueryInstrumentStatus(VARIANT_BOOL value);
    HRESULT OperationGetRangeCheck(VARIANT_BOOL* pbRangeCheck);
    HRESULT OperationPutRangeCheck(VARIANT_BOOL value);
    HRESULT OperationGetRecordCoercions(VARIANT_BOOL* pbRecordCoercions);
    HRESULT OperationPutRecordCoercions(VARIANT_BOOL value);
    HRESULT OperationGetSimulate(VARIANT_BOOL* pbSimulate);
    HRESULT OperationPutSimulate(VARIANT_BOOL value);
    HRESULT OperationGetDriverSetup(BSTR* pVal);
    HRESULT OperationInvalidateAllAttributes();
    HRESULT OperationClearInterchangeWarnings();
    HRESULT OperationGetNextInterchangeWarning(BSTR* pbstrWarning);
    HRESULT OperationResetInterchangeCheck();
    HRESULT OperationGetNextCoercionRecord(BSTR* pbstrRecord);
    // ---- IIviDriverUtility ----
    HRESULT UtilityReset();
    HRESULT UtilityResetWithDefaults();
    HRESULT UtilityDisable();
    HRESULT UtilitySelfTest(LONG* TestResult, BSTR* TestMessage);
    HRESULT UtilityErrorQuery(LONG* ErrorCode, BSTR* ErrorMessage);
    HRESULT UtilityLockObject();
    HRESULT UtilityUnlockObject();
    // ---- IIviClassWrapper ----
    HRESULT ClassWrapperAttachToExistingCSession(LONG Vi);
    HRESULT ClassWrapperGetNativeCHandle(LONG* pVal);
    // ---- IMessageProvider (no frame) ----
    HRESULT MessageProviderGetMessage(BSTR* ppVal);
    // ---- ITraceSwitch (no frame) ----
    HRESULT TraceSwitchGetEnabled(VARIANT_BOOL* pbEnabled);
    HRESULT TraceSwitchPutEnabled(VARIANT_BOOL value);

    // ---- Internal operations of Initialize ----
    HRESULT LoadDriverConfiguration(IIviDriverSession* pDriverSession);
    HRESULT ProcessOptionString(BSTR OptionString);
    HRESULT ProcessInitOption(const char* name, const char* value);
    HRESULT InitializeIdentification();
    HRESULT AuthenticateInstrument(const std::string& manufacturer, const std::string& model,
                                   const std::string& serial_number,
                                   const std::string& firmware_revision,
                                   const std::string& idn_response);

    // Session and I/O for the rest of the driver (callers hold the call lock).
    const SessionState& State() const { return state_; }
    // The configuration store's driver session of this session; null when it was opened by
    // a resource descriptor. Virtual names are looked up in it.
    IIviDriverSession* ConfigDriverSession() const { return state_.driver_session_ref; }
    InstrumentIo& Io() { return io_; }
    // The Simulate setting, read through the object's own IIviDriverOperation (its frame
    // runs nested); false when that call fails.
    bool IsSimulating();
    bool TraceSwitchEnabled() const { return trace_enabled_.load(); }

  protected:
    // The object's own interfaces (not AddRef'ed), for nested calls through them.
    virtual IIviDriverOperation* OwnOperation() = 0;
    virtual IIviDriverUtility* OwnUtility() = 0;
    virtual IUnknown* OwnUnknown() = 0;
    // The instrument-specific initialization, after the identity check: sets the root
    // pointer (see SetRoot) and builds what the session needs.
    virtual HRESULT InitializeInstrumentSpecific(BSTR ResourceName, VARIANT_BOOL IdQuery,
                                                 VARIANT_BOOL Reset, BSTR OptionString) = 0;
    // The instrument-specific close, at the end of Close: undoes the initialization and
    // clears the root pointer.
    virtual HRESULT CloseInstrumentSpecific() = 0;
    // InvalidateAllAttributes: the instrument-specific attribute records, in table order.
    // They keep no values, so this performs no I/O.
    virtual void InvalidateInstrumentAttributes() = 0;
    // Before an exchange of the inherent operations (Reset, Disable, SelfTest, ErrorQuery):
    // reads a reply the instrument still owes for an earlier operation (a calibration
    // started without waiting), so that it cannot be taken for this exchange's reply.
    virtual HRESULT SettlePendingReplies() = 0;

    void SetRoot(FrameRoot* root) { root_.store(root); }

    HRESULT ReportNullPointer(const char* method, const char* parameter);
    HRESULT ReportNotSupported(const char* method);

  private:
    HRESULT OpenInstrument();
    HRESULT LoadString(UINT id, BSTR* out, const char* parameter);
    HRESULT ReturnText(const std::string& text, BSTR* out, const char* method,
                       const char* parameter);
    HRESULT GetFlag(bool flag, VARIANT_BOOL* out, const char* method, const char* parameter);
    HRESULT QueryOwnInterface(REFIID iid, void** out, const char* method);
    void ReleaseConfigurationReferences();
    // Clears the identity read from an instrument, so that the next request reads it again.
    void ForgetIdentity();

    SessionState state_;
    FrameLocks locks_;
    InstrumentIo io_;
    std::atomic<FrameRoot*> root_{nullptr};
    std::atomic<bool> trace_enabled_{false};
};

}  // namespace tevo::driver

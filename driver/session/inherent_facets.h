// The facets of the IVI inherent interfaces and of the two tracing-runtime interfaces that
// the main driver object exposes. Each method names its frame and the inner implementation
// of DriverSession that does the work.
#pragma once

#include "session/facet.h"

namespace tevo::driver {

// IIviDriver's methods, in the vtable of IIviDriver itself or of an interface derived from
// it (ITevo). The frames name IIviDriver.
template <class Owner, class Base>
class IviDriverMethods : public Facet<Owner, Base> {
  public:
    HRESULT STDMETHODCALLTYPE get_DriverOperation(IIviDriverOperation** pVal) override {
        return this->template Plain<IIviDriver>("get_DriverOperation",
                                                &Owner::DriverGetDriverOperation, pVal);
    }
    HRESULT STDMETHODCALLTYPE get_Identity(IIviDriverIdentity** pVal) override {
        return this->template Plain<IIviDriver>("get_Identity", &Owner::DriverGetIdentity, pVal);
    }
    HRESULT STDMETHODCALLTYPE get_Utility(IIviDriverUtility** pVal) override {
        return this->template Plain<IIviDriver>("get_Utility", &Owner::DriverGetUtility, pVal);
    }
    HRESULT STDMETHODCALLTYPE Initialize(BSTR ResourceName, VARIANT_BOOL IdQuery,
                                         VARIANT_BOOL Reset, BSTR OptionString) override {
        return this->template Plain<IIviDriver>("Initialize", &Owner::DriverInitialize,
                                                ResourceName, IdQuery, Reset, OptionString);
    }
    HRESULT STDMETHODCALLTYPE get_Initialized(VARIANT_BOOL* pVal) override {
        return this->template Plain<IIviDriver>("get_Initialized", &Owner::DriverGetInitialized,
                                                pVal);
    }
    HRESULT STDMETHODCALLTYPE Close() override {
        return this->template Session<IIviDriver>("Close", &Owner::DriverClose);
    }
};

template <class Owner>
class IviDriverIdentityFacet : public Facet<Owner, IIviDriverIdentity> {
    using Component = IIviComponentIdentity;

  public:
    HRESULT STDMETHODCALLTYPE get_Description(BSTR* pVal) override {
        return this->template Plain<Component>("get_Description", &Owner::IdentityGetDescription,
                                               pVal);
    }
    HRESULT STDMETHODCALLTYPE get_Revision(BSTR* pVal) override {
        return this->template Plain<Component>("get_Revision", &Owner::IdentityGetRevision, pVal);
    }
    HRESULT STDMETHODCALLTYPE get_Vendor(BSTR* pVal) override {
        return this->template Plain<Component>("get_Vendor", &Owner::IdentityGetVendor, pVal);
    }
    HRESULT STDMETHODCALLTYPE get_InstrumentManufacturer(BSTR* pVal) override {
        return this->Session("get_InstrumentManufacturer",
                             &Owner::IdentityGetInstrumentManufacturer, pVal);
    }
    HRESULT STDMETHODCALLTYPE get_InstrumentModel(BSTR* pVal) override {
        return this->Session("get_InstrumentModel", &Owner::IdentityGetInstrumentModel, pVal);
    }
    HRESULT STDMETHODCALLTYPE get_InstrumentFirmwareRevision(BSTR* pVal) override {
        return this->Session("get_InstrumentFirmwareRevision",
                             &Owner::IdentityGetInstrumentFirmwareRevision, pVal);
    }
    HRESULT STDMETHODCALLTYPE get_Identifier(BSTR* pVal) override {
        return this->Plain("get_Identifier", &Owner::IdentityGetIdentifier, pVal);
    }
    HRESULT STDMETHODCALLTYPE get_SupportedInstrumentModels(BSTR* pVal) override {
        return this->Plain("get_SupportedInstrumentModels",
                           &Owner::IdentityGetSupportedInstrumentModels, pVal);
    }
    HRESULT STDMETHODCALLTYPE get_SpecificationMajorVersion(LONG* pVal) override {
        return this->Plain("get_SpecificationMajorVersion",
                           &Owner::IdentityGetSpecificationMajorVersion, pVal);
    }
    HRESULT STDMETHODCALLTYPE get_SpecificationMinorVersion(LONG* pVal) override {
        return this->Plain("get_SpecificationMinorVersion",
                           &Owner::IdentityGetSpecificationMinorVersion, pVal);
    }
    HRESULT STDMETHODCALLTYPE get_GroupCapabilities(BSTR* pVal) override {
        return this->Plain("get_GroupCapabilities", &Owner::IdentityGetGroupCapabilities, pVal);
    }
};

template <class Owner>
class IviDriverOperationFacet : public Facet<Owner, IIviDriverOperation> {
  public:
    HRESULT STDMETHODCALLTYPE get_LogicalName(BSTR* pVal) override {
        return this->Session("get_LogicalName", &Owner::OperationGetLogicalName, pVal);
    }
    HRESULT STDMETHODCALLTYPE get_IoResourceDescriptor(BSTR* pVal) override {
        return this->Session("get_IoResourceDescriptor", &Owner::OperationGetIoResourceDescriptor,
                             pVal);
    }
    HRESULT STDMETHODCALLTYPE get_Cache(VARIANT_BOOL* pVal) override {
        return this->Session("get_Cache", &Owner::OperationGetCache, pVal);
    }
    HRESULT STDMETHODCALLTYPE put_Cache(VARIANT_BOOL newVal) override {
        return this->Session("put_Cache", &Owner::OperationPutCache, newVal);
    }
    HRESULT STDMETHODCALLTYPE get_InterchangeCheck(VARIANT_BOOL* pVal) override {
        return this->Session("get_InterchangeCheck", &Owner::OperationGetInterchangeCheck, pVal);
    }
    HRESULT STDMETHODCALLTYPE put_InterchangeCheck(VARIANT_BOOL newVal) override {
        return this->Session("put_InterchangeCheck", &Owner::OperationPutInterchangeCheck, newVal);
    }
    HRESULT STDMETHODCALLTYPE get_QueryInstrumentStatus(VARIANT_BOOL* pVal) override {
        return this->Session("get_QueryInstrumentStatus", &Owner::OperationGetQueryInstrumentStatus,
                             pVal);
    }
    HRESULT STDMETHODCALLTYPE put_QueryInstrumentStatus(VARIANT_BOOL newVal) override {
        return this->Session("put_QueryInstrumentStatus", &Owner::OperationPutQueryInstrumentStatus,
                             newVal);
    }
    HRESULT STDMETHODCALLTYPE get_RangeCheck(VARIANT_BOOL* pVal) override {
        return this->Session("get_RangeCheck", &Owner::OperationGetRangeCheck, pVal);
    }
    HRESULT STDMETHODCALLTYPE put_RangeCheck(VARIANT_BOOL newVal) override {
        return this->Session("put_RangeCheck", &Owner::OperationPutRangeCheck, newVal);
    }
    HRESULT STDMETHODCALLTYPE get_RecordCoercions(VARIANT_BOOL* pVal) override {
        return this->Session("get_RecordCoercions", &Owner::OperationGetRecordCoercions, pVal);
    }
    HRESULT STDMETHODCALLTYPE put_RecordCoercions(VARIANT_BOOL newVal) override {
        return this->Session("put_RecordCoercions", &Owner::OperationPutRecordCoercions, newVal);
    }
    HRESULT STDMETHODCALLTYPE get_Simulate(VARIANT_BOOL* pVal) override {
        return this->Session("get_Simulate", &Owner::OperationGetSimulate, pVal);
    }
    HRESULT STDMETHODCALLTYPE put_Simulate(VARIANT_BOOL newVal) override {
        return this->Session("put_Simulate", &Owner::OperationPutSimulate, newVal);
    }
    HRESULT STDMETHODCALLTYPE get_DriverSetup(BSTR* pVal) override {
        return this->Session("get_DriverSetup", &Owner::OperationGetDriverSetup, pVal);
    }
    HRESULT STDMETHODCALLTYPE InvalidateAllAttributes() override {
        return this->Session("InvalidateAllAttributes", &Owner::OperationInvalidateAllAttributes);
    }
    HRESULT STDMETHODCALLTYPE ClearInterchangeWarnings() override {
        return this->Session("ClearInterchangeWarnings", &Owner::OperationClearInterchangeWarnings);
    }
    HRESULT STDMETHODCALLTYPE GetNextInterchangeWarning(BSTR* InterchangeWarning) override {
        return this->Session("GetNextInterchangeWarning",
                             &Owner::OperationGetNextInterchangeWarning, InterchangeWarning);
    }
    HRESULT STDMETHODCALLTYPE ResetInterchangeCheck() override {
        return this->Session("ResetInterchangeCheck", &Owner::OperationResetInterchangeCheck);
    }
    HRESULT STDMETHODCALLTYPE GetNextCoercionRecord(BSTR* CoercionRecord) override {
        return this->Session("GetNextCoercionRecord", &Owner::OperationGetNextCoercionRecord,
                             CoercionRecord);
    }
};

template <class Owner>
class IviDriverUtilityFacet : public Facet<Owner, IIviDriverUtility> {
  public:
    HRESULT STDMETHODCALLTYPE Reset() override {
        return this->Session("Reset", &Owner::UtilityReset);
    }
    HRESULT STDMETHODCALLTYPE ResetWithDefaults() override {
        return this->Session("ResetWithDefaults", &Owner::UtilityResetWithDefaults);
    }
    HRESULT STDMETHODCALLTYPE Disable() override {
        return this->Session("Disable", &Owner::UtilityDisable);
    }
    HRESULT STDMETHODCALLTYPE SelfTest(LONG* TestResult, BSTR* TestMessage) override {
        return this->Session("SelfTest", &Owner::UtilitySelfTest, TestResult, TestMessage);
    }
    HRESULT STDMETHODCALLTYPE ErrorQuery(LONG* ErrorCode, BSTR* ErrorMessage) override {
        return this->Session("ErrorQuery", &Owner::UtilityErrorQuery, ErrorCode, ErrorMessage);
    }
    HRESULT STDMETHODCALLTYPE LockObject() override {
        return this->SessionTakingObjectLock("LockObject", &Owner::UtilityLockObject);
    }
    HRESULT STDMETHODCALLTYPE UnlockObject() override {
        return this->Session("UnlockObject", &Owner::UtilityUnlockObject);
    }
};

template <class Owner>
class IviClassWrapperFacet : public Facet<Owner, IIviClassWrapper> {
  public:
    HRESULT STDMETHODCALLTYPE AttachToExistingCSession(LONG Vi) override {
        return this->Session("AttachToExistingCSession",
                             &Owner::ClassWrapperAttachToExistingCSession, Vi);
    }
    HRESULT STDMETHODCALLTYPE get_NativeCHandle(LONG* pVal) override {
        return this->Session("get_NativeCHandle", &Owner::ClassWrapperGetNativeCHandle, pVal);
    }
};

template <class Owner>
class MessageProviderFacet : public Facet<Owner, IMessageProvider> {
  public:
    HRESULT STDMETHODCALLTYPE get_Message(BSTR* ppVal) override {
        return this->Unframed(&Owner::MessageProviderGetMessage, ppVal);
    }
};

template <class Owner>
class TraceSwitchFacet : public Facet<Owner, ITraceSwitch> {
  public:
    HRESULT STDMETHODCALLTYPE get_Enabled(VARIANT_BOOL* pbEnabled) override {
        return this->Unframed(&Owner::TraceSwitchGetEnabled, pbEnabled);
    }
    HRESULT STDMETHODCALLTYPE put_Enabled(VARIANT_BOOL newVal) override {
        return this->Unframed(&Owner::TraceSwitchPutEnabled, newVal);
    }
};

}  // namespace tevo::driver

#include "measurement/main_driver_object.h"

#include <new>

#include "session/class_info.h"

namespace tevo::driver {

namespace {

// The interfaces whose failures carry error information: the six inherent IVI
// interfaces, the seventeen class-compliant ones and the instrument-specific tree.
const IID* const kErrorInfoInterfaces[] = {
    &IID_IIviDriver,
    &IID_IIviDriverIdentity,
    &IID_IIviComponentIdentity,
    &IID_IIviDriverOperation,
    &IID_IIviDriverUtility,
    &IID_IIviClassWrapper,
    &IID_IIviSpecAn,
    &IID_IIviSpecAnAcquisition,
    &IID_IIviSpecAnDisplay,
    &IID_IIviSpecAnExternalMixer,
    &IID_IIviSpecAnExternalMixerBias,
    &IID_IIviSpecAnExternalMixerConversionLossTable,
    &IID_IIviSpecAnFrequency,
    &IID_IIviSpecAnLevel,
    &IID_IIviSpecAnMarker,
    &IID_IIviSpecAnMarkerFrequencyCounter,
    &IID_IIviSpecAnPreselector,
    &IID_IIviSpecAnSweepCoupling,
    &IID_IIviSpecAnTraces,
    &IID_IIviSpecAnTracesMath,
    &IID_IIviSpecAnTrigger,
    &IID_IIviSpecAnTriggerExternal,
    &IID_IIviSpecAnTriggerVideo,
    &IID_ITevo,
    &IID_ITevoAcquisition,
    &IID_ITevoCalibration,
    &IID_ITevoDisplay,
    &IID_ITevoFrequency,
    &IID_ITevoInstrumentIO,
    &IID_ITevoLevel,
    &IID_ITevoList,
    &IID_ITevoMarker,
    &IID_ITevoMarkerFrequencyCounter,
    &IID_ITevoService,
    &IID_ITevoSweepCoupling,
    &IID_ITevoTraces,
    &IID_ITevoTracesMath,
    &IID_ITevoTrigger,
    &IID_ITevoTriggerExternal,
    &IID_ITevoTriggerIFPower,
    &IID_ITevoTriggerRFPower,
    &IID_ITevoTriggerVideo,
};

}  // namespace

CTevo::CTevo() {
    // Without the tracing service the object works untraced.
    trace_binding_.SetUp(static_cast<SupportErrorInfoFacet*>(this), nullptr);
}

CTevo::~CTevo() {
    trace_binding_.TearDown();
}

HRESULT CTevo::Create(REFIID riid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    auto* created = new (std::nothrow) CTevo();
    if (created == nullptr) {
        return E_OUTOFMEMORY;
    }
    const HRESULT hr = created->ObjectQueryInterface(riid, object);
    created->ObjectRelease();
    return hr;
}

HRESULT CTevo::ObjectQueryInterface(REFIID riid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    // Searched in this order; the first entry is the object's identity.
    IUnknown* found = nullptr;
    if (riid == IID_IUnknown || riid == IID_ISupportErrorInfo) {
        found = static_cast<SupportErrorInfoFacet*>(this);
    } else if (riid == IID_IProvideClassInfo2 || riid == IID_IProvideClassInfo) {
        found = static_cast<ProvideClassInfoFacet*>(this);
    } else if (riid == IID_ITraceSwitch) {
        found = static_cast<TraceSwitchFacet<CTevo>*>(this);
    } else if (riid == IID_IMessageProvider) {
        found = static_cast<MessageProviderFacet<CTevo>*>(this);
    } else if (riid == IID_ITevo || riid == IID_IIviDriver) {
        // One vtable serves both (ITevo extends IIviDriver); IIviDriver ends the map.
        found = static_cast<TevoRootFacet*>(this);
    } else if (riid == IID_IIviClassWrapper) {
        found = static_cast<IviClassWrapperFacet<CTevo>*>(this);
    } else if (riid == IID_IIviComponentIdentity || riid == IID_IIviDriverIdentity) {
        found = static_cast<IviDriverIdentityFacet<CTevo>*>(this);
    } else if (riid == IID_IIviDriverOperation) {
        found = static_cast<IviDriverOperationFacet<CTevo>*>(this);
    } else if (riid == IID_IIviDriverUtility) {
        found = static_cast<IviDriverUtilityFacet<CTevo>*>(this);
    }
    *object = found;
    if (found == nullptr) {
        return E_NOINTERFACE;
    }
    ObjectAddRef();
    return S_OK;
}

ULONG CTevo::ObjectAddRef() {
    return references_.fetch_add(1) + 1;
}

ULONG CTevo::ObjectRelease() {
    const ULONG left = references_.fetch_sub(1) - 1;
    if (left == 0) {
        delete this;
    }
    return left;
}

HRESULT CTevo::InitializeInstrumentSpecific(BSTR ResourceName, VARIANT_BOOL IdQuery,
                                            VARIANT_BOOL Reset, BSTR OptionString) {
    (void)ResourceName;
    (void)IdQuery;
    (void)Reset;
    (void)OptionString;
    if (!holds_root_reference_) {
        ObjectAddRef();
        holds_root_reference_ = true;
    }
    SetRoot(this);
    active_screen_ = TevoActiveScreenA;
    active_marker_ = 1;
    return S_OK;
}

HRESULT CTevo::CloseInstrumentSpecific() {
    SetRoot(nullptr);
    if (holds_root_reference_) {
        holds_root_reference_ = false;
        // The caller holds its own reference for the duration of the call, so this never
        // destroys the object under its own feet.
        ObjectRelease();
    }
    return S_OK;
}

HRESULT CTevo::TevoGetSubObject(REFIID iid, void** out, const char* method) {
    if (out == nullptr) {
        return ReportNullPointer(method, "pVal");
    }
    *out = nullptr;
    return ObjectQueryInterface(iid, out);
}

// ---- ITevo getters ----
#define TEVO_SUB_OBJECT_GETTER(Property, Interface)                                 \
    HRESULT TevoRootFacet::get_##Property(Interface** pVal) {                       \
        return Plain("get_" #Property, &CTevo::TevoGetSubObjectAs<Interface>, pVal, \
                     "get_" #Property);                                             \
    }
TEVO_SUB_OBJECT_GETTER(Acquisition, ITevoAcquisition)
TEVO_SUB_OBJECT_GETTER(Display, ITevoDisplay)
TEVO_SUB_OBJECT_GETTER(Frequency, ITevoFrequency)
TEVO_SUB_OBJECT_GETTER(InstrumentIO, ITevoInstrumentIO)
TEVO_SUB_OBJECT_GETTER(IviSpecAn, IIviSpecAn)
TEVO_SUB_OBJECT_GETTER(Level, ITevoLevel)
TEVO_SUB_OBJECT_GETTER(List, ITevoList)
TEVO_SUB_OBJECT_GETTER(Marker, ITevoMarker)
TEVO_SUB_OBJECT_GETTER(Service, ITevoService)
TEVO_SUB_OBJECT_GETTER(SweepCoupling, ITevoSweepCoupling)
TEVO_SUB_OBJECT_GETTER(Traces, ITevoTraces)
TEVO_SUB_OBJECT_GETTER(Trigger, ITevoTrigger)
#undef TEVO_SUB_OBJECT_GETTER

// ---- ISupportErrorInfo ----
HRESULT SupportErrorInfoFacet::InterfaceSupportsErrorInfo(REFIID riid) {
    for (const IID* iid : kErrorInfoInterfaces) {
        if (*iid == riid) {
            return S_OK;
        }
    }
    return S_FALSE;
}

// ---- IProvideClassInfo2 ----
HRESULT ProvideClassInfoFacet::GetClassInfo(ITypeInfo** ppTI) {
    return GetCoclassTypeInfo(CLSID_Tevo, ppTI);
}

HRESULT ProvideClassInfoFacet::GetGUID(DWORD dwGuidKind, GUID* pGUID) {
    if (pGUID == nullptr) {
        return E_POINTER;
    }
    *pGUID = GUID_NULL;
    // The class has no outgoing (source) interface.
    return dwGuidKind == GUIDKIND_DEFAULT_SOURCE_DISP_IID ? S_OK : E_INVALIDARG;
}

}  // namespace tevo::driver

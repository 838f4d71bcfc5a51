#include "measurement/main_driver_object.h"

#include <array>
#include <iterator>
#include <new>

#include "measurement/trace_item.h"
#include "operations/operation_support.h"
#include "session/class_info.h"
#include "session/error_codes.h"
#include "tevo/com/activation.h"
#include "tevo/com/automation_bridge.h"
#include "tevo/com/com_ptr.h"
#include "translate/trace_names.h"

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

// One entry of the interface table: the interface identifier and the facet that answers it.
struct InterfaceEntry {
    const IID* iid;
    IUnknown* (*facet)(CTevo& object);
};

template <class Interface, class FacetType>
constexpr InterfaceEntry Entry() {
    return InterfaceEntry{&tevo::com::InterfaceIid<Interface>::value, [](CTevo& object) {
                              return static_cast<IUnknown*>(
                                  static_cast<Interface*>(static_cast<FacetType*>(&object)));
                          }};
}

// The interfaces of the object in the order QueryInterface searches them: error information
// and class information, the tracing runtime's two, the class-compliant tree, the
// instrument-specific tree, then the inherent IVI interfaces. ISupportErrorInfo comes first:
// it is the object's identity.
const InterfaceEntry kInterfaceTable[] = {
    Entry<ISupportErrorInfo, SupportErrorInfoFacet>(),
    Entry<IProvideClassInfo2, ProvideClassInfoFacet>(),
    Entry<IProvideClassInfo, ProvideClassInfoFacet>(),
    Entry<ITraceSwitch, TraceSwitchFacet<CTevo>>(),
    Entry<IMessageProvider, MessageProviderFacet<CTevo>>(),
    Entry<IIviSpecAn, SpecAnRootFacet<CTevo>>(),
    Entry<IIviSpecAnAcquisition, SpecAnAcquisitionFacet<CTevo>>(),
    Entry<IIviSpecAnDisplay, SpecAnDisplayFacet<CTevo>>(),
    Entry<IIviSpecAnExternalMixer, SpecAnExternalMixerFacet<CTevo>>(),
    Entry<IIviSpecAnExternalMixerBias, SpecAnExternalMixerBiasFacet<CTevo>>(),
    Entry<IIviSpecAnExternalMixerConversionLossTable,
          SpecAnExternalMixerConversionLossTableFacet<CTevo>>(),
    Entry<IIviSpecAnFrequency, SpecAnFrequencyFacet<CTevo>>(),
    Entry<IIviSpecAnLevel, SpecAnLevelFacet<CTevo>>(),
    Entry<IIviSpecAnMarker, SpecAnMarkerFacet<CTevo>>(),
    Entry<IIviSpecAnMarkerFrequencyCounter, SpecAnMarkerFrequencyCounterFacet<CTevo>>(),
    Entry<IIviSpecAnPreselector, SpecAnPreselectorFacet<CTevo>>(),
    Entry<IIviSpecAnSweepCoupling, SpecAnSweepCouplingFacet<CTevo>>(),
    Entry<IIviSpecAnTraces, SpecAnTracesFacet<CTevo>>(),
    Entry<IIviSpecAnTracesMath, SpecAnTracesMathFacet<CTevo>>(),
    Entry<IIviSpecAnTrigger, SpecAnTriggerFacet<CTevo>>(),
    Entry<IIviSpecAnTriggerExternal, SpecAnTriggerExternalFacet<CTevo>>(),
    Entry<IIviSpecAnTriggerVideo, SpecAnTriggerVideoFacet<CTevo>>(),
    Entry<ITevo, TevoRootFacetOf<CTevo>>(),
    Entry<ITevoAcquisition, TevoAcquisitionFacet<CTevo>>(),
    Entry<ITevoCalibration, TevoCalibrationFacet<CTevo>>(),
    Entry<ITevoDisplay, TevoDisplayFacet<CTevo>>(),
    Entry<ITevoFrequency, TevoFrequencyFacet<CTevo>>(),
    Entry<ITevoInstrumentIO, TevoInstrumentIOFacet<CTevo>>(),
    Entry<ITevoLevel, TevoLevelFacet<CTevo>>(),
    Entry<ITevoList, TevoListFacet<CTevo>>(),
    Entry<ITevoMarker, TevoMarkerFacet<CTevo>>(),
    Entry<ITevoMarkerFrequencyCounter, TevoMarkerFrequencyCounterFacet<CTevo>>(),
    Entry<ITevoService, TevoServiceFacet<CTevo>>(),
    Entry<ITevoSweepCoupling, TevoSweepCouplingFacet<CTevo>>(),
    Entry<ITevoTraces, TevoTracesFacet<CTevo>>(),
    Entry<ITevoTracesMath, TevoTracesMathFacet<CTevo>>(),
    Entry<ITevoTrigger, TevoTriggerFacet<CTevo>>(),
    Entry<ITevoTriggerExternal, TevoTriggerExternalFacet<CTevo>>(),
    Entry<ITevoTriggerIFPower, TevoTriggerIFPowerFacet<CTevo>>(),
    Entry<ITevoTriggerRFPower, TevoTriggerRFPowerFacet<CTevo>>(),
    Entry<ITevoTriggerVideo, TevoTriggerVideoFacet<CTevo>>(),
    Entry<IIviClassWrapper, IviClassWrapperFacet<CTevo>>(),
    Entry<IIviComponentIdentity, IviDriverIdentityFacet<CTevo>>(),
    Entry<IIviDriverIdentity, IviDriverIdentityFacet<CTevo>>(),
    Entry<IIviDriverOperation, IviDriverOperationFacet<CTevo>>(),
    Entry<IIviDriverUtility, IviDriverUtilityFacet<CTevo>>(),
    // ITevo derives from IIviDriver: one vtable serves both.
    Entry<IIviDriver, TevoRootFacetOf<CTevo>>(),
};

constexpr size_t kInterfaceCount = std::size(kInterfaceTable);

const std::array<const IID*, kInterfaceCount> kInterfaceOrder = [] {
    std::array<const IID*, kInterfaceCount> order{};
    for (size_t index = 0; index < kInterfaceCount; ++index) {
        order[index] = kInterfaceTable[index].iid;
    }
    return order;
}();

template <class Item>
void CreateItem(CTevo* driver, TraceCollection& collection, AttributeTable& table, size_t index) {
    IUnknown* created = nullptr;
    TraceItemLink* link = nullptr;
    if (FAILED(Item::Create(driver, collection.NameAt(index), static_cast<LONG>(index), &created,
                            &link))) {
        return;  // the name gets no item; Item reports it
    }
    tevo::com::ComPtr<IUnknown> item;
    item.Attach(created);
    table.Trace(collection.List(), index).SetItem(created);
    collection.SetItem(index, std::move(item), link);
}

}  // namespace

CTevo::CTevo()
    : specan_traces_(TraceList::kSpecAn, kSpecAnTraceNames),
      tevo_traces_(TraceList::kTevo, kTevoTraceNames) {
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

// IDispatch is not one of the object's own interfaces: the platform's automation bridge
// makes one from the type library. The bridge is created with this object as its outer
// unknown, which tells it the object to serve, and is released once it has answered.
HRESULT CTevo::DispatchThroughBridge(REFIID riid, void** object) {
    IUnknown* identity = kInterfaceTable[0].facet(*this);
    tevo::com::ComPtr<IUnknown> inner;
    HRESULT hr = CoCreateInstance(CLSID_AutomationBridge, identity, CLSCTX_SERVER, IID_IUnknown,
                                  reinterpret_cast<void**>(&inner));
    if (FAILED(hr)) {
        return hr;
    }
    tevo::com::ComPtr<IAutomationBridge> bridge;
    hr = inner->QueryInterface(IID_IAutomationBridge, reinterpret_cast<void**>(&bridge));
    if (FAILED(hr)) {
        return hr;
    }
    return bridge->QueryDispatch(riid, object);
}

std::span<const IID* const> CTevo::InterfaceOrder() {
    return kInterfaceOrder;
}

HRESULT CTevo::ObjectQueryInterface(REFIID riid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    if (riid == IID_IDispatch) {
        return DispatchThroughBridge(riid, object);
    }
    if (riid == IID_IUnknown) {
        *object = kInterfaceTable[0].facet(*this);
    } else {
        for (const InterfaceEntry& entry : kInterfaceTable) {
            if (*entry.iid == riid) {
                *object = entry.facet(*this);
                break;
            }
        }
    }
    if (*object == nullptr) {
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

HRESULT CTevo::ReadActiveScreen(TevoActiveScreenEnum* screen) {
    return static_cast<TevoDisplayFacet<CTevo>*>(this)->get_ActiveScreen(screen);
}

// The instrument-specific initialization: the hook's arguments are not used.
HRESULT CTevo::InitializeInstrumentSpecific(BSTR ResourceName, VARIANT_BOOL IdQuery,
                                            VARIANT_BOOL Reset, BSTR OptionString) {
    (void)ResourceName;
    (void)IdQuery;
    (void)Reset;
    (void)OptionString;
    // What a session left behind is never reused (Close normally empties it).
    ReleaseTraceItems(specan_traces_);
    ReleaseTraceItems(tevo_traces_);
    table_.reset(new (std::nothrow) AttributeTable(this));
    if (!table_) {
        return E_OUTOFMEMORY;
    }
    if (!holds_root_reference_) {
        ObjectAddRef();
        holds_root_reference_ = true;
    }
    SetRoot(this);
    CreateTraceItems(specan_traces_);
    CreateTraceItems(tevo_traces_);
    active_screen_ = TevoActiveScreenA;
    active_marker_ = 1;
    operation_state_ = OperationState{};
    return S_OK;
}

HRESULT CTevo::CloseInstrumentSpecific() {
    ReleaseTraceItems(specan_traces_);
    ReleaseTraceItems(tevo_traces_);
    table_.reset();
    operation_state_ = OperationState{};
    SetRoot(nullptr);
    if (holds_root_reference_) {
        holds_root_reference_ = false;
        // The caller holds its own reference for the duration of the call, so this never
        // destroys the object under its own feet.
        ObjectRelease();
    }
    return S_OK;
}

void CTevo::CreateTraceItems(TraceCollection& collection) {
    for (size_t index = 0; index < collection.Size(); ++index) {
        if (collection.List() == TraceList::kSpecAn) {
            CreateItem<CTevoSpecAnTrace>(this, collection, *table_, index);
        } else {
            CreateItem<CTevoTrace>(this, collection, *table_, index);
        }
    }
}

void CTevo::ReleaseTraceItems(TraceCollection& collection) {
    if (table_) {
        for (size_t index = 0; index < collection.Size(); ++index) {
            table_->Trace(collection.List(), index).SetItem(nullptr);
        }
    }
    collection.ReleaseItems();
}

HRESULT CTevo::GetSubObjectById(REFIID iid, void** out, const char* method) {
    if (out == nullptr) {
        return ReportNullPointer(method, "pVal");
    }
    *out = nullptr;
    return ObjectQueryInterface(iid, out);
}

HRESULT CTevo::ReportNoSession() {
    return ReportError(Errors(), kNotInitialized, kNotConnectedDetails);
}

HRESULT CTevo::SettlePendingReplies() {
    return operations::ConsumePendingAnswer(*this);
}

HRESULT CTevo::PrepareAttributeExchange() {
    if (!table_) {
        return ReportNoSession();
    }
    return operations::ConsumePendingAnswer(*this);
}

// ---- Trace collections ----
HRESULT CTevo::SpecAnTracesGetCount(LONG* pVal) {
    return specan_traces_.GetCount(Errors(), pVal);
}
HRESULT CTevo::SpecAnTracesGetItem(BSTR Name, IIviSpecAnTrace** pVal) {
    return specan_traces_.GetItem(Errors(), ConfigDriverSession(), Name, IID_IIviSpecAnTrace,
                                  reinterpret_cast<void**>(pVal));
}
HRESULT CTevo::SpecAnTracesGetName(LONG Index, BSTR* pVal) {
    return specan_traces_.GetName(Errors(), ConfigDriverSession(), Index, pVal);
}
HRESULT CTevo::TevoTracesGetCount(LONG* pVal) {
    return tevo_traces_.GetCount(Errors(), pVal);
}
HRESULT CTevo::TevoTracesGetItem(BSTR Name, ITevoTrace** pVal) {
    return tevo_traces_.GetItem(Errors(), ConfigDriverSession(), Name, IID_ITevoTrace,
                                reinterpret_cast<void**>(pVal));
}
HRESULT CTevo::TevoTracesGetName(LONG Index, BSTR* pVal) {
    return tevo_traces_.GetName(Errors(), ConfigDriverSession(), Index, pVal);
}

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

// CTevo: the main driver object (coclass Tevo). One reference-counted object carries every
// root and sub-object interface of the driver, of both views: it derives from the session
// core and from one facet per interface. Only the trace items are objects of their own.
//
// References: while initialized the object holds one reference on itself (its root link) and
// one on each trace item; each item holds one on the object for its whole life. Close gives
// up the object's references, so nothing stays alive once the client has released its own.
#pragma once

#include <atomic>
#include <memory>
#include <span>

#include "attributes/attribute_context.h"
#include "attributes/attribute_table.h"
#include "measurement/class_compliant_facets.h"
#include "measurement/instrument_specific_facets.h"
#include "measurement/trace_collection.h"
#include "operations/operation_context.h"
#include "server/module_lock.h"
#include "session/driver_session.h"
#include "session/inherent_facets.h"
#include "session/trace_setup.h"
#include "translate/translate_maps.h"

namespace tevo::driver {

class CTevo;

// The member function of Owner that runs the operation function kOperation (whose first
// parameter is the context) with an interface method's own arguments; its parameter types
// are taken from the function, so a facet names only the function.
template <class Owner, auto kOperation, class Function = decltype(kOperation)>
struct OperationMember;

template <class Owner, auto kOperation, class Context, class... Args>
struct OperationMember<Owner, kOperation, HRESULT (*)(Context&, Args...)> {
    static constexpr HRESULT (Owner::*kValue)(Args...) =
        &Owner::template RunOperation<kOperation, Args...>;
};

class SupportErrorInfoFacet : public Facet<CTevo, ISupportErrorInfo> {
  public:
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override;
};

class ProvideClassInfoFacet : public Facet<CTevo, IProvideClassInfo2> {
  public:
    HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** ppTI) override;
    HRESULT STDMETHODCALLTYPE GetGUID(DWORD dwGuidKind, GUID* pGUID) override;
};

// ModuleReference comes first so that the module count is released last.
class CTevo final : private ModuleReference,
                    public DriverSession,
                    public OperationContext,
                    public SupportErrorInfoFacet,
                    public ProvideClassInfoFacet,
                    public TraceSwitchFacet<CTevo>,
                    public MessageProviderFacet<CTevo>,
                    public SpecAnRootFacet<CTevo>,
                    public SpecAnAcquisitionFacet<CTevo>,
                    public SpecAnDisplayFacet<CTevo>,
                    public SpecAnExternalMixerFacet<CTevo>,
                    public SpecAnExternalMixerBiasFacet<CTevo>,
                    public SpecAnExternalMixerConversionLossTableFacet<CTevo>,
                    public SpecAnFrequencyFacet<CTevo>,
                    public SpecAnLevelFacet<CTevo>,
                    public SpecAnMarkerFacet<CTevo>,
                    public SpecAnMarkerFrequencyCounterFacet<CTevo>,
                    public SpecAnPreselectorFacet<CTevo>,
                    public SpecAnSweepCouplingFacet<CTevo>,
                    public SpecAnTracesFacet<CTevo>,
                    public SpecAnTracesMathFacet<CTevo>,
                    public SpecAnTriggerFacet<CTevo>,
                    public SpecAnTriggerExternalFacet<CTevo>,
                    public SpecAnTriggerVideoFacet<CTevo>,
                    public TevoRootFacetOf<CTevo>,
                    public TevoAcquisitionFacet<CTevo>,
                    public TevoCalibrationFacet<CTevo>,
                    public TevoDisplayFacet<CTevo>,
                    public TevoFrequencyFacet<CTevo>,
                    public TevoInstrumentIOFacet<CTevo>,
                    public TevoLevelFacet<CTevo>,
                    public TevoListFacet<CTevo>,
                    public TevoMarkerFacet<CTevo>,
                    public TevoMarkerFrequencyCounterFacet<CTevo>,
                    public TevoServiceFacet<CTevo>,
                    public TevoSweepCouplingFacet<CTevo>,
                    public TevoTracesFacet<CTevo>,
                    public TevoTracesMathFacet<CTevo>,
                    public TevoTriggerFacet<CTevo>,
                    public TevoTriggerExternalFacet<CTevo>,
                    public TevoTriggerIFPowerFacet<CTevo>,
                    public TevoTriggerRFPowerFacet<CTevo>,
                    public TevoTriggerVideoFacet<CTevo>,
                    public IviClassWrapperFacet<CTevo>,
                    public IviDriverIdentityFacet<CTevo>,
                    public IviDriverOperationFacet<CTevo>,
                    public IviDriverUtilityFacet<CTevo> {
  public:
    // A new object with one reference, returned through the requested interface.
    static HRESULT Create(REFIID riid, void** object);

    // The identifiers QueryInterface answers, in the order it searches them; the first is the
    // object's identity (IUnknown).
    static std::span<const IID* const> InterfaceOrder();

    // QueryInterface of every interface: IDispatch through the automation bridge, every other
    // identifier from the interface table.
    HRESULT ObjectQueryInterface(REFIID riid, void** object);
    ULONG ObjectAddRef();
    ULONG ObjectRelease();

    // ---- FrameObject / FrameRoot
    const CLSID& ClassId() const override { return CLSID_Tevo; }
    IIviDriver* FrameDriver() override { return static_cast<TevoRootFacetOf<CTevo>*>(this); }

    // ---- AttributeContext
    IIviDriverOperation* OwnDriverOperation() override { return OwnOperation(); }
    InstrumentIo& AttributeIo() override { return Io(); }
    const TranslateMaps& Maps() const override { return maps_; }
    HRESULT ReadActiveScreen(TevoActiveScreenEnum* screen) override;
    TevoActiveScreenEnum StoredActiveScreen() const override { return active_screen_; }
    void StoreActiveScreen(TevoActiveScreenEnum screen) override { active_screen_ = screen; }
    LONG StoredActiveMarker() const override { return active_marker_; }
    void StoreActiveMarker(LONG marker) override { active_marker_ = marker; }
    ErrorSource AttributeErrors() const override { return Errors(); }

    // ---- OperationContext (used only while a session's table exists)
    AttributeTable& Attributes() override { return *table_; }
    OperationState& Operations() override { return operation_state_; }

    // ---- Inner implementations of the facets (callers hold the call lock).

    // The sub-object getters of both trees: the object itself through the named interface.
    template <class Interface>
    HRESULT GetSubObject(Interface** pVal, const char* method) {
        return GetSubObjectById(tevo::com::InterfaceIid<Interface>::value,
                                reinterpret_cast<void**>(pVal), method);
    }

    // Attribute properties of both views, through the attribute table of the session.
    template <AttributeId kId, class Value>
    HRESULT AttributeGet(Value* pVal) {
        const HRESULT ready = PrepareAttributeExchange();
        return SUCCEEDED(ready) ? table_->Get(kId, pVal) : ready;
    }
    template <AttributeId kId, class Value>
    HRESULT AttributePut(Value newVal) {
        const HRESULT ready = PrepareAttributeExchange();
        return SUCCEEDED(ready) ? table_->Put(kId, newVal) : ready;
    }

    // The per-trace attributes of the trace items: the record of the trace at `index` in the
    // current session's table.
    template <class Value>
    HRESULT TraceAttributeGet(TraceList list, LONG index, TraceAttribute attribute, Value* pVal) {
        const HRESULT ready = PrepareAttributeExchange();
        return SUCCEEDED(ready)
                   ? table_->TraceGet(list, static_cast<size_t>(index), attribute, pVal)
                   : ready;
    }
    HRESULT TraceAttributePut(TraceList list, LONG index, TraceAttribute attribute, LONG newVal) {
        const HRESULT ready = PrepareAttributeExchange();
        return SUCCEEDED(ready)
                   ? table_->TracePut(list, static_cast<size_t>(index), attribute, newVal)
                   : ready;
    }

    // The two trace collections.
    HRESULT SpecAnTracesGetCount(LONG* pVal);
    HRESULT SpecAnTracesGetItem(BSTR Name, IIviSpecAnTrace** pVal);
    HRESULT SpecAnTracesGetName(LONG Index, BSTR* pVal);
    HRESULT TevoTracesGetCount(LONG* pVal);
    HRESULT TevoTracesGetItem(BSTR Name, ITevoTrace** pVal);
    HRESULT TevoTracesGetName(LONG Index, BSTR* pVal);

    // The operation methods of both trees (Configure..., Initiate, markers, trace math,
    // instrument I/O, ...): the operation function run on this object. Trace items pass their
    // trace number as the first argument.
    template <auto kOperation, class... Args>
    HRESULT RunOperation(Args... args) {
        return table_ ? kOperation(*this, args...) : ReportNoSession();
    }
    // The inner implementation a facet names for an operation function.
    template <auto kOperation>
    static constexpr auto Operation = OperationMember<CTevo, kOperation>::kValue;

  protected:
    IIviDriverOperation* OwnOperation() override {
        return static_cast<IviDriverOperationFacet<CTevo>*>(this);
    }
    IIviDriverUtility* OwnUtility() override {
        return static_cast<IviDriverUtilityFacet<CTevo>*>(this);
    }
    IUnknown* OwnUnknown() override { return static_cast<SupportErrorInfoFacet*>(this); }
    HRESULT InitializeInstrumentSpecific(BSTR ResourceName, VARIANT_BOOL IdQuery,
                                         VARIANT_BOOL Reset, BSTR OptionString) override;
    HRESULT CloseInstrumentSpecific() override;
    HRESULT SettlePendingReplies() override;
    void InvalidateInstrumentAttributes() override {
        if (table_) {
            table_->InvalidateAll();
        }
    }

  private:
    HRESULT DispatchThroughBridge(REFIID riid, void** object);
    CTevo();
    ~CTevo() override;

    HRESULT GetSubObjectById(REFIID iid, void** out, const char* method);
    HRESULT ReportNoSession();
    // Before an attribute's exchange: a session must exist, and the answer of a calibration
    // still owed is read first, so that it never becomes the attribute's reply.
    HRESULT PrepareAttributeExchange();
    // Creates the items of a collection, each bound to its trace record of the table.
    void CreateTraceItems(TraceCollection& collection);
    // Unbinds and releases the items of a collection.
    void ReleaseTraceItems(TraceCollection& collection);

    std::atomic<ULONG> references_{1};
    // While initialized the object holds a reference on itself (its root link).
    bool holds_root_reference_ = false;
    TevoActiveScreenEnum active_screen_ = TevoActiveScreenA;
    LONG active_marker_ = 1;
    TranslateMaps maps_;
    // What the operations keep between calls; a new session starts without any.
    OperationState operation_state_;
    // The attribute records of the initialized session; null outside one.
    std::unique_ptr<AttributeTable> table_;
    TraceCollection specan_traces_;
    TraceCollection tevo_traces_;
    TraceBinding trace_binding_;
};

// ITevo's facet of the main object (which also answers IIviDriver).
using TevoRootFacet = TevoRootFacetOf<CTevo>;

}  // namespace tevo::driver

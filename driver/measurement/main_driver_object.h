// CTevo: the main driver object (coclass Tevo). One reference-counted object carries every
// root and sub-object interface of the driver; it derives from the session core and from
// one facet per interface.
#pragma once

#include <atomic>

#include "server/module_lock.h"
#include "session/driver_session.h"
#include "session/inherent_facets.h"
#include "session/trace_setup.h"

namespace tevo::driver {

class CTevo;

// ITevo: IIviDriver's methods plus the getters of the instrument-specific tree.
class TevoRootFacet : public IviDriverMethods<CTevo, ITevo> {
  public:
    HRESULT STDMETHODCALLTYPE get_Acquisition(ITevoAcquisition** pVal) override;
    HRESULT STDMETHODCALLTYPE get_Display(ITevoDisplay** pVal) override;
    HRESULT STDMETHODCALLTYPE get_Frequency(ITevoFrequency** pVal) override;
    HRESULT STDMETHODCALLTYPE get_InstrumentIO(ITevoInstrumentIO** pVal) override;
    HRESULT STDMETHODCALLTYPE get_IviSpecAn(IIviSpecAn** pVal) override;
    HRESULT STDMETHODCALLTYPE get_Level(ITevoLevel** pVal) override;
    HRESULT STDMETHODCALLTYPE get_List(ITevoList** pVal) override;
    HRESULT STDMETHODCALLTYPE get_Marker(ITevoMarker** pVal) override;
    HRESULT STDMETHODCALLTYPE get_Service(ITevoService** pVal) override;
    HRESULT STDMETHODCALLTYPE get_SweepCoupling(ITevoSweepCoupling** pVal) override;
    HRESULT STDMETHODCALLTYPE get_Traces(ITevoTraces** pVal) override;
    HRESULT STDMETHODCALLTYPE get_Trigger(ITevoTrigger** pVal) override;
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
                    public SupportErrorInfoFacet,
                    public ProvideClassInfoFacet,
                    public TraceSwitchFacet<CTevo>,
                    public MessageProviderFacet<CTevo>,
                    public TevoRootFacet,
                    public IviClassWrapperFacet<CTevo>,
                    public IviDriverIdentityFacet<CTevo>,
                    public IviDriverOperationFacet<CTevo>,
                    public IviDriverUtilityFacet<CTevo> {
  public:
    // A new object with one reference, returned through its identity interface.
    static HRESULT Create(REFIID riid, void** object);

    HRESULT ObjectQueryInterface(REFIID riid, void** object);
    ULONG ObjectAddRef();
    ULONG ObjectRelease();

    // FrameObject / FrameRoot
    const CLSID& ClassId() const override { return CLSID_Tevo; }
    IIviDriver* FrameDriver() override { return static_cast<TevoRootFacet*>(this); }

    // The getters of the instrument-specific tree: the object itself through the named
    // interface.
    HRESULT TevoGetSubObject(REFIID iid, void** out, const char* method);
    template <class Interface>
    HRESULT TevoGetSubObjectAs(Interface** pVal, const char* method) {
        return TevoGetSubObject(tevo::com::InterfaceIid<Interface>::value,
                                reinterpret_cast<void**>(pVal), method);
    }

    LONG ActiveMarker() const { return active_marker_; }
    TevoActiveScreenEnum ActiveScreen() const { return active_screen_; }

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

  private:
    CTevo();
    ~CTevo() override;

    std::atomic<ULONG> references_{1};
    // While initialized the object holds a reference on itself (its root link).
    bool holds_root_reference_ = false;
    TevoActiveScreenEnum active_screen_ = TevoActiveScreenA;
    LONG active_marker_ = 1;
    TraceBinding trace_binding_;
};

}  // namespace tevo::driver

// The bridge object: created with the object it serves as its outer unknown (aggregation),
// it answers that object's requests for IDispatch.
#include <new>

#include "bridge_module.h"
#include "interface_dispatch.h"
#include "tevo/com/aggregation.h"
#include "tevo/com/automation_bridge.h"
#include "tevo/com/classinfo.h"
#include "tevo/com/com_ptr.h"

namespace tevo::com::bridge {

namespace {

using tevo::com::ComPtr;

// The [default] interface of the coclass that `object` says it is an instance of.
HRESULT DefaultInterfaceOf(IUnknown* object, ITypeInfo** out) {
    ComPtr<IProvideClassInfo> provider;
    if (FAILED(
            object->QueryInterface(IID_IProvideClassInfo, reinterpret_cast<void**>(&provider)))) {
        return E_NOINTERFACE;
    }
    ComPtr<ITypeInfo> coclass;
    HRESULT hr = provider->GetClassInfo(&coclass);
    if (FAILED(hr)) {
        return hr;
    }
    TYPEATTR* attributes = nullptr;
    hr = coclass->GetTypeAttr(&attributes);
    if (FAILED(hr)) {
        return hr;
    }
    const WORD implemented = attributes->cImplTypes;
    coclass->ReleaseTypeAttr(attributes);
    for (UINT i = 0; i < implemented; ++i) {
        INT flags = 0;
        HREFTYPE ref = 0;
        if (SUCCEEDED(coclass->GetImplTypeFlags(i, &flags)) &&
            (flags & IMPLTYPEFLAG_FDEFAULT) != 0 && (flags & IMPLTYPEFLAG_FSOURCE) == 0 &&
            SUCCEEDED(coclass->GetRefTypeOfImplType(i, &ref))) {
            return coclass->GetRefTypeInfo(ref, out);
        }
    }
    return E_NOINTERFACE;
}

class BridgeObject final : public IAutomationBridge {
  public:
    explicit BridgeObject(IUnknown* outer) : outer_(outer) {}

    // The bridge's own (non-delegating) IUnknown, holding its reference count.
    IUnknown* Inner() { return &inner_; }

    // IUnknown of the bridge interface: the outer object's, as aggregation requires; a
    // bridge made without an outer object is its own.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override {
        return Controlling()->QueryInterface(riid, ppvObject);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return Controlling()->AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return Controlling()->Release(); }

    HRESULT STDMETHODCALLTYPE QueryDispatch(REFIID riid, void** ppv) override {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        *ppv = nullptr;
        if (riid != IID_IDispatch) {
            return E_NOINTERFACE;
        }
        if (outer_ == nullptr) {
            return E_UNEXPECTED;
        }
        ComPtr<ITypeInfo> type;
        const HRESULT hr = DefaultInterfaceOf(outer_, &type);
        if (FAILED(hr)) {
            return hr;
        }
        return CreateInterfaceDispatch(outer_, type.Get(), reinterpret_cast<IDispatch**>(ppv));
    }

  private:
    friend class tevo::com::InnerUnknown<BridgeObject, IAutomationBridge>;

    ~BridgeObject() = default;
    IUnknown* Controlling() { return outer_ != nullptr ? outer_ : &inner_; }

    IUnknown* const outer_;  // not counted: an aggregated object never holds its outer
    tevo::com::InnerUnknown<BridgeObject, IAutomationBridge> inner_{this};
    tevo::com::server::ObjectLock module_lock_{BridgeModule()};
};

}  // namespace

// A ClassEntry create function. With an outer object riid is IID_IUnknown (the kit sees to
// that) and the answer is the inner unknown; without one, any interface of the bridge.
HRESULT CreateBridge(IUnknown* outer, REFIID riid, void** object) {
    auto* bridge = new (std::nothrow) BridgeObject(outer);
    if (bridge == nullptr) {
        return E_OUTOFMEMORY;
    }
    IUnknown* inner = bridge->Inner();
    const HRESULT hr = inner->QueryInterface(riid, object);
    inner->Release();
    return hr;
}

}  // namespace tevo::com::bridge

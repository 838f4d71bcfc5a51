// The Disp* helpers and the standard dispatch object of CreateStdDispatch.
#include <atomic>
#include <new>

#include "tevo/com/aggregation.h"
#include "tevo/com/automation.h"
#include "tevo/com/com_ptr.h"

namespace {

using tevo::com::ComPtr;

// The object of CreateStdDispatch. Its own IUnknown (the inner one when aggregated) is a
// separate sub-object, so that the IDispatch can delegate its IUnknown to the outer object
// while the inner one manages the lifetime.
class StandardDispatch final : public IDispatch {
  public:
    StandardDispatch(IUnknown* outer, void* instance, ITypeInfo* type)
        : inner_(this),
          outer_(outer != nullptr ? outer : &inner_),
          instance_(instance),
          type_(type) {}
    StandardDispatch(const StandardDispatch&) = delete;
    StandardDispatch& operator=(const StandardDispatch&) = delete;

    IUnknown* Inner() { return &inner_; }

    // IUnknown of the IDispatch: the controlling object's.
    HRESULT QueryInterface(REFIID riid, void** ppvObject) override {
        return outer_->QueryInterface(riid, ppvObject);
    }
    ULONG AddRef() override { return outer_->AddRef(); }
    ULONG Release() override { return outer_->Release(); }

    HRESULT GetTypeInfoCount(UINT* pctinfo) override {
        if (pctinfo == nullptr) {
            return E_INVALIDARG;
        }
        *pctinfo = 1;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT iTInfo, LCID /*lcid*/, ITypeInfo** ppTInfo) override {
        if (ppTInfo == nullptr) {
            return E_INVALIDARG;
        }
        *ppTInfo = nullptr;
        if (iTInfo != 0) {
            return DISP_E_BADINDEX;
        }
        return type_.CopyTo(ppTInfo);
    }
    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID /*lcid*/,
                          DISPID* rgDispId) override {
        if (riid != IID_NULL) {
            return DISP_E_UNKNOWNINTERFACE;
        }
        return DispGetIDsOfNames(type_.Get(), rgszNames, cNames, rgDispId);
    }
    HRESULT Invoke(DISPID dispIdMember, REFIID riid, LCID /*lcid*/, WORD wFlags,
                   DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                   UINT* puArgErr) override {
        if (riid != IID_NULL) {
            return DISP_E_UNKNOWNINTERFACE;
        }
        return DispInvoke(instance_, type_.Get(), dispIdMember, wFlags, pDispParams, pVarResult,
                          pExcepInfo, puArgErr);
    }

  private:
    friend class tevo::com::InnerUnknown<StandardDispatch, IDispatch>;

    ~StandardDispatch() = default;

    tevo::com::InnerUnknown<StandardDispatch, IDispatch> inner_;
    IUnknown* outer_;
    void* instance_;
    ComPtr<ITypeInfo> type_;
};

}  // namespace

extern "C" HRESULT DispGetParam(DISPPARAMS* pdispparams, UINT position, VARTYPE vtTarg,
                                VARIANT* pvarResult, UINT* puArgErr) {
    if (pdispparams == nullptr || pvarResult == nullptr ||
        pdispparams->cNamedArgs > pdispparams->cArgs ||
        (pdispparams->cArgs > 0 && pdispparams->rgvarg == nullptr) ||
        (pdispparams->cNamedArgs > 0 && pdispparams->rgdispidNamedArgs == nullptr)) {
        return E_INVALIDARG;
    }
    VariantInit(pvarResult);
    const UINT positional = pdispparams->cArgs - pdispparams->cNamedArgs;
    UINT index = 0;
    if (position < positional) {
        index = pdispparams->cArgs - 1 - position;  // rgvarg holds the arguments reversed
    } else {
        bool found = false;
        for (UINT j = 0; j < pdispparams->cNamedArgs && !found; ++j) {
            if (pdispparams->rgdispidNamedArgs[j] == static_cast<DISPID>(position)) {
                index = j;
                found = true;
            }
        }
        if (!found) {
            return DISP_E_PARAMNOTFOUND;
        }
    }
    const HRESULT hr = VariantChangeType(pvarResult, &pdispparams->rgvarg[index], 0, vtTarg);
    if (SUCCEEDED(hr)) {
        return S_OK;
    }
    if (puArgErr != nullptr) {
        *puArgErr = index;
    }
    return hr == DISP_E_OVERFLOW ? DISP_E_OVERFLOW : DISP_E_TYPEMISMATCH;
}

extern "C" HRESULT DispGetIDsOfNames(ITypeInfo* ptinfo, OLECHAR** rgszNames, UINT cNames,
                                     DISPID* rgdispid) {
    if (ptinfo == nullptr) {
        return E_INVALIDARG;
    }
    return ptinfo->GetIDsOfNames(rgszNames, cNames, rgdispid);
}

extern "C" HRESULT DispInvoke(void* _this, ITypeInfo* ptinfo, DISPID dispidMember, WORD wFlags,
                              DISPPARAMS* pparams, VARIANT* pvarResult, EXCEPINFO* pexcepinfo,
                              UINT* puArgErr) {
    if (ptinfo == nullptr) {
        return E_INVALIDARG;
    }
    return ptinfo->Invoke(_this, dispidMember, wFlags, pparams, pvarResult, pexcepinfo, puArgErr);
}

extern "C" HRESULT CreateStdDispatch(IUnknown* punkOuter, void* pvThis, ITypeInfo* ptinfo,
                                     IUnknown** ppunkStdDisp) {
    if (ppunkStdDisp == nullptr) {
        return E_INVALIDARG;
    }
    *ppunkStdDisp = nullptr;
    if (pvThis == nullptr || ptinfo == nullptr) {
        return E_INVALIDARG;
    }
    auto* object = new (std::nothrow) StandardDispatch(punkOuter, pvThis, ptinfo);
    if (object == nullptr) {
        return E_OUTOFMEMORY;
    }
    *ppunkStdDisp = object->Inner();
    return S_OK;
}

#include "interface_dispatch.h"

#include <atomic>
#include <new>

#include "bridge_module.h"
#include "tevo/com/automation.h"
#include "tevo/com/com_ptr.h"
#include "tevo/com/guid.h"

namespace tevo::com::bridge {

namespace {

using tevo::com::ComPtr;

// Base interfaces are followed at most this deep (a damaged library could loop).
constexpr int kMaxBaseDepth = 64;

// The interface described by a TYPEDESC that is a pointer (or pointer to pointer) to a
// user-defined interface type; null otherwise.
ComPtr<ITypeInfo> PointedInterface(ITypeInfo* owner, const TYPEDESC& type) {
    const TYPEDESC* desc = &type;
    while (desc->vt == VT_PTR && desc->lptdesc != nullptr) {
        desc = desc->lptdesc;
    }
    if (desc->vt != VT_USERDEFINED) {
        return nullptr;
    }
    ComPtr<ITypeInfo> referenced;
    if (FAILED(owner->GetRefTypeInfo(desc->hreftype, &referenced))) {
        return nullptr;
    }
    TYPEATTR* attributes = nullptr;
    if (FAILED(referenced->GetTypeAttr(&attributes))) {
        return nullptr;
    }
    const bool is_interface =
        attributes->typekind == TKIND_INTERFACE || attributes->typekind == TKIND_DISPATCH;
    referenced->ReleaseTypeAttr(attributes);
    return is_interface ? referenced : nullptr;
}

// The interface type that member `memid` returns when called with `flags` (a property get
// or a method): the type of its [retval] parameter. Searched in `type` and then its base
// interfaces. Null when the member returns no interface.
ComPtr<ITypeInfo> ReturnedInterface(ITypeInfo* type, MEMBERID memid, WORD flags, int depth = 0) {
    if (type == nullptr || depth > kMaxBaseDepth) {
        return nullptr;
    }
    TYPEATTR* attributes = nullptr;
    if (FAILED(type->GetTypeAttr(&attributes))) {
        return nullptr;
    }
    const WORD functions = attributes->cFuncs;
    const WORD implemented = attributes->cImplTypes;
    type->ReleaseTypeAttr(attributes);
    for (UINT i = 0; i < functions; ++i) {
        FUNCDESC* func = nullptr;
        if (FAILED(type->GetFuncDesc(i, &func))) {
            continue;
        }
        ComPtr<ITypeInfo> found;
        const bool matches = func->memid == memid &&
                             (static_cast<WORD>(func->invkind) & flags) != 0 &&
                             (func->invkind == INVOKE_FUNC || func->invkind == INVOKE_PROPERTYGET);
        if (matches) {
            for (SHORT p = 0; p < func->cParams; ++p) {
                const ELEMDESC& param = func->lprgelemdescParam[p];
                if ((param.paramdesc.wParamFlags & PARAMFLAG_FRETVAL) != 0) {
                    found = PointedInterface(type, param.tdesc);
                }
            }
            if (!found) {
                found = PointedInterface(type, func->elemdescFunc.tdesc);
            }
        }
        type->ReleaseFuncDesc(func);
        if (matches) {
            return found;
        }
    }
    if (implemented == 0) {
        return nullptr;
    }
    HREFTYPE base_ref = 0;
    ComPtr<ITypeInfo> base;
    if (FAILED(type->GetRefTypeOfImplType(0, &base_ref)) ||
        FAILED(type->GetRefTypeInfo(base_ref, &base))) {
        return nullptr;
    }
    return ReturnedInterface(base.Get(), memid, flags, depth + 1);
}

class InterfaceDispatch final : public IDispatch {
  public:
    InterfaceDispatch(ComPtr<IUnknown> instance, ComPtr<ITypeInfo> type)
        : instance_(std::move(instance)), type_(std::move(type)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override {
        if (ppvObject == nullptr) {
            return E_POINTER;
        }
        if (riid == IID_IDispatch) {
            *ppvObject = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        // Everything else, IUnknown included, is the object's: the tear-off keeps its
        // identity.
        return instance_->QueryInterface(riid, ppvObject);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) {
            delete this;
        }
        return left;
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override {
        if (pctinfo == nullptr) {
            return E_INVALIDARG;
        }
        *pctinfo = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID /*lcid*/,
                                          ITypeInfo** ppTInfo) override {
        if (ppTInfo == nullptr) {
            return E_INVALIDARG;
        }
        *ppTInfo = nullptr;
        if (iTInfo != 0) {
            return DISP_E_BADINDEX;
        }
        return type_.CopyTo(ppTInfo);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames,
                                            LCID /*lcid*/, DISPID* rgDispId) override {
        if (riid != IID_NULL) {
            return DISP_E_UNKNOWNINTERFACE;
        }
        return DispGetIDsOfNames(type_.Get(), rgszNames, cNames, rgDispId);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID /*lcid*/, WORD wFlags,
                                     DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                     EXCEPINFO* pExcepInfo, UINT* puArgErr) override {
        if (riid != IID_NULL) {
            return DISP_E_UNKNOWNINTERFACE;
        }
        const HRESULT hr = DispInvoke(instance_.Get(), type_.Get(), dispIdMember, wFlags,
                                      pDispParams, pVarResult, pExcepInfo, puArgErr);
        if (SUCCEEDED(hr) && pVarResult != nullptr) {
            return DispatchForReturnedInterface(dispIdMember, wFlags, pVarResult);
        }
        return hr;
    }

  private:
    ~InterfaceDispatch() = default;

    // An interface pointer the member returned becomes an IDispatch for the interface it is
    // declared as, so that a late-bound client can go on calling it.
    HRESULT DispatchForReturnedInterface(DISPID member, WORD flags, VARIANT* result) {
        if (result->vt != VT_UNKNOWN && result->vt != VT_DISPATCH) {
            return S_OK;
        }
        IUnknown* returned = result->vt == VT_UNKNOWN ? result->punkVal : result->pdispVal;
        if (returned == nullptr) {
            return S_OK;
        }
        const ComPtr<ITypeInfo> declared = ReturnedInterface(type_.Get(), member, flags);
        if (!declared) {
            return S_OK;
        }
        IDispatch* dispatch = nullptr;
        const HRESULT hr = CreateInterfaceDispatch(returned, declared.Get(), &dispatch);
        VariantClear(result);
        if (FAILED(hr)) {
            return hr;
        }
        result->vt = VT_DISPATCH;
        result->pdispVal = dispatch;
        return S_OK;
    }

    const ComPtr<IUnknown> instance_;  // the object's pointer for the interface
    const ComPtr<ITypeInfo> type_;
    std::atomic<ULONG> references_{1};
    tevo::com::server::ObjectLock module_lock_{BridgeModule()};
};

}  // namespace

HRESULT CreateInterfaceDispatch(IUnknown* object, ITypeInfo* type, IDispatch** out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    *out = nullptr;
    if (object == nullptr || type == nullptr) {
        return E_INVALIDARG;
    }
    TYPEATTR* attributes = nullptr;
    HRESULT hr = type->GetTypeAttr(&attributes);
    if (FAILED(hr)) {
        return hr;
    }
    const IID iid = attributes->guid;
    const bool is_interface = attributes->typekind == TKIND_INTERFACE;
    type->ReleaseTypeAttr(attributes);
    if (!is_interface) {
        return E_NOINTERFACE;
    }
    ComPtr<IUnknown> instance;
    hr = object->QueryInterface(iid, reinterpret_cast<void**>(&instance));
    if (FAILED(hr)) {
        return hr;
    }
    auto* dispatch =
        new (std::nothrow) InterfaceDispatch(std::move(instance), ComPtr<ITypeInfo>(type));
    if (dispatch == nullptr) {
        return E_OUTOFMEMORY;
    }
    *out = dispatch;
    return S_OK;
}

}  // namespace tevo::com::bridge

#include "type_comp_object.h"

#include <atomic>
#include <new>

#include "tevo/com/com_ptr.h"
#include "tevo/com/holders.h"
#include "tevo/win/files.h"
#include "tevo/win/text.h"

namespace tevo::com::typelib {

using tevo::com::ComPtr;

namespace {

// How deep Bind follows base interfaces: a damaged pair of libraries could make an
// interface its own base.
constexpr int kMaxBaseDepth = 32;

bool SameName(ITypeInfo* type, MEMBERID memid, const OLECHAR* name) {
    BSTR stored = nullptr;
    if (FAILED(type->GetDocumentation(memid, &stored, nullptr, nullptr, nullptr))) {
        return false;
    }
    const Bstr owned = Bstr::Adopt(stored);
    return tevo::win::NamesEqualIgnoringCase(BstrToUtf8(owned.Get()), tevo::win::WideToUtf8(name));
}

// The base interface of an interface type, or null.
ComPtr<ITypeInfo> BaseOf(ITypeInfo* type, const TYPEATTR& attr) {
    ComPtr<ITypeInfo> base;
    HREFTYPE href = 0;
    if ((attr.typekind != TKIND_INTERFACE && attr.typekind != TKIND_DISPATCH) ||
        attr.cImplTypes == 0 || FAILED(type->GetRefTypeOfImplType(0, &href)) ||
        FAILED(type->GetRefTypeInfo(href, &base))) {
        return nullptr;
    }
    return base;
}

// What Bind found: the description, the type that holds it, or that the name exists
// only with other invoke kinds.
struct Binding {
    DESCKIND kind = DESCKIND_NONE;
    BINDPTR pointer{};
    ComPtr<ITypeInfo> holder;
    bool wrong_kind = false;
};

// Binds `name` among the members of `type` and its base interfaces.
HRESULT BindMember(ITypeInfo* type, const OLECHAR* name, WORD flags, Binding* binding, int depth) {
    TYPEATTR* attr = nullptr;
    HRESULT hr = type->GetTypeAttr(&attr);
    if (FAILED(hr)) {
        return hr;
    }
    const TYPEATTR attributes = *attr;
    type->ReleaseTypeAttr(attr);
    for (UINT i = 0; i < attributes.cFuncs; ++i) {
        FUNCDESC* func = nullptr;
        if (FAILED(hr = type->GetFuncDesc(i, &func))) {
            return hr;
        }
        if (!SameName(type, func->memid, name)) {
            type->ReleaseFuncDesc(func);
            continue;
        }
        if (flags != 0 && (func->invkind & flags) == 0) {
            binding->wrong_kind = true;
            type->ReleaseFuncDesc(func);
            continue;
        }
        binding->kind = DESCKIND_FUNCDESC;
        binding->pointer.lpfuncdesc = func;
        binding->holder = ComPtr<ITypeInfo>(type);
        return S_OK;
    }
    for (UINT i = 0; i < attributes.cVars; ++i) {
        VARDESC* var = nullptr;
        if (FAILED(hr = type->GetVarDesc(i, &var))) {
            return hr;
        }
        if (SameName(type, var->memid, name)) {
            binding->kind = DESCKIND_VARDESC;
            binding->pointer.lpvardesc = var;
            binding->holder = ComPtr<ITypeInfo>(type);
            return S_OK;
        }
        type->ReleaseVarDesc(var);
    }
    const ComPtr<ITypeInfo> base = BaseOf(type, attributes);
    if (!base || depth >= kMaxBaseDepth) {
        return S_OK;
    }
    return BindMember(base.Get(), name, flags, binding, depth + 1);
}

class TypeCompObject final : public ITypeComp {
  public:
    explicit TypeCompObject(ITypeInfo* type) : type_(type) {}

    HRESULT QueryInterface(REFIID riid, void** ppvObject) override {
        if (ppvObject == nullptr) {
            return E_POINTER;
        }
        if (riid == IID_IUnknown || riid == IID_ITypeComp) {
            *ppvObject = static_cast<ITypeComp*>(this);
            AddRef();
            return S_OK;
        }
        *ppvObject = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++references_; }
    ULONG Release() override {
        const ULONG left = --references_;
        if (left == 0) {
            delete this;
        }
        return left;
    }

    HRESULT Bind(LPOLESTR szName, ULONG /*lHashVal*/, WORD wFlags, ITypeInfo** ppTInfo,
                 DESCKIND* pDescKind, BINDPTR* pBindPtr) override {
        if (szName == nullptr || ppTInfo == nullptr || pDescKind == nullptr ||
            pBindPtr == nullptr) {
            return E_INVALIDARG;
        }
        *ppTInfo = nullptr;
        *pDescKind = DESCKIND_NONE;
        pBindPtr->lpfuncdesc = nullptr;
        Binding binding;
        const HRESULT hr = BindMember(type_.Get(), szName, wFlags, &binding, 0);
        if (FAILED(hr)) {
            return hr;
        }
        if (binding.kind == DESCKIND_NONE) {
            return binding.wrong_kind ? TYPE_E_TYPEMISMATCH : S_OK;
        }
        *pDescKind = binding.kind;
        *pBindPtr = binding.pointer;
        *ppTInfo = binding.holder.Detach();
        return S_OK;
    }

    HRESULT BindType(LPOLESTR szName, ULONG /*lHashVal*/, ITypeInfo** ppTInfo,
                     ITypeComp** ppTComp) override {
        if (szName == nullptr || ppTInfo == nullptr || ppTComp == nullptr) {
            return E_INVALIDARG;
        }
        *ppTInfo = nullptr;
        *ppTComp = nullptr;
        ComPtr<ITypeLib> library;
        UINT unused = 0;
        HRESULT hr = type_->GetContainingTypeLib(&library, &unused);
        if (FAILED(hr)) {
            return hr;
        }
        const UINT count = library->GetTypeInfoCount();
        for (UINT i = 0; i < count; ++i) {
            BSTR stored = nullptr;
            if (FAILED(library->GetDocumentation(static_cast<INT>(i), &stored, nullptr, nullptr,
                                                 nullptr))) {
                continue;
            }
            const Bstr owned = Bstr::Adopt(stored);
            if (tevo::win::NamesEqualIgnoringCase(BstrToUtf8(owned.Get()),
                                                  tevo::win::WideToUtf8(szName))) {
                return library->GetTypeInfo(i, ppTInfo);
            }
        }
        return S_OK;  // no such type: nothing bound
    }

  private:
    ~TypeCompObject() = default;

    std::atomic<ULONG> references_{1};
    ComPtr<ITypeInfo> type_;
};

}  // namespace

HRESULT CreateTypeComp(ITypeInfo* type, ITypeComp** out) {
    auto* comp = new (std::nothrow) TypeCompObject(type);
    if (comp == nullptr) {
        return E_OUTOFMEMORY;
    }
    *out = comp;
    return S_OK;
}

}  // namespace tevo::com::typelib

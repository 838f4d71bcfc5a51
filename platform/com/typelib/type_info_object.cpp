#include "type_info_object.h"

#include <algorithm>

#include "member_invocation.h"
#include "member_names.h"
#include "tevo/com/activation.h"
#include "tevo/com/bstr.h"
#include "type_comp_object.h"
#include "type_descriptions.h"
#include "type_library_object.h"

namespace tevo::com::typelib {

using tevo::com::ComPtr;

namespace {

// How deep lookups that continue in base interfaces are nested on this thread. A damaged
// pair of libraries could make an interface its own base; lookups give up at this depth
// instead of recursing without end.
thread_local int t_base_depth = 0;
constexpr int kMaxBaseDepth = 64;

class BaseDepthGuard {
  public:
    BaseDepthGuard() { ++t_base_depth; }
    ~BaseDepthGuard() { --t_base_depth; }
    BaseDepthGuard(const BaseDepthGuard&) = delete;
    BaseDepthGuard& operator=(const BaseDepthGuard&) = delete;
    static bool TooDeep() { return t_base_depth >= kMaxBaseDepth; }
};

const idl::Func* FindFunc(const idl::TypeInfo& type, MEMBERID memid) {
    for (const idl::Func& func : type.funcs) {
        if (func.member_id == memid) {
            return &func;
        }
    }
    return nullptr;
}

const idl::Var* FindVar(const idl::TypeInfo& type, MEMBERID memid) {
    for (const idl::Var& var : type.vars) {
        if (var.member_id == memid) {
            return &var;
        }
    }
    return nullptr;
}

}  // namespace

TypeInfoObject::TypeInfoObject(TypeLibraryObject& library, UINT index)
    : library_(library), index_(index), type_(library.model().types[index]) {}

HRESULT TypeInfoObject::QueryInterface(REFIID riid, void** ppvObject) {
    if (ppvObject == nullptr) {
        return E_POINTER;
    }
    if (riid == IID_IUnknown || riid == IID_ITypeInfo) {
        *ppvObject = static_cast<ITypeInfo*>(this);
        AddRef();
        return S_OK;
    }
    *ppvObject = nullptr;
    return E_NOINTERFACE;
}

ULONG TypeInfoObject::AddRef() {
    return library_.AddRef();
}

ULONG TypeInfoObject::Release() {
    return library_.Release();
}

HRESULT TypeInfoObject::GetTypeAttr(TYPEATTR** ppTypeAttr) {
    if (ppTypeAttr == nullptr) {
        return E_INVALIDARG;
    }
    *ppTypeAttr = NewTypeAttr(library_.model(), type_);
    return *ppTypeAttr == nullptr ? E_OUTOFMEMORY : S_OK;
}

HRESULT TypeInfoObject::GetTypeComp(ITypeComp** ppTComp) {
    if (ppTComp == nullptr) {
        return E_INVALIDARG;
    }
    *ppTComp = nullptr;
    return CreateTypeComp(this, ppTComp);
}

HRESULT TypeInfoObject::GetFuncDesc(UINT index, FUNCDESC** ppFuncDesc) {
    if (ppFuncDesc == nullptr) {
        return E_INVALIDARG;
    }
    *ppFuncDesc = nullptr;
    if (index >= type_.funcs.size()) {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    *ppFuncDesc = NewFuncDesc(type_.funcs[index]);
    return *ppFuncDesc == nullptr ? E_OUTOFMEMORY : S_OK;
}

HRESULT TypeInfoObject::GetVarDesc(UINT index, VARDESC** ppVarDesc) {
    if (ppVarDesc == nullptr) {
        return E_INVALIDARG;
    }
    *ppVarDesc = nullptr;
    if (index >= type_.vars.size()) {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    *ppVarDesc = NewVarDesc(type_.vars[index]);
    return *ppVarDesc == nullptr ? E_OUTOFMEMORY : S_OK;
}

bool TypeInfoObject::OwnNames(MEMBERID memid, std::vector<std::string>* names) const {
    if (const idl::Func* func = FindFunc(type_, memid)) {
        names->push_back(func->name);
        // Names line up with parameters, so the list ends at the first unnamed one (the
        // value of a property put).
        for (const idl::Param& param : func->params) {
            if (!param.name) {
                break;
            }
            names->push_back(*param.name);
        }
        return true;
    }
    if (const idl::Var* var = FindVar(type_, memid)) {
        names->push_back(var->name);
        return true;
    }
    return false;
}

HRESULT TypeInfoObject::GetNames(MEMBERID memid, BSTR* rgBstrNames, UINT cMaxNames, UINT* pcNames) {
    if (pcNames == nullptr || (rgBstrNames == nullptr && cMaxNames > 0)) {
        return E_INVALIDARG;
    }
    *pcNames = 0;
    std::vector<std::string> names;
    if (!OwnNames(memid, &names)) {
        const ComPtr<ITypeInfo> base = BaseInterface();
        if (!base) {
            return TYPE_E_ELEMENTNOTFOUND;
        }
        const BaseDepthGuard depth;
        return base->GetNames(memid, rgBstrNames, cMaxNames, pcNames);
    }
    const UINT count = std::min(cMaxNames, static_cast<UINT>(names.size()));
    for (UINT i = 0; i < count; ++i) {
        rgBstrNames[i] = NewBstr(names[i]);
        if (rgBstrNames[i] == nullptr) {
            for (UINT j = 0; j < i; ++j) {
                SysFreeString(rgBstrNames[j]);
                rgBstrNames[j] = nullptr;
            }
            return E_OUTOFMEMORY;
        }
    }
    *pcNames = count;
    return S_OK;
}

HRESULT TypeInfoObject::GetRefTypeOfImplType(UINT index, HREFTYPE* pRefType) {
    if (pRefType == nullptr) {
        return E_INVALIDARG;
    }
    if (index >= type_.impl_types.size()) {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    *pRefType = HrefOf(type_.impl_types[index].ref);
    return S_OK;
}

HRESULT TypeInfoObject::GetImplTypeFlags(UINT index, INT* pImplTypeFlags) {
    if (pImplTypeFlags == nullptr) {
        return E_INVALIDARG;
    }
    if (index >= type_.impl_types.size()) {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    *pImplTypeFlags = type_.impl_types[index].flags;
    return S_OK;
}

HRESULT TypeInfoObject::GetIDsOfNames(LPOLESTR* rgszNames, UINT cNames, MEMBERID* pMemId) {
    if (rgszNames == nullptr || pMemId == nullptr || cNames == 0) {
        return E_INVALIDARG;
    }
    std::fill(pMemId, pMemId + cNames, MEMBERID_NIL);
    const NameQuery member(rgszNames[0]);
    const idl::Func* func = nullptr;
    bool found = false;
    for (const idl::Func& candidate : type_.funcs) {
        if (member.Matches(candidate.name)) {
            func = &candidate;
            pMemId[0] = candidate.member_id;
            found = true;
            break;
        }
    }
    for (auto var = type_.vars.begin(); !found && var != type_.vars.end(); ++var) {
        if (member.Matches(var->name)) {
            pMemId[0] = var->member_id;
            found = true;
        }
    }
    if (!found) {
        const ComPtr<ITypeInfo> base = BaseInterface();
        if (!base) {
            return DISP_E_UNKNOWNNAME;
        }
        const BaseDepthGuard depth;
        return base->GetIDsOfNames(rgszNames, cNames, pMemId);
    }
    // The other names are parameters of the member: each gets its position.
    HRESULT result = S_OK;
    for (UINT i = 1; i < cNames; ++i) {
        const NameQuery param_name(rgszNames[i]);
        bool known = false;
        for (std::size_t p = 0; func != nullptr && p < func->params.size() && !known; ++p) {
            if (func->params[p].name && param_name.Matches(*func->params[p].name)) {
                pMemId[i] = static_cast<MEMBERID>(p);
                known = true;
            }
        }
        if (!known) {
            result = DISP_E_UNKNOWNNAME;
        }
    }
    return result;
}

const idl::Func* TypeInfoObject::InvocableFunc(MEMBERID memid, WORD flags) const {
    const auto found =
        std::find_if(type_.funcs.begin(), type_.funcs.end(), [&](const idl::Func& f) {
            return f.member_id == memid && (static_cast<WORD>(f.invoke_kind) & flags) != 0;
        });
    return found == type_.funcs.end() ? nullptr : &*found;
}

HRESULT TypeInfoObject::Invoke(PVOID pvInstance, MEMBERID memid, WORD wFlags,
                               DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                               UINT* puArgErr) {
    if (pvInstance == nullptr || pDispParams == nullptr ||
        (pDispParams->cArgs > 0 && pDispParams->rgvarg == nullptr) ||
        (pDispParams->cNamedArgs > 0 && pDispParams->rgdispidNamedArgs == nullptr) ||
        pDispParams->cNamedArgs > pDispParams->cArgs) {
        return E_INVALIDARG;
    }
    if (type_.kind == idl::TypeKind::kDispatch) {
        // A dispinterface has no vtable to call: its members are the object's IDispatch.
        return static_cast<IDispatch*>(pvInstance)
            ->Invoke(memid, IID_NULL, 0, wFlags, pDispParams, pVarResult, pExcepInfo, puArgErr);
    }
    if (type_.kind != idl::TypeKind::kInterface) {
        return DISP_E_MEMBERNOTFOUND;
    }
    const idl::Func* func = InvocableFunc(memid, wFlags);
    if (func == nullptr) {
        // Inherited members sit in the base interface's slots of the same vtable.
        const ComPtr<ITypeInfo> base = BaseInterface();
        if (!base) {
            return DISP_E_MEMBERNOTFOUND;
        }
        const BaseDepthGuard depth;
        return base->Invoke(pvInstance, memid, wFlags, pDispParams, pVarResult, pExcepInfo,
                            puArgErr);
    }
    FUNCDESC* desc = NewFuncDesc(*func);
    if (desc == nullptr) {
        return E_OUTOFMEMORY;
    }
    const HRESULT hr = InvokeFunction(this, type_.guid, *desc, pvInstance, wFlags, pDispParams,
                                      pVarResult, pExcepInfo, puArgErr);
    DeleteFuncDesc(desc);
    return hr;
}

HRESULT TypeInfoObject::GetDocumentation(MEMBERID memid, BSTR* pBstrName, BSTR* pBstrDocString,
                                         DWORD* pdwHelpContext, BSTR* pBstrHelpFile) {
    for (BSTR* out : {pBstrName, pBstrDocString, pBstrHelpFile}) {
        if (out != nullptr) {
            *out = nullptr;
        }
    }
    const std::string* name = nullptr;
    const idl::Documentation* doc = nullptr;
    if (memid == MEMBERID_NIL) {
        name = &type_.name;
        doc = &type_.doc;
    } else if (const idl::Func* func = FindFunc(type_, memid)) {
        name = &func->name;
        doc = &func->doc;
    } else if (const idl::Var* var = FindVar(type_, memid)) {
        name = &var->name;
        doc = &var->doc;
    } else {
        const ComPtr<ITypeInfo> base = BaseInterface();
        if (!base) {
            return TYPE_E_ELEMENTNOTFOUND;
        }
        const BaseDepthGuard depth;
        return base->GetDocumentation(memid, pBstrName, pBstrDocString, pdwHelpContext,
                                      pBstrHelpFile);
    }
    if (pdwHelpContext != nullptr) {
        *pdwHelpContext = doc->help_context;
    }
    if (StoreText(*name, pBstrName) && StoreText(doc->help_string, pBstrDocString) &&
        StoreText(library_.model().help_file, pBstrHelpFile)) {
        return S_OK;
    }
    for (BSTR* out : {pBstrName, pBstrDocString, pBstrHelpFile}) {
        if (out != nullptr) {
            SysFreeString(*out);
            *out = nullptr;
        }
    }
    return E_OUTOFMEMORY;
}

HRESULT TypeInfoObject::GetDllEntry(MEMBERID /*memid*/, INVOKEKIND /*invKind*/, BSTR* pBstrDllName,
                                    BSTR* pBstrName, WORD* pwOrdinal) {
    for (BSTR* out : {pBstrDllName, pBstrName}) {
        if (out != nullptr) {
            *out = nullptr;
        }
    }
    if (pwOrdinal != nullptr) {
        *pwOrdinal = 0;
    }
    return TYPE_E_BADMODULEKIND;  // only module types have DLL entries; none is described
}

HRESULT TypeInfoObject::GetRefTypeInfo(HREFTYPE hRefType, ITypeInfo** ppTInfo) {
    if (ppTInfo == nullptr) {
        return E_INVALIDARG;
    }
    return library_.ReferencedType(hRefType, ppTInfo);
}

HRESULT TypeInfoObject::AddressOfMember(MEMBERID /*memid*/, INVOKEKIND /*invKind*/, PVOID* ppv) {
    if (ppv == nullptr) {
        return E_INVALIDARG;
    }
    *ppv = nullptr;
    return TYPE_E_BADMODULEKIND;  // only module types have member addresses
}

HRESULT TypeInfoObject::CreateInstance(IUnknown* pUnkOuter, REFIID riid, PVOID* ppvObj) {
    if (ppvObj == nullptr) {
        return E_INVALIDARG;
    }
    *ppvObj = nullptr;
    if (type_.kind != idl::TypeKind::kCoclass) {
        return TYPE_E_WRONGTYPEKIND;
    }
    return CoCreateInstance(type_.guid, pUnkOuter, CLSCTX_SERVER, riid, ppvObj);
}

HRESULT TypeInfoObject::GetMops(MEMBERID /*memid*/, BSTR* pBstrMops) {
    if (pBstrMops == nullptr) {
        return E_INVALIDARG;
    }
    *pBstrMops = nullptr;  // no member has opcode strings
    return S_OK;
}

HRESULT TypeInfoObject::GetContainingTypeLib(ITypeLib** ppTLib, UINT* pIndex) {
    if (ppTLib == nullptr && pIndex == nullptr) {
        return E_INVALIDARG;
    }
    if (ppTLib != nullptr) {
        *ppTLib = &library_;
        library_.AddRef();
    }
    if (pIndex != nullptr) {
        *pIndex = index_;
    }
    return S_OK;
}

void TypeInfoObject::ReleaseTypeAttr(TYPEATTR* pTypeAttr) {
    DeleteTypeAttr(pTypeAttr);
}

void TypeInfoObject::ReleaseFuncDesc(FUNCDESC* pFuncDesc) {
    DeleteFuncDesc(pFuncDesc);
}

void TypeInfoObject::ReleaseVarDesc(VARDESC* pVarDesc) {
    DeleteVarDesc(pVarDesc);
}

ComPtr<ITypeInfo> TypeInfoObject::BaseInterface() const {
    const bool is_interface =
        type_.kind == idl::TypeKind::kInterface || type_.kind == idl::TypeKind::kDispatch;
    if (!is_interface || type_.impl_types.empty() || BaseDepthGuard::TooDeep()) {
        return nullptr;
    }
    ComPtr<ITypeInfo> base;
    if (FAILED(library_.ReferencedType(HrefOf(type_.impl_types[0].ref), &base))) {
        return nullptr;
    }
    return base;
}

}  // namespace tevo::com::typelib

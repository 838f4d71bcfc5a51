#include "session/trace_registry.h"

#include "session/text_conversion.h"
#include "tevo/com/com_ptr.h"
#include "tevo/com/holders.h"

namespace tevo::driver {

namespace {

using tevo::com::Bstr;
using tevo::com::ComPtr;

std::string NameOf(ITypeInfo* info, MEMBERID member, HRESULT& hr) {
    BSTR name = nullptr;
    hr = info->GetDocumentation(member, &name, nullptr, nullptr, nullptr);
    Bstr held = Bstr::Adopt(name);
    return SUCCEEDED(hr) ? WideToAnsi(held.View()) : std::string();
}

TraceParameter ParameterOf(const ELEMDESC& element) {
    TraceParameter parameter;
    parameter.flags = element.paramdesc.wParamFlags;
    const TYPEDESC* type = &element.tdesc;
    while (type != nullptr && parameter.chain_length < 3) {
        parameter.type_chain[parameter.chain_length++] = type->vt;
        type = type->vt == VT_PTR ? type->lptdesc : nullptr;
    }
    return parameter;
}

// Adds the functions of one interface (not of its bases) to the map.
HRESULT AddFunctions(ITypeInfo* info, const TYPEATTR& attributes, TraceMethodMap& methods) {
    for (UINT f = 0; f < attributes.cFuncs; ++f) {
        FUNCDESC* function = nullptr;
        HRESULT hr = info->GetFuncDesc(f, &function);
        if (FAILED(hr)) {
            return hr;
        }
        TraceMethod method;
        for (SHORT p = 0; p < function->cParams; ++p) {
            method.parameters.push_back(ParameterOf(function->lprgelemdescParam[p]));
        }
        // The names: the function's, then those of its named parameters.
        std::vector<BSTR> names(static_cast<size_t>(function->cParams) + 1, nullptr);
        UINT count = 0;
        hr = info->GetNames(function->memid, names.data(), static_cast<UINT>(names.size()), &count);
        const INVOKEKIND kind = function->invkind;
        info->ReleaseFuncDesc(function);
        std::vector<Bstr> held;
        for (UINT n = 0; n < count; ++n) {
            held.push_back(Bstr::Adopt(names[n]));
        }
        if (FAILED(hr) || count == 0) {
            return FAILED(hr) ? hr : E_FAIL;
        }
        // A property put lists no parameter names: its value shows as "Value".
        const bool named = kind != INVOKE_PROPERTYPUT && kind != INVOKE_PROPERTYPUTREF;
        for (UINT n = 1; named && n < count && n - 1 < method.parameters.size(); ++n) {
            method.parameters[n - 1].name = held[n].ToWide();
        }
        methods[TraceMethodKey(kind, WideToAnsi(held[0].View()))] = std::move(method);
    }
    return S_OK;
}

// The interface's functions, then those of each base interface up to IUnknown.
HRESULT AddInterface(ComPtr<ITypeInfo> info, TraceMethodMap& methods) {
    while (info) {
        TYPEATTR* attributes = nullptr;
        HRESULT hr = info->GetTypeAttr(&attributes);
        if (FAILED(hr)) {
            return hr;
        }
        hr = AddFunctions(info.Get(), *attributes, methods);
        const WORD bases = attributes->cImplTypes;
        info->ReleaseTypeAttr(attributes);
        if (FAILED(hr)) {
            return hr;
        }
        ComPtr<ITypeInfo> base;
        if (bases > 0) {
            HREFTYPE reference = 0;
            hr = info->GetRefTypeOfImplType(0, &reference);
            if (SUCCEEDED(hr)) {
                hr = info->GetRefTypeInfo(reference, &base);
            }
            if (FAILED(hr)) {
                return hr;
            }
        }
        info = std::move(base);
    }
    return S_OK;
}

}  // namespace

std::string TraceMethodKey(INVOKEKIND kind, const std::string& name) {
    if (kind == INVOKE_PROPERTYGET) {
        return "get_" + name;
    }
    if (kind == INVOKE_PROPERTYPUT || kind == INVOKE_PROPERTYPUTREF) {
        return "put_" + name;
    }
    return name;
}

HRESULT BuildTraceRegistry(ITypeInfo* coclass, TraceRegistry& registry, std::string& coclass_name) {
    if (coclass == nullptr) {
        return E_POINTER;
    }
    HRESULT hr = S_OK;
    coclass_name = NameOf(coclass, MEMBERID_NIL, hr);
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
        HREFTYPE reference = 0;
        ComPtr<ITypeInfo> info;
        hr = coclass->GetRefTypeOfImplType(i, &reference);
        if (SUCCEEDED(hr)) {
            hr = coclass->GetRefTypeInfo(reference, &info);
        }
        if (FAILED(hr)) {
            return hr;
        }
        const std::string name = NameOf(info.Get(), MEMBERID_NIL, hr);
        if (FAILED(hr)) {
            return hr;
        }
        TraceMethodMap methods;
        hr = AddInterface(info, methods);
        if (FAILED(hr)) {
            return hr;
        }
        registry[name] = std::move(methods);
    }
    return S_OK;
}

}  // namespace tevo::driver

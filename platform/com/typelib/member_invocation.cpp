#include "member_invocation.h"

#include <cstdarg>
#include <optional>
#include <string_view>
#include <vector>

#include "tevo/com/automation.h"
#include "tevo/com/bstr.h"
#include "tevo/com/com_ptr.h"
#include "tevo/com/errorinfo.h"
#include "tevo/win/resources.h"

namespace tevo::com::typelib {

using tevo::com::ComPtr;

namespace {

// How far alias and base-interface chains are followed before a description counts as
// damaged (a chain that loops).
constexpr int kMaxChain = 32;

// A declared parameter or return type reduced to what a call needs.
struct ValueType {
    // The VARIANT type of the value: VT_I4 for an enumeration, VT_UNKNOWN or VT_DISPATCH for
    // an interface, VT_ARRAY|T for SAFEARRAY(T).
    VARTYPE vt = VT_EMPTY;
    // Levels of VT_PTR around the value (an interface pointer itself counts as the value).
    int pointers = 0;
    // Interfaces: the declared interface, queried for on [in] arguments.
    bool is_interface = false;
    IID iid = IID_NULL;
};

class TypeAttrHolder {
  public:
    explicit TypeAttrHolder(ITypeInfo* type) : type_(type) {
        if (FAILED(type->GetTypeAttr(&attr_))) {
            attr_ = nullptr;
        }
    }
    ~TypeAttrHolder() {
        if (attr_ != nullptr) {
            type_->ReleaseTypeAttr(attr_);
        }
    }
    TypeAttrHolder(const TypeAttrHolder&) = delete;
    TypeAttrHolder& operator=(const TypeAttrHolder&) = delete;
    const TYPEATTR* Get() const { return attr_; }

  private:
    ITypeInfo* type_;
    TYPEATTR* attr_ = nullptr;
};

// Whether the interface `type` describes derives from IDispatch.
bool DerivesFromDispatch(ITypeInfo* type) {
    ComPtr<ITypeInfo> current(type);
    for (int depth = 0; current && depth < kMaxChain; ++depth) {
        const TypeAttrHolder attr(current.Get());
        if (attr.Get() == nullptr) {
            return false;
        }
        if (attr.Get()->guid == IID_IDispatch || attr.Get()->typekind == TKIND_DISPATCH ||
            (attr.Get()->wTypeFlags & (TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE)) != 0) {
            return true;
        }
        HREFTYPE base_ref = 0;
        ComPtr<ITypeInfo> base;
        if (attr.Get()->cImplTypes == 0 || FAILED(current->GetRefTypeOfImplType(0, &base_ref)) ||
            FAILED(current->GetRefTypeInfo(base_ref, &base))) {
            return false;
        }
        current = base;
    }
    return false;
}

HRESULT ResolveType(ITypeInfo* owner, const TYPEDESC& declared, ValueType* out, int depth = 0);

// The value type of a VT_USERDEFINED type: enumerations are 32-bit integers, interfaces
// are pointers (which uses up one level of VT_PTR), aliases stand for their type.
HRESULT ResolveUserDefined(ITypeInfo* owner, HREFTYPE href, ValueType* out, int depth) {
    ComPtr<ITypeInfo> type;
    if (FAILED(owner->GetRefTypeInfo(href, &type))) {
        return DISP_E_BADVARTYPE;
    }
    const TypeAttrHolder attr(type.Get());
    if (attr.Get() == nullptr) {
        return DISP_E_BADVARTYPE;
    }
    switch (attr.Get()->typekind) {
        case TKIND_ENUM:
            out->vt = VT_I4;
            return S_OK;
        case TKIND_ALIAS: {
            const int pointers = out->pointers;
            const HRESULT hr = ResolveType(type.Get(), attr.Get()->tdescAlias, out, depth + 1);
            out->pointers += pointers;
            return hr;
        }
        case TKIND_INTERFACE:
        case TKIND_DISPATCH:
            if (out->pointers == 0) {
                return DISP_E_BADVARTYPE;  // an interface by value cannot be passed
            }
            --out->pointers;
            out->is_interface = true;
            out->iid = attr.Get()->guid;
            out->vt = DerivesFromDispatch(type.Get()) ? VARTYPE{VT_DISPATCH} : VARTYPE{VT_UNKNOWN};
            return S_OK;
        default:
            return DISP_E_BADVARTYPE;
    }
}

HRESULT ResolveType(ITypeInfo* owner, const TYPEDESC& declared, ValueType* out, int depth) {
    if (depth > kMaxChain) {
        return DISP_E_BADVARTYPE;
    }
    const TYPEDESC* node = &declared;
    out->pointers = 0;
    while (node->vt == VT_PTR && node->lptdesc != nullptr) {
        ++out->pointers;
        node = node->lptdesc;
    }
    switch (node->vt) {
        case VT_USERDEFINED:
            return ResolveUserDefined(owner, node->hreftype, out, depth);
        case VT_SAFEARRAY: {
            ValueType element;
            if (node->lptdesc == nullptr) {
                return DISP_E_BADVARTYPE;
            }
            const HRESULT hr = ResolveType(owner, *node->lptdesc, &element, depth + 1);
            if (FAILED(hr) || element.pointers != 0 || (element.vt & VT_ARRAY) != 0) {
                return DISP_E_BADVARTYPE;
            }
            out->vt = static_cast<VARTYPE>(VT_ARRAY | element.vt);
            return S_OK;
        }
        case VT_UNKNOWN:
        case VT_DISPATCH:
            out->vt = node->vt;
            out->is_interface = true;
            out->iid = node->vt == VT_UNKNOWN ? IID_IUnknown : IID_IDispatch;
            return S_OK;
        case VT_PTR:
        case VT_CARRAY:
        case VT_LPSTR:
        case VT_LPWSTR:
        case VT_RECORD:
            return DISP_E_BADVARTYPE;
        default:
            out->vt = node->vt;
            return S_OK;
    }
}

// The argument as a value: a VT_BYREF|VT_VARIANT is followed to the VARIANT it names.
const VARIANT* Dereferenced(const VARIANT* arg) {
    if (arg->vt == (VT_BYREF | VT_VARIANT) && arg->pvarVal != nullptr) {
        return arg->pvarVal;
    }
    return arg;
}

bool IsMissingMarker(const VARIANT* arg) {
    const VARIANT* value = Dereferenced(arg);
    return value->vt == VT_ERROR && value->scode == DISP_E_PARAMNOTFOUND;
}

// The interface pointer an argument holds (by value or by reference); false when it holds
// something else.
bool InterfaceOf(const VARIANT* arg, IUnknown** out) {
    const VARIANT* value = Dereferenced(arg);
    switch (value->vt) {
        case VT_UNKNOWN:
        case VT_DISPATCH:
            *out = value->punkVal;
            return true;
        case VT_BYREF | VT_UNKNOWN:
        case VT_BYREF | VT_DISPATCH:
            *out = value->ppunkVal != nullptr ? *value->ppunkVal : nullptr;
            return true;
        default:
            return false;
    }
}

// The description of a failure for EXCEPINFO: the system's message text for the code.
BSTR SystemMessage(HRESULT code) {
    OLECHAR text[512];
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, static_cast<DWORD>(code), 0, text, 512, nullptr);
    while (length > 0 && (text[length - 1] == L'\n' || text[length - 1] == L'\r')) {
        --length;
    }
    return length == 0 ? nullptr : SysAllocStringLen(text, length);
}

// Fills EXCEPINFO for a member that failed with `code`: from the thread's error object
// when the object supports error information on the interface, else the system text.
void FillException(void* instance, REFIID iid, HRESULT code, EXCEPINFO* exception) {
    *exception = EXCEPINFO{};
    exception->scode = code;
    auto* object = static_cast<IUnknown*>(instance);
    ComPtr<ISupportErrorInfo> support;
    if (SUCCEEDED(
            object->QueryInterface(IID_ISupportErrorInfo, support.ReleaseAndGetVoidAddressOf())) &&
        support && support->InterfaceSupportsErrorInfo(iid) == S_OK) {
        ComPtr<IErrorInfo> info;
        if (GetErrorInfo(0, &info) == S_OK && info) {
            info->GetSource(&exception->bstrSource);
            info->GetDescription(&exception->bstrDescription);
            info->GetHelpFile(&exception->bstrHelpFile);
            info->GetHelpContext(&exception->dwHelpContext);
            return;
        }
    }
    exception->bstrDescription = SystemMessage(code);
}

// One call in progress: the arguments prepared for DispCallFunc and the temporaries that
// are released when the call is over.
class Invocation {
  public:
    Invocation(ITypeInfo* owner, const FUNCDESC& func, WORD flags, DISPPARAMS* params,
               UINT* arg_error)
        : owner_(owner),
          func_(func),
          flags_(flags),
          params_(params),
          arg_error_(arg_error),
          count_(static_cast<UINT>(func.cParams)),
          sources_(count_),
          slots_(count_),
          temps_(count_),
          types_(count_, VT_EMPTY) {
        for (UINT p = 0; p < count_; ++p) {
            VariantInit(&slots_[p]);
            VariantInit(&temps_[p]);
        }
    }
    ~Invocation() {
        for (VARIANT& temp : temps_) {
            VariantClear(&temp);
        }
    }
    Invocation(const Invocation&) = delete;
    Invocation& operator=(const Invocation&) = delete;

    HRESULT Call(void* instance, REFIID iid, VARIANT* result, EXCEPINFO* exception);

  private:
    bool IsRetval(UINT p) const {
        return (func_.lprgelemdescParam[p].paramdesc.wParamFlags & PARAMFLAG_FRETVAL) != 0;
    }
    HRESULT MatchArguments();
    HRESULT PrepareParameter(UINT p);
    HRESULT PrepareMissing(UINT p, const ValueType& type);
    HRESULT PrepareInValue(UINT p, const ValueType& type, const VARIANT* source);
    HRESULT PrepareByReference(UINT p, const ValueType& type, const VARIANT* source, bool out);
    HRESULT ConvertInto(VARIANT* target, const ValueType& type, const VARIANT* source);
    HRESULT Fail(HRESULT hr, UINT source_index) {
        if (arg_error_ != nullptr) {
            *arg_error_ = source_index;
        }
        return hr;
    }
    HRESULT ReturnType(ValueType* type) const;

    ITypeInfo* owner_;
    const FUNCDESC& func_;
    WORD flags_;
    DISPPARAMS* params_;
    UINT* arg_error_;
    UINT count_;
    bool named_used_ = false;
    // For each parameter the index of its argument in rgvarg, if the caller gave one.
    std::vector<std::optional<UINT>> sources_;
    // What DispCallFunc passes for each parameter, read as types_[p].
    std::vector<VARIANT> slots_;
    // Values owned by the call (converted arguments, defaults, results).
    std::vector<VARIANT> temps_;
    std::vector<VARTYPE> types_;
    std::optional<UINT> retval_;
    VARTYPE retval_type_ = VT_EMPTY;
};

HRESULT Invocation::MatchArguments() {
    const UINT args = params_->cArgs;
    const UINT named = params_->cNamedArgs;
    UINT user_params = count_;
    for (UINT p = 0; p < count_; ++p) {
        if (IsRetval(p)) {
            retval_ = p;
            user_params = p;
            break;
        }
    }
    const bool put = (flags_ & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0 &&
                     (func_.invkind & (INVOKE_PROPERTYPUT | INVOKE_PROPERTYPUTREF)) != 0;
    UINT positional_slots = user_params;
    if (put) {
        std::optional<UINT> value;
        for (UINT j = 0; j < named; ++j) {
            if (params_->rgdispidNamedArgs[j] == DISPID_PROPERTYPUT) {
                value = j;
            }
        }
        if (!value) {
            return DISP_E_PARAMNOTFOUND;
        }
        if (user_params == 0) {
            return DISP_E_BADPARAMCOUNT;
        }
        positional_slots = user_params - 1;
        sources_[positional_slots] = *value;
    }
    const UINT positional = args - named;
    if (positional > positional_slots) {
        return DISP_E_BADPARAMCOUNT;
    }
    for (UINT k = 0; k < positional; ++k) {
        sources_[k] = args - 1 - k;
    }
    for (UINT j = 0; j < named; ++j) {
        const DISPID id = params_->rgdispidNamedArgs[j];
        if (put && id == DISPID_PROPERTYPUT) {
            continue;
        }
        named_used_ = true;
        if (id < 0 || static_cast<UINT>(id) >= positional_slots ||
            sources_[static_cast<UINT>(id)]) {
            return Fail(DISP_E_PARAMNOTFOUND, j);
        }
        sources_[static_cast<UINT>(id)] = j;
    }
    return S_OK;
}

HRESULT Invocation::ConvertInto(VARIANT* target, const ValueType& type, const VARIANT* source) {
    if (type.is_interface) {
        IUnknown* object = nullptr;
        if (!InterfaceOf(source, &object)) {
            return DISP_E_TYPEMISMATCH;
        }
        target->vt = type.vt;
        target->punkVal = nullptr;
        if (object == nullptr) {
            return S_OK;
        }
        return object->QueryInterface(type.iid, reinterpret_cast<void**>(&target->punkVal)) == S_OK
                   ? S_OK
                   : DISP_E_TYPEMISMATCH;
    }
    const HRESULT hr = VariantChangeType(target, source, 0, type.vt);
    if (FAILED(hr)) {
        return hr == DISP_E_OVERFLOW ? DISP_E_OVERFLOW : DISP_E_TYPEMISMATCH;
    }
    return S_OK;
}

HRESULT Invocation::PrepareMissing(UINT p, const ValueType& type) {
    const PARAMDESC& desc = func_.lprgelemdescParam[p].paramdesc;
    VARIANT& temp = temps_[p];
    if ((desc.wParamFlags & PARAMFLAG_FHASDEFAULT) != 0 && desc.pparamdescex != nullptr) {
        const HRESULT hr = type.vt == VT_VARIANT
                               ? VariantCopy(&temp, &desc.pparamdescex->varDefaultValue)
                               : ConvertInto(&temp, type, &desc.pparamdescex->varDefaultValue);
        if (FAILED(hr)) {
            return hr;
        }
    } else if ((desc.wParamFlags & PARAMFLAG_FOPT) != 0) {
        if (type.vt == VT_VARIANT) {
            temp.vt = VT_ERROR;
            temp.scode = DISP_E_PARAMNOTFOUND;
        } else {
            temp.vt = type.vt;  // the zero value: 0, a null BSTR, interface or array
        }
    } else {
        return named_used_ ? DISP_E_PARAMNOTFOUND : DISP_E_BADPARAMCOUNT;
    }
    if (type.pointers == 0) {
        slots_[p] = temp;
        types_[p] = type.vt;
    } else {
        slots_[p].byref = type.vt == VT_VARIANT ? static_cast<void*>(&temp) : &temp.llVal;
        types_[p] = static_cast<VARTYPE>(VT_BYREF | type.vt);
    }
    return S_OK;
}

HRESULT Invocation::PrepareInValue(UINT p, const ValueType& type, const VARIANT* source) {
    const VARIANT* value = Dereferenced(source);
    types_[p] = type.vt;
    if (type.vt == VT_VARIANT || (!type.is_interface && value->vt == type.vt)) {
        slots_[p] = *value;  // passed as it is: the caller keeps it
        return S_OK;
    }
    const HRESULT hr = ConvertInto(&temps_[p], type, value);
    if (FAILED(hr)) {
        return hr;
    }
    slots_[p] = temps_[p];
    return S_OK;
}

HRESULT Invocation::PrepareByReference(UINT p, const ValueType& type, const VARIANT* source,
                                       bool out) {
    if (type.pointers != 1) {
        return DISP_E_BADVARTYPE;
    }
    const bool matches = source->vt == (VT_BYREF | type.vt) ||
                         (type.is_interface && (source->vt == (VT_BYREF | VT_UNKNOWN) ||
                                                source->vt == (VT_BYREF | VT_DISPATCH)));
    types_[p] = static_cast<VARTYPE>(VT_BYREF | type.vt);
    if (matches) {
        slots_[p].byref = source->byref;
        return S_OK;
    }
    if (out) {
        return DISP_E_TYPEMISMATCH;  // the result needs somewhere to go
    }
    if (type.vt == VT_VARIANT) {
        slots_[p].byref = const_cast<VARIANT*>(Dereferenced(source));
        return S_OK;
    }
    const HRESULT hr = ConvertInto(&temps_[p], type, Dereferenced(source));
    if (FAILED(hr)) {
        return hr;
    }
    slots_[p].byref = &temps_[p].llVal;
    return S_OK;
}

HRESULT Invocation::PrepareParameter(UINT p) {
    const ELEMDESC& elem = func_.lprgelemdescParam[p];
    ValueType type;
    HRESULT hr = ResolveType(owner_, elem.tdesc, &type);
    if (FAILED(hr)) {
        return hr;
    }
    const USHORT param_flags = elem.paramdesc.wParamFlags;
    if ((param_flags & PARAMFLAG_FRETVAL) != 0) {
        if (type.pointers != 1) {
            return DISP_E_BADVARTYPE;
        }
        VARIANT& temp = temps_[p];
        slots_[p].byref = type.vt == VT_VARIANT ? static_cast<void*>(&temp) : &temp.llVal;
        types_[p] = static_cast<VARTYPE>(VT_BYREF | type.vt);
        retval_type_ = type.vt;
        return S_OK;
    }
    const std::optional<UINT> index = sources_[p];
    const VARIANT* source = index ? &params_->rgvarg[*index] : nullptr;
    const bool optional_param = (param_flags & (PARAMFLAG_FOPT | PARAMFLAG_FHASDEFAULT)) != 0;
    if (source == nullptr || (optional_param && type.vt != VT_VARIANT && IsMissingMarker(source))) {
        return PrepareMissing(p, type);
    }
    if (type.pointers == 0) {
        hr = PrepareInValue(p, type, source);
    } else {
        hr = PrepareByReference(p, type, source, (param_flags & PARAMFLAG_FOUT) != 0);
    }
    return FAILED(hr) ? Fail(hr, *index) : S_OK;
}

HRESULT Invocation::ReturnType(ValueType* type) const {
    const VARTYPE vt = func_.elemdescFunc.tdesc.vt;
    if (vt == VT_HRESULT || vt == VT_VOID || vt == VT_EMPTY) {
        type->vt = vt == VT_HRESULT ? VARTYPE{VT_HRESULT} : VARTYPE{VT_EMPTY};
        return S_OK;
    }
    const HRESULT hr = ResolveType(owner_, func_.elemdescFunc.tdesc, type);
    if (SUCCEEDED(hr) && type->pointers != 0) {
        return DISP_E_BADVARTYPE;  // pointers other than interfaces cannot be returned
    }
    return hr;
}

HRESULT Invocation::Call(void* instance, REFIID iid, VARIANT* result, EXCEPINFO* exception) {
    HRESULT hr = MatchArguments();
    for (UINT p = 0; SUCCEEDED(hr) && p < count_; ++p) {
        hr = PrepareParameter(p);
    }
    ValueType return_type;
    if (SUCCEEDED(hr)) {
        hr = ReturnType(&return_type);
    }
    if (FAILED(hr)) {
        return hr;
    }
    std::vector<VARIANTARG*> pointers(count_);
    for (UINT p = 0; p < count_; ++p) {
        pointers[p] = &slots_[p];
    }
    VARIANT returned;
    VariantInit(&returned);
    hr = DispCallFunc(instance, static_cast<ULONG_PTR>(func_.oVft), CC_STDCALL, return_type.vt,
                      count_, types_.data(), pointers.data(), &returned);
    if (FAILED(hr)) {
        return hr;
    }
    if (retval_) {
        if (retval_type_ != VT_VARIANT) {
            temps_[*retval_].vt = retval_type_;  // the callee filled in the value only
        }
    }
    if (return_type.vt == VT_HRESULT && FAILED(returned.lVal)) {
        if (exception != nullptr) {
            FillException(instance, iid, returned.lVal, exception);
        }
        return DISP_E_EXCEPTION;
    }
    if (result != nullptr) {
        VariantInit(result);
        if (retval_) {
            *result = temps_[*retval_];
            VariantInit(&temps_[*retval_]);
        } else if (return_type.vt != VT_HRESULT && return_type.vt != VT_EMPTY) {
            *result = returned;
            VariantInit(&returned);
        }
    }
    VariantClear(&returned);
    return S_OK;
}

}  // namespace

HRESULT InvokeFunction(ITypeInfo* owner, REFIID iid, const FUNCDESC& func, void* instance,
                       WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                       UINT* arg_error) {
    Invocation invocation(owner, func, flags, params, arg_error);
    return invocation.Call(instance, iid, result, exception);
}

}  // namespace tevo::com::typelib

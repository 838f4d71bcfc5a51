#include <cstring>

#include "tevo/com/bstr.h"
#include "tevo/com/dispatch.h"
#include "tevo/com/safearray.h"
#include "tevo/com/variant.h"
#include "variant_internal.h"

namespace tevo::com::detail {

namespace {

bool IsValueBaseType(VARTYPE base) {
    switch (base) {
        case VT_I2:
        case VT_I4:
        case VT_R4:
        case VT_R8:
        case VT_CY:
        case VT_DATE:
        case VT_BSTR:
        case VT_DISPATCH:
        case VT_ERROR:
        case VT_BOOL:
        case VT_UNKNOWN:
        case VT_DECIMAL:
        case VT_I1:
        case VT_UI1:
        case VT_UI2:
        case VT_UI4:
        case VT_I8:
        case VT_UI8:
        case VT_INT:
        case VT_UINT:
            return true;
        default:
            return false;
    }
}

}  // namespace

bool IsValidVariantType(VARTYPE vt) {
    const VARTYPE base = vt & VT_TYPEMASK;
    const VARTYPE modifiers = vt & ~VT_TYPEMASK;
    if ((modifiers & ~(VT_ARRAY | VT_BYREF)) != 0) {
        return false;
    }
    if (base == VT_EMPTY || base == VT_NULL) {
        return modifiers == 0;
    }
    if (base == VT_VARIANT) {
        return modifiers != 0;
    }
    return IsValueBaseType(base);
}

HRESULT Dereference(const VARIANT& source, VARIANT* view) {
    if ((source.vt & VT_BYREF) == 0) {
        *view = source;
        return S_OK;
    }
    if (source.byref == nullptr) {
        return E_INVALIDARG;
    }
    const auto vt = static_cast<VARTYPE>(source.vt & ~VT_BYREF);
    if (vt == VT_VARIANT) {
        const VARIANT& inner = *source.pvarVal;
        if ((inner.vt & VT_BYREF) != 0 && (inner.vt & ~VT_BYREF) == VT_VARIANT) {
            return E_INVALIDARG;  // a reference to a reference to a variant
        }
        return Dereference(inner, view);
    }
    VariantInit(view);
    if ((vt & VT_ARRAY) != 0) {
        view->parray = *source.pparray;
    } else {
        switch (vt) {
            case VT_I1:
            case VT_UI1:
                view->bVal = *source.pbVal;
                break;
            case VT_I2:
            case VT_UI2:
            case VT_BOOL:
                view->iVal = *source.piVal;
                break;
            case VT_I4:
            case VT_UI4:
            case VT_INT:
            case VT_UINT:
            case VT_ERROR:
            case VT_R4:
                std::memcpy(&view->lVal, source.byref, 4);
                break;
            case VT_I8:
            case VT_UI8:
            case VT_R8:
            case VT_CY:
            case VT_DATE:
                std::memcpy(&view->llVal, source.byref, 8);
                break;
            case VT_BSTR:
                view->bstrVal = *source.pbstrVal;
                break;
            case VT_UNKNOWN:
            case VT_DISPATCH:
                view->punkVal = *source.ppunkVal;
                break;
            case VT_DECIMAL:
                view->decVal = *source.pdecVal;
                break;
            default:
                return DISP_E_BADVARTYPE;
        }
    }
    view->vt = vt;
    return S_OK;
}

}  // namespace tevo::com::detail

using tevo::com::detail::IsValidVariantType;

extern "C" void VariantInit(VARIANTARG* pvarg) {
    if (pvarg != nullptr) {
        pvarg->vt = VT_EMPTY;
        pvarg->wReserved1 = 0;
        pvarg->wReserved2 = 0;
        pvarg->wReserved3 = 0;
    }
}

extern "C" HRESULT VariantClear(VARIANTARG* pvarg) {
    if (pvarg == nullptr) {
        return E_INVALIDARG;
    }
    if (!IsValidVariantType(pvarg->vt)) {
        return DISP_E_BADVARTYPE;
    }
    if ((pvarg->vt & VT_BYREF) == 0) {
        if ((pvarg->vt & VT_ARRAY) != 0) {
            HRESULT hr = SafeArrayDestroy(pvarg->parray);
            if (FAILED(hr)) {
                return hr;
            }
        } else if (pvarg->vt == VT_BSTR) {
            SysFreeString(pvarg->bstrVal);
        } else if (pvarg->vt == VT_UNKNOWN || pvarg->vt == VT_DISPATCH) {
            if (pvarg->punkVal != nullptr) {
                pvarg->punkVal->Release();
            }
        }
    }
    VariantInit(pvarg);
    return S_OK;
}

extern "C" HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc) {
    if (pvargDest == nullptr || pvargSrc == nullptr) {
        return E_INVALIDARG;
    }
    if (!IsValidVariantType(pvargSrc->vt)) {
        return DISP_E_BADVARTYPE;
    }
    if (pvargDest == pvargSrc) {
        return S_OK;
    }
    // Copy first, so that clearing the destination cannot free what the source shares
    // with it.
    VARIANT copy = *pvargSrc;
    if ((copy.vt & VT_BYREF) == 0) {
        if ((copy.vt & VT_ARRAY) != 0) {
            HRESULT hr = SafeArrayCopy(pvargSrc->parray, &copy.parray);
            if (FAILED(hr)) {
                return hr;
            }
        } else if (copy.vt == VT_BSTR && pvargSrc->bstrVal != nullptr) {
            copy.bstrVal = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(pvargSrc->bstrVal),
                                                 SysStringByteLen(pvargSrc->bstrVal));
            if (copy.bstrVal == nullptr) {
                return E_OUTOFMEMORY;
            }
        } else if ((copy.vt == VT_UNKNOWN || copy.vt == VT_DISPATCH) && copy.punkVal != nullptr) {
            copy.punkVal->AddRef();
        }
    }
    HRESULT hr = VariantClear(pvargDest);
    if (FAILED(hr)) {
        VariantClear(&copy);
        return hr;
    }
    *pvargDest = copy;
    return S_OK;
}

extern "C" HRESULT VariantCopyInd(VARIANT* pvarDest, const VARIANTARG* pvargSrc) {
    if (pvarDest == nullptr || pvargSrc == nullptr) {
        return E_INVALIDARG;
    }
    if (!IsValidVariantType(pvargSrc->vt)) {
        return DISP_E_BADVARTYPE;
    }
    VARIANT view;
    HRESULT hr = tevo::com::detail::Dereference(*pvargSrc, &view);
    if (FAILED(hr)) {
        return hr;
    }
    // Deep copy of the referenced value first: the destination may be the source.
    VARIANT copy;
    VariantInit(&copy);
    hr = VariantCopy(&copy, &view);
    if (FAILED(hr)) {
        return hr;
    }
    hr = VariantClear(pvarDest);
    if (FAILED(hr)) {
        VariantClear(&copy);
        return hr;
    }
    *pvarDest = copy;
    return S_OK;
}

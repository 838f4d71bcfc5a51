// VariantChangeType(Ex) and the VarBstrFrom... conversions. The rules are listed in
// tevo/com/variant.h.
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

#include "date_text.h"
#include "decimal_number.h"
#include "number_text.h"
#include "tevo/com/bstr.h"
#include "tevo/com/dispatch.h"
#include "tevo/com/safearray.h"
#include "tevo/com/variant.h"
#include "variant_internal.h"

using namespace tevo::com::detail;

namespace {

// A numeric source value: exact (integers, CY, DECIMAL, number text) or floating (R4,
// R8, DATE). A BOOL source is its raw 16-bit value (VARIANT_TRUE is -1, but any other
// value converts as it is) and remembers that it was a BOOL.
struct Number {
    bool floating = false;
    double value = 0.0;
    DecimalNumber exact;
    std::optional<VARIANT_BOOL> rawBool;
};

struct IntegerRange {
    bool isSigned;
    int bits;
};

std::optional<IntegerRange> IntegerTarget(VARTYPE vt) {
    switch (vt) {
        case VT_I1:
            return IntegerRange{true, 8};
        case VT_UI1:
            return IntegerRange{false, 8};
        case VT_I2:
            return IntegerRange{true, 16};
        case VT_UI2:
            return IntegerRange{false, 16};
        case VT_I4:
        case VT_INT:
            return IntegerRange{true, 32};
        case VT_UI4:
        case VT_UINT:
            return IntegerRange{false, 32};
        case VT_I8:
            return IntegerRange{true, 64};
        case VT_UI8:
            return IntegerRange{false, 64};
        default:
            return std::nullopt;
    }
}

bool IsNumericType(VARTYPE vt) {
    return IntegerTarget(vt).has_value() || vt == VT_R4 || vt == VT_R8 || vt == VT_CY ||
           vt == VT_DATE || vt == VT_DECIMAL || vt == VT_BOOL;
}

HRESULT ToNumber(const VARIANT& v, Number* n) {
    switch (v.vt) {
        case VT_EMPTY:
            n->exact = DecimalNumber{};
            return S_OK;
        case VT_I1:
            n->exact = DecimalNumber::FromSigned(static_cast<signed char>(v.cVal));
            return S_OK;
        case VT_UI1:
            n->exact = DecimalNumber::FromUnsigned(v.bVal);
            return S_OK;
        case VT_I2:
            n->exact = DecimalNumber::FromSigned(v.iVal);
            return S_OK;
        case VT_UI2:
            n->exact = DecimalNumber::FromUnsigned(v.uiVal);
            return S_OK;
        case VT_I4:
            n->exact = DecimalNumber::FromSigned(v.lVal);
            return S_OK;
        case VT_INT:
            n->exact = DecimalNumber::FromSigned(v.intVal);
            return S_OK;
        case VT_UI4:
            n->exact = DecimalNumber::FromUnsigned(v.ulVal);
            return S_OK;
        case VT_UINT:
            n->exact = DecimalNumber::FromUnsigned(v.uintVal);
            return S_OK;
        case VT_I8:
            n->exact = DecimalNumber::FromSigned(v.llVal);
            return S_OK;
        case VT_UI8:
            n->exact = DecimalNumber::FromUnsigned(v.ullVal);
            return S_OK;
        case VT_BOOL:
            n->exact = DecimalNumber::FromSigned(v.boolVal);
            n->rawBool = v.boolVal;
            return S_OK;
        case VT_CY: {
            const DecimalNumber magnitude = DecimalNumber::FromSigned(v.cyVal.int64);
            n->exact = DecimalNumber::FromParts(magnitude.negative, magnitude.digits,
                                                magnitude.exponent - 4);
            return S_OK;
        }
        case VT_DECIMAL:
            return FromDecimal(v.decVal, &n->exact) ? S_OK : E_INVALIDARG;
        case VT_R4:
            n->floating = true;
            n->value = v.fltVal;
            return S_OK;
        case VT_R8:
            n->floating = true;
            n->value = v.dblVal;
            return S_OK;
        case VT_DATE:
            n->floating = true;
            n->value = v.date;
            return S_OK;
        case VT_BSTR: {
            std::optional<DecimalNumber> parsed = ParseNumberText(
                std::wstring_view(v.bstrVal == nullptr ? L"" : v.bstrVal, SysStringLen(v.bstrVal)));
            if (!parsed) {
                return DISP_E_TYPEMISMATCH;
            }
            n->exact = std::move(*parsed);
            return S_OK;
        }
        default:
            return DISP_E_TYPEMISMATCH;
    }
}

// Round half to even of a finite double.
double RoundHalfEven(double x) {
    const double floor = std::floor(x);
    const double diff = x - floor;
    if (diff > 0.5) {
        return floor + 1.0;
    }
    if (diff < 0.5) {
        return floor;
    }
    return std::fmod(floor, 2.0) == 0.0 ? floor : floor + 1.0;
}

double AsDouble(const Number& n) {
    return n.floating ? n.value : ToDouble(n.exact);
}

// Stores an integer of the target's width into the variant (two's complement bits).
void StoreInteger(VARTYPE vt, std::uint64_t bits, VARIANT* out) {
    switch (vt) {
        case VT_I1:
        case VT_UI1:
            out->bVal = static_cast<BYTE>(bits);
            break;
        case VT_I2:
        case VT_UI2:
            out->uiVal = static_cast<USHORT>(bits);
            break;
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
            out->ulVal = static_cast<ULONG>(bits);
            break;
        default:
            out->ullVal = bits;
            break;
    }
    out->vt = vt;
}

HRESULT ToInteger(const Number& n, VARTYPE vt, IntegerRange range, VARIANT* out) {
    // A BOOL is cast to the integer type: its sign-extended bits, cut to the width (so
    // VARIANT_TRUE has all bits set, also in an unsigned type).
    if (n.rawBool) {
        StoreInteger(vt, static_cast<std::uint64_t>(static_cast<std::int64_t>(*n.rawBool)), out);
        return S_OK;
    }
    // Magnitude limits: up to 2^(bits-1) for negative signed values, 2^(bits-1) - 1 for
    // positive signed ones, 2^bits - 1 for unsigned ones.
    const UInt128 negativeLimit = range.isSigned ? UInt128{1} << (range.bits - 1) : 0;
    const UInt128 positiveLimit =
        range.isSigned ? (UInt128{1} << (range.bits - 1)) - 1 : (UInt128{1} << range.bits) - 1;
    bool negative = false;
    UInt128 magnitude = 0;
    if (n.floating) {
        if (!std::isfinite(n.value)) {
            return DISP_E_OVERFLOW;
        }
        const double rounded = RoundHalfEven(n.value);
        if (std::fabs(rounded) >= std::ldexp(1.0, 64)) {
            return DISP_E_OVERFLOW;
        }
        negative = rounded < 0;
        magnitude = static_cast<UInt128>(static_cast<std::uint64_t>(std::fabs(rounded)));
    } else {
        std::optional<UInt128> rounded = RoundedMagnitude(n.exact, 0);
        if (!rounded) {
            return DISP_E_OVERFLOW;
        }
        negative = n.exact.negative;
        magnitude = *rounded;
    }
    if (magnitude > (negative ? negativeLimit : positiveLimit)) {
        return DISP_E_OVERFLOW;
    }
    const auto bits = static_cast<std::uint64_t>(magnitude);
    StoreInteger(vt, negative ? ~bits + 1 : bits, out);
    return S_OK;
}

HRESULT ToCurrency(const Number& n, VARIANT* out) {
    bool negative = false;
    UInt128 magnitude = 0;
    if (n.floating) {
        if (!std::isfinite(n.value)) {
            return DISP_E_OVERFLOW;
        }
        const double scaled = RoundHalfEven(n.value * 10000.0);
        if (std::fabs(scaled) >= std::ldexp(1.0, 64)) {
            return DISP_E_OVERFLOW;
        }
        negative = scaled < 0;
        magnitude = static_cast<std::uint64_t>(std::fabs(scaled));
    } else {
        std::optional<UInt128> rounded = RoundedMagnitude(n.exact, 4);
        if (!rounded) {
            return DISP_E_OVERFLOW;
        }
        negative = n.exact.negative;
        magnitude = *rounded;
    }
    const UInt128 limit = negative ? UInt128{1} << 63 : (UInt128{1} << 63) - 1;
    if (magnitude > limit) {
        return DISP_E_OVERFLOW;
    }
    const auto bits = static_cast<std::uint64_t>(magnitude);
    out->cyVal.int64 = static_cast<LONGLONG>(negative ? ~bits + 1 : bits);
    out->vt = VT_CY;
    return S_OK;
}

HRESULT ToDecimalVariant(const Number& n, VARIANT* out) {
    DecimalNumber exact;
    if (n.floating) {
        // A double carries 15 significant decimal digits.
        std::optional<DecimalNumber> digits = DecimalNumber::FromDoubleDigits(n.value, 15);
        if (!digits) {
            return DISP_E_OVERFLOW;
        }
        exact = std::move(*digits);
    } else {
        exact = n.exact;
    }
    DECIMAL value;
    if (!ToDecimal(exact, &value)) {
        return DISP_E_OVERFLOW;
    }
    out->decVal = value;
    out->vt = VT_DECIMAL;
    return S_OK;
}

HRESULT NumberToType(const Number& n, VARTYPE vt, VARIANT* out) {
    if (std::optional<IntegerRange> range = IntegerTarget(vt)) {
        return ToInteger(n, vt, *range, out);
    }
    switch (vt) {
        case VT_R8: {
            const double value = AsDouble(n);
            if (!n.floating && std::isinf(value)) {
                return DISP_E_OVERFLOW;
            }
            out->dblVal = value;
            out->vt = VT_R8;
            return S_OK;
        }
        case VT_R4: {
            const double value = AsDouble(n);
            if (std::isinf(value) ? !n.floating : std::fabs(value) > FLT_MAX) {
                return DISP_E_OVERFLOW;
            }
            out->fltVal = static_cast<float>(value);
            out->vt = VT_R4;
            return S_OK;
        }
        case VT_DATE: {
            const double value = AsDouble(n);
            if (!IsDateInRange(value)) {
                return DISP_E_OVERFLOW;
            }
            out->date = value;
            out->vt = VT_DATE;
            return S_OK;
        }
        case VT_CY:
            return ToCurrency(n, out);
        case VT_DECIMAL:
            return ToDecimalVariant(n, out);
        case VT_BOOL:
            out->boolVal =
                (n.floating ? n.value != 0.0 : !n.exact.IsZero()) ? VARIANT_TRUE : VARIANT_FALSE;
            out->vt = VT_BOOL;
            return S_OK;
        default:
            return DISP_E_TYPEMISMATCH;
    }
}

// The text of a value that is not itself text; nullopt when the type has none.
HRESULT TextOf(const VARIANT& v, USHORT flags, std::wstring* text) {
    switch (v.vt) {
        case VT_EMPTY:
            text->clear();
            return S_OK;
        case VT_I1:
            *text = std::to_wstring(static_cast<signed char>(v.cVal));
            return S_OK;
        case VT_UI1:
            *text = std::to_wstring(v.bVal);
            return S_OK;
        case VT_I2:
            *text = std::to_wstring(v.iVal);
            return S_OK;
        case VT_UI2:
            *text = std::to_wstring(v.uiVal);
            return S_OK;
        case VT_I4:
            *text = std::to_wstring(v.lVal);
            return S_OK;
        case VT_INT:
            *text = std::to_wstring(v.intVal);
            return S_OK;
        case VT_UI4:
            *text = std::to_wstring(v.ulVal);
            return S_OK;
        case VT_UINT:
            *text = std::to_wstring(v.uintVal);
            return S_OK;
        case VT_I8:
            *text = std::to_wstring(v.llVal);
            return S_OK;
        case VT_UI8:
            *text = std::to_wstring(v.ullVal);
            return S_OK;
        case VT_R4:
            *text = FormatFloating(v.fltVal, 7);
            return S_OK;
        case VT_R8:
            *text = FormatFloating(v.dblVal, 15);
            return S_OK;
        case VT_CY:
            *text = FormatCurrency(v.cyVal);
            return S_OK;
        case VT_DECIMAL: {
            DecimalNumber n;
            if (!FromDecimal(v.decVal, &n)) {
                return E_INVALIDARG;
            }
            *text = FormatPlain(n);
            return S_OK;
        }
        case VT_DATE: {
            std::optional<std::wstring> formatted = FormatDate(v.date, 0);
            if (!formatted) {
                return E_INVALIDARG;
            }
            *text = std::move(*formatted);
            return S_OK;
        }
        case VT_BOOL: {
            const bool value = v.boolVal != VARIANT_FALSE;
            if ((flags & (VARIANT_ALPHABOOL | VARIANT_LOCALBOOL)) != 0) {
                *text = value ? L"True" : L"False";
            } else {
                *text = value ? L"-1" : L"0";
            }
            return S_OK;
        }
        default:
            return DISP_E_TYPEMISMATCH;
    }
}

HRESULT AllocText(const std::wstring& text, BSTR* out) {
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out == nullptr ? E_OUTOFMEMORY : S_OK;
}

bool EqualsIgnoringCase(std::wstring_view text, std::wstring_view word) {
    if (text.size() != word.size()) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        wchar_t c = text[i];
        if (c >= L'A' && c <= L'Z') {
            c = static_cast<wchar_t>(c - L'A' + L'a');
        }
        if (c != word[i]) {
            return false;
        }
    }
    return true;
}

std::wstring_view BstrText(BSTR b) {
    return b == nullptr ? std::wstring_view() : std::wstring_view(b, SysStringLen(b));
}

// Reads the value property (DISPID_VALUE) of an object. *value is initialized in any case.
HRESULT ValueProperty(IUnknown* object, LCID lcid, VARIANT* value) {
    VariantInit(value);
    if (object == nullptr) {
        return DISP_E_TYPEMISMATCH;
    }
    IDispatch* dispatch = nullptr;
    if (FAILED(object->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch))) ||
        dispatch == nullptr) {
        return DISP_E_TYPEMISMATCH;
    }
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    HRESULT hr = dispatch->Invoke(DISPID_VALUE, IID_NULL, lcid, DISPATCH_PROPERTYGET, &none, value,
                                  nullptr, nullptr);
    dispatch->Release();
    return hr;
}

HRESULT ToInterface(const VARIANT& source, VARTYPE vt, VARIANT* out) {
    if (source.vt != VT_UNKNOWN && source.vt != VT_DISPATCH) {
        return DISP_E_TYPEMISMATCH;
    }
    out->punkVal = nullptr;
    if (source.punkVal != nullptr) {
        HRESULT hr =
            source.punkVal->QueryInterface(vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown,
                                           reinterpret_cast<void**>(&out->punkVal));
        if (FAILED(hr)) {
            return hr;
        }
    }
    out->vt = vt;
    return S_OK;
}

// The words of a BOOL as text: "True"/"False" and the locale-independent "#TRUE#"/"#FALSE#",
// in any letter case.
std::optional<bool> BoolWord(std::wstring_view text) {
    if (EqualsIgnoringCase(text, L"true") || EqualsIgnoringCase(text, L"#true#")) {
        return true;
    }
    if (EqualsIgnoringCase(text, L"false") || EqualsIgnoringCase(text, L"#false#")) {
        return false;
    }
    return std::nullopt;
}

// Types whose values may be dropped by converting them to VT_EMPTY or VT_NULL.
bool IsScalarType(VARTYPE vt) {
    return vt == VT_EMPTY || vt == VT_BSTR || IsNumericType(vt);
}

// A one-dimensional byte array becomes a string holding exactly its bytes.
HRESULT ByteArrayToText(SAFEARRAY* array, VARIANT* out) {
    if (array == nullptr || SafeArrayGetDim(array) != 1 || array->cbElements != 1) {
        return DISP_E_TYPEMISMATCH;
    }
    const ULONG count = array->rgsabound[0].cElements;
    void* data = nullptr;
    HRESULT hr = SafeArrayAccessData(array, &data);
    if (FAILED(hr)) {
        return hr;
    }
    out->bstrVal = SysAllocStringByteLen(static_cast<LPCSTR>(data), count);
    SafeArrayUnaccessData(array);
    if (out->bstrVal == nullptr) {
        return E_OUTOFMEMORY;
    }
    out->vt = VT_BSTR;
    return S_OK;
}

// A string becomes a zero-based vector of its bytes (without the terminator).
HRESULT TextToByteArray(BSTR text, VARIANT* out) {
    const UINT count = SysStringByteLen(text);
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, count);
    if (array == nullptr) {
        return E_OUTOFMEMORY;
    }
    if (count > 0) {
        void* data = nullptr;
        HRESULT hr = SafeArrayAccessData(array, &data);
        if (FAILED(hr)) {
            SafeArrayDestroy(array);
            return hr;
        }
        std::memcpy(data, text, count);
        SafeArrayUnaccessData(array);
    }
    out->parray = array;
    out->vt = VT_ARRAY | VT_UI1;
    return S_OK;
}

bool IsValidTarget(VARTYPE vt) {
    if ((vt & VT_ARRAY) != 0) {
        return IsValidVariantType(vt) && (vt & VT_BYREF) == 0;
    }
    return vt == VT_EMPTY || vt == VT_NULL || vt == VT_BSTR || vt == VT_ERROR || vt == VT_UNKNOWN ||
           vt == VT_DISPATCH || IsNumericType(vt);
}

// Converts a value that is not a reference into a fresh (owned) variant.
HRESULT Coerce(const VARIANT& source, LCID lcid, USHORT flags, VARTYPE vt, VARIANT* out) {
    VariantInit(out);
    if (source.vt == vt) {
        return VariantCopy(out, &source);
    }
    if ((vt == VT_EMPTY || vt == VT_NULL) && IsScalarType(source.vt)) {
        out->vt = vt;  // the value is dropped
        return S_OK;
    }
    if (source.vt == (VT_ARRAY | VT_UI1) && vt == VT_BSTR) {
        return ByteArrayToText(source.parray, out);
    }
    if (source.vt == VT_BSTR && vt == (VT_ARRAY | VT_UI1)) {
        return TextToByteArray(source.bstrVal, out);
    }
    if ((vt & VT_ARRAY) != 0 || (source.vt & VT_ARRAY) != 0 || source.vt == VT_NULL ||
        vt == VT_NULL || source.vt == VT_ERROR || vt == VT_ERROR || vt == VT_EMPTY) {
        return DISP_E_TYPEMISMATCH;
    }
    if (vt == VT_UNKNOWN || vt == VT_DISPATCH) {
        return ToInterface(source, vt, out);
    }
    if (source.vt == VT_UNKNOWN || source.vt == VT_DISPATCH) {
        if ((flags & VARIANT_NOVALUEPROP) != 0) {
            return DISP_E_TYPEMISMATCH;
        }
        VARIANT value;
        if (FAILED(ValueProperty(source.punkVal, lcid, &value))) {
            // An object without a readable value has no value of the requested type.
            VariantClear(&value);
            return DISP_E_TYPEMISMATCH;
        }
        // One level only: an object whose value is again an object does not convert.
        const HRESULT hr = (value.vt == VT_UNKNOWN || value.vt == VT_DISPATCH)
                               ? DISP_E_TYPEMISMATCH
                               : Coerce(value, lcid, flags | VARIANT_NOVALUEPROP, vt, out);
        VariantClear(&value);
        return hr;
    }
    if (vt == VT_BSTR) {
        std::wstring text;
        HRESULT hr = TextOf(source, flags, &text);
        if (FAILED(hr)) {
            return hr;
        }
        hr = AllocText(text, &out->bstrVal);
        if (SUCCEEDED(hr)) {
            out->vt = VT_BSTR;
        }
        return hr;
    }
    if (source.vt == VT_BSTR && vt == VT_DATE) {
        DATE date = 0;
        HRESULT hr = ParseDateText(BstrText(source.bstrVal), &date);
        if (SUCCEEDED(hr)) {
            out->date = date;
            out->vt = VT_DATE;
        }
        return hr;
    }
    if (source.vt == VT_BSTR && vt == VT_BOOL) {
        const std::wstring_view text = TrimmedText(BstrText(source.bstrVal));
        if (std::optional<bool> word = BoolWord(text)) {
            out->boolVal = *word ? VARIANT_TRUE : VARIANT_FALSE;
            out->vt = VT_BOOL;
            return S_OK;
        }
    }
    Number number;
    HRESULT hr = ToNumber(source, &number);
    if (FAILED(hr)) {
        return hr;
    }
    return NumberToType(number, vt, out);
}

}  // namespace

extern "C" HRESULT VariantChangeTypeEx(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, LCID lcid,
                                       USHORT wFlags, VARTYPE vt) {
    if (pvargDest == nullptr || pvarSrc == nullptr) {
        return E_INVALIDARG;
    }
    if (!IsValidVariantType(pvarSrc->vt) || !IsValidTarget(vt)) {
        return DISP_E_BADVARTYPE;
    }
    VARIANT view;
    HRESULT hr = Dereference(*pvarSrc, &view);
    if (FAILED(hr)) {
        return hr;
    }
    if (!IsValidVariantType(view.vt)) {
        return DISP_E_BADVARTYPE;
    }
    VARIANT result;
    hr = Coerce(view, lcid, wFlags, vt, &result);
    if (FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    // The destination may be the source: it is cleared only now that the result stands.
    hr = VariantClear(pvargDest);
    if (FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    *pvargDest = result;
    return S_OK;
}

extern "C" HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc,
                                     USHORT wFlags, VARTYPE vt) {
    return VariantChangeTypeEx(pvargDest, pvarSrc, LOCALE_USER_DEFAULT, wFlags, vt);
}

extern "C" HRESULT VarBstrFromR8(DOUBLE dblIn, LCID /*lcid*/, ULONG /*dwFlags*/, BSTR* pbstrOut) {
    if (pbstrOut == nullptr) {
        return E_INVALIDARG;
    }
    return AllocText(FormatFloating(dblIn, 15), pbstrOut);
}

extern "C" HRESULT VarBstrFromCy(CY cyIn, LCID /*lcid*/, ULONG /*dwFlags*/, BSTR* pbstrOut) {
    if (pbstrOut == nullptr) {
        return E_INVALIDARG;
    }
    return AllocText(FormatCurrency(cyIn), pbstrOut);
}

extern "C" HRESULT VarBstrFromDate(DATE dateIn, LCID /*lcid*/, ULONG dwFlags, BSTR* pbstrOut) {
    if (pbstrOut == nullptr) {
        return E_INVALIDARG;
    }
    *pbstrOut = nullptr;
    std::optional<std::wstring> text = FormatDate(dateIn, dwFlags);
    if (!text) {
        return E_INVALIDARG;
    }
    return AllocText(*text, pbstrOut);
}

extern "C" HRESULT VarDateFromStr(LPCOLESTR strIn, LCID /*lcid*/, ULONG dwFlags, DATE* pdateOut) {
    if (strIn == nullptr || pdateOut == nullptr) {
        return E_INVALIDARG;
    }
    DATE date = 0;
    HRESULT hr = ParseDateText(strIn, &date);
    if (FAILED(hr)) {
        return hr;
    }
    if ((dwFlags & VAR_TIMEVALUEONLY) != 0) {
        date = std::fabs(date - std::trunc(date));
    } else if ((dwFlags & VAR_DATEVALUEONLY) != 0) {
        date = std::trunc(date);
    }
    *pdateOut = date;
    return S_OK;
}

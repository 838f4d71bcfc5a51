// DispCallFunc: a call whose signature is known only at run time, built with libffi.
#include <ffi.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "tevo/com/automation.h"

namespace {

// A VARIANT as libffi sees it: a structure of three 8-byte words. Larger than 16 bytes,
// it is passed and returned in memory on x86-64, exactly as the compiler does for a
// VARIANT parameter or result.
static_assert(sizeof(VARIANT) == 3 * sizeof(std::uint64_t));

// libffi completes a structure type the first time a call uses it; that happens once,
// here, so that concurrent calls only read it.
ffi_type* VariantFfiType() {
    static ffi_type* elements[] = {&ffi_type_uint64, &ffi_type_uint64, &ffi_type_uint64, nullptr};
    static ffi_type* const type = [] {
        static ffi_type variant{0, 0, FFI_TYPE_STRUCT, elements};
        ffi_cif cif;
        ffi_type* args[] = {&variant};
        ffi_prep_cif(&cif, FFI_DEFAULT_ABI, 1, &ffi_type_void, args);
        return &variant;
    }();
    return type;
}

// The libffi type of a value of variant type vt, or null when it cannot be passed.
ffi_type* FfiTypeOf(VARTYPE vt) {
    if ((vt & (VT_BYREF | VT_ARRAY)) != 0) {
        return &ffi_type_pointer;
    }
    switch (vt) {
        case VT_I1:
            return &ffi_type_sint8;
        case VT_UI1:
            return &ffi_type_uint8;
        case VT_I2:
        case VT_BOOL:
            return &ffi_type_sint16;
        case VT_UI2:
            return &ffi_type_uint16;
        case VT_I4:
        case VT_INT:
        case VT_ERROR:
        case VT_HRESULT:
            return &ffi_type_sint32;
        case VT_UI4:
        case VT_UINT:
            return &ffi_type_uint32;
        case VT_I8:
        case VT_CY:  // a structure of one 64-bit integer travels as that integer
            return &ffi_type_sint64;
        case VT_UI8:
            return &ffi_type_uint64;
        case VT_R4:
            return &ffi_type_float;
        case VT_R8:
        case VT_DATE:
            return &ffi_type_double;
        case VT_BSTR:
        case VT_UNKNOWN:
        case VT_DISPATCH:
            return &ffi_type_pointer;
        case VT_VARIANT:
            return VariantFfiType();
        default:
            return nullptr;
    }
}

// Where the value of an argument of type vt is stored in its VARIANT. Every member of
// the value union starts at the same address; a VARIANT passed by value is the VARIANT.
void* ArgumentValue(VARTYPE vt, VARIANTARG* arg) {
    if (vt == VT_VARIANT) {
        return arg;
    }
    return &arg->llVal;
}

// Room for any return value; libffi widens integer results to a full register.
union ReturnBuffer {
    ffi_arg integer;
    std::uint64_t wide;
    float single;
    double real;
    void* pointer;
    VARIANT variant;
};

// Copies a libffi return value into the value union of *result as type vt.
void StoreResult(VARTYPE vt, const ReturnBuffer& buffer, VARIANT* result) {
    if (vt == VT_VARIANT) {
        *result = buffer.variant;
        return;
    }
    VariantInit(result);
    if ((vt & (VT_BYREF | VT_ARRAY)) != 0) {
        result->byref = buffer.pointer;
    } else {
        switch (vt) {
            case VT_I1:
                result->cVal = static_cast<CHAR>(buffer.integer);
                break;
            case VT_UI1:
                result->bVal = static_cast<BYTE>(buffer.integer);
                break;
            case VT_I2:
            case VT_BOOL:
                result->iVal = static_cast<SHORT>(buffer.integer);
                break;
            case VT_UI2:
                result->uiVal = static_cast<USHORT>(buffer.integer);
                break;
            case VT_I4:
            case VT_INT:
            case VT_ERROR:
            case VT_HRESULT:
                result->lVal = static_cast<LONG>(buffer.integer);
                break;
            case VT_UI4:
            case VT_UINT:
                result->ulVal = static_cast<ULONG>(buffer.integer);
                break;
            case VT_I8:
            case VT_UI8:
            case VT_CY:
                result->ullVal = buffer.wide;
                break;
            case VT_R4:
                result->fltVal = buffer.single;
                break;
            case VT_R8:
            case VT_DATE:
                result->dblVal = buffer.real;
                break;
            default:  // BSTR, UNKNOWN, DISPATCH
                result->byref = buffer.pointer;
                break;
        }
    }
    result->vt = vt;
}

// The address of the function to call: a vtable slot of the instance, or oVft itself.
void* TargetFunction(void* instance, ULONG_PTR offset) {
    if (instance == nullptr) {
        return reinterpret_cast<void*>(offset);
    }
    const auto* vtable = *static_cast<const std::byte* const*>(instance);
    void* function = nullptr;
    std::memcpy(&function, vtable + offset, sizeof function);
    return function;
}

}  // namespace

extern "C" HRESULT DispCallFunc(void* pvInstance, ULONG_PTR oVft, CALLCONV cc, VARTYPE vtReturn,
                                UINT cActuals, VARTYPE* prgvt, VARIANTARG** prgpvarg,
                                VARIANT* pvargResult) {
    if (pvargResult == nullptr || (cActuals > 0 && (prgvt == nullptr || prgpvarg == nullptr)) ||
        (pvInstance == nullptr && oVft == 0)) {
        return E_INVALIDARG;
    }
    if (cc != CC_CDECL && cc != CC_STDCALL) {
        return DISP_E_BADCALLEE;
    }
    const bool no_result = vtReturn == VT_EMPTY || vtReturn == VT_VOID;
    ffi_type* return_type = no_result ? &ffi_type_void : FfiTypeOf(vtReturn);
    if (return_type == nullptr) {
        return DISP_E_BADVARTYPE;
    }

    const UINT this_count = pvInstance != nullptr ? 1 : 0;
    std::vector<ffi_type*> types(cActuals + this_count);
    std::vector<void*> values(cActuals + this_count);
    if (pvInstance != nullptr) {
        types[0] = &ffi_type_pointer;
        values[0] = &pvInstance;
    }
    for (UINT i = 0; i < cActuals; ++i) {
        ffi_type* type = FfiTypeOf(prgvt[i]);
        if (type == nullptr) {
            return DISP_E_BADVARTYPE;
        }
        if (prgpvarg[i] == nullptr) {
            return E_INVALIDARG;
        }
        types[this_count + i] = type;
        values[this_count + i] = ArgumentValue(prgvt[i], prgpvarg[i]);
    }

    ffi_cif cif;
    if (ffi_prep_cif(&cif, FFI_DEFAULT_ABI, static_cast<unsigned>(types.size()), return_type,
                     types.data()) != FFI_OK) {
        return DISP_E_BADCALLEE;
    }
    ReturnBuffer buffer{};
    ffi_call(&cif, reinterpret_cast<void (*)()>(TargetFunction(pvInstance, oVft)), &buffer,
             values.data());
    if (no_result) {
        VariantInit(pvargResult);
    } else {
        StoreResult(vtReturn, buffer, pvargResult);
    }
    return S_OK;
}

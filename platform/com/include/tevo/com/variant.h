// VARIANT: the tagged value of OLE Automation, with the Windows layout and member names,
// and the functions that initialize, clear, copy and convert it.
//
// Conversions (VariantChangeType/VariantChangeTypeEx) are those of a Windows machine with
// the en-US user locale, whatever the LCID passed and whatever the process locale:
//
// Between numbers (I1, UI1, I2, UI2, I4, UI4, I8, UI8, INT, UINT, R4, R8, CY, DATE, BOOL,
// DECIMAL):
//  - to an integer type, a value with a fraction is rounded half to even (2.5 -> 2,
//    3.5 -> 4, -2.5 -> -2); a value outside the target's range gives DISP_E_OVERFLOW, and
//    so does NaN;
//  - to CY, rounded half to even at 4 decimals; to DECIMAL, a double keeps 15
//    significant digits; to R4, a finite value beyond the float range overflows;
//  - to DATE, values outside 1 Jan 100 .. 31 Dec 9999 (-657434 .. 2958465.99...)
//    overflow;
//  - BOOL converts as its raw value, normally -1 (VARIANT_TRUE) or 0; to an integer type
//    it is cast (sign-extended, cut to the width), so VARIANT_TRUE to UI1/UI2/UI4/UI8/UINT
//    gives all bits set (255, 65535, ...), and a BOOL holding 1 gives 1; any non-zero
//    number is VARIANT_TRUE.
//  - VT_EMPTY converts to 0, VARIANT_FALSE and the empty string; VT_NULL converts to
//    nothing but VT_NULL (DISP_E_TYPEMISMATCH).
//  - A number, a string or VT_EMPTY converts to VT_EMPTY or VT_NULL, dropping its value.
//
// To text (VT_BSTR):
//  - integers in decimal ("-42");
//  - R8 with up to 15 significant digits, R4 with up to 7, in exponent form when the
//    decimal exponent is below -4 or at least 15 (R4: 7): "0.1", "0.333333333333333",
//    "1E+20", "1.5E-05", "-2.5"; negative zero is "0"; infinities "1.#INF"/"-1.#INF",
//    NaN "-1.#IND";
//  - CY with up to 4 decimals and no trailing zeros: "12.5", "-0.0001", "7";
//  - DECIMAL exactly, without trailing zeros: "1.5";
//  - DATE as "M/D/YYYY h:mm:ss AM|PM": "12/8/2026 6:09:20 PM"; date only when the time is
//    midnight ("12/8/2026"), time only when the date part is 0 (30 Dec 1899): "6:09:20 PM",
//    and DATE 0 is "12:00:00 AM". Seconds are rounded to the nearest second;
//  - BOOL as "-1"/"0", or "True"/"False" with VARIANT_ALPHABOOL (or VARIANT_LOCALBOOL);
//  - VT_EMPTY as the empty string.
//
// From text:
//  - numbers: blanks around, a leading or trailing sign or parentheses for negative, a
//    "$" currency sign, "," digit grouping in the integer part, "." decimal point,
//    exponent "E"/"e" (or "D"/"d") with optional sign: "1,234.5", "(12)", "5-",
//    "$3.25", ".5", "1.5E3". The text ends at an embedded zero character. Anything else
//    (also empty text) gives DISP_E_TYPEMISMATCH; "&H"/"&O" radix prefixes are not
//    accepted. The value is converted exactly from its decimal digits (so "2.5" to I4 is
//    2 and "0.00005" to CY is 0.0000, half to even);
//  - BOOL: "True"/"False" or "#TRUE#"/"#FALSE#" in any letter case, or a number (non-zero
//    is true);
//  - DATE: month/day/year ("12/8/2026", "12-8-26"; two-digit years 00-29 are 20xx, 30-99
//    19xx), year-month-day ("2026-12-08", also with a "T" before the time), month names
//    in English full or three-letter form ("Dec 8, 2026", "8 December 2026"), and a time
//    "h:mm[:ss]" with optional "AM"/"PM" ("18:09:20", "6:09 PM"). A time alone gives a
//    DATE in 30 Dec 1899. A date without a year is not accepted.
//
// Source values held by reference (VT_BYREF) are read through; the result is never a
// reference. VT_DISPATCH (and VT_UNKNOWN that has IDispatch) converts through its value
// property (DISPID_VALUE) unless VARIANT_NOVALUEPROP is given; an object whose value
// property fails gives DISP_E_TYPEMISMATCH. Arrays convert only to their own type, except
// that a one-dimensional VT_ARRAY|VT_UI1 converts to a BSTR holding exactly its bytes,
// and a BSTR to a zero-based VT_ARRAY|VT_UI1 of its bytes (without the terminator). VT_RECORD is
// not supported (DISP_E_BADVARTYPE).
#pragma once

#include "tevo/com/safearray.h"
#include "tevo/com/unknown.h"
#include "tevo/win/types.h"
#include "tevo/win/winerror.h"

struct IDispatch;
struct IRecordInfo;

enum VARENUM {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_CY = 6,
    VT_DATE = 7,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_DECIMAL = 14,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_VOID = 24,
    VT_HRESULT = 25,
    VT_PTR = 26,
    VT_SAFEARRAY = 27,
    VT_CARRAY = 28,
    VT_USERDEFINED = 29,
    VT_LPSTR = 30,
    VT_LPWSTR = 31,
    VT_RECORD = 36,
    VT_INT_PTR = 37,
    VT_UINT_PTR = 38,
    VT_FILETIME = 64,
    VT_BLOB = 65,
    VT_STREAM = 66,
    VT_STORAGE = 67,
    VT_STREAMED_OBJECT = 68,
    VT_STORED_OBJECT = 69,
    VT_BLOB_OBJECT = 70,
    VT_CF = 71,
    VT_CLSID = 72,
    VT_VERSIONED_STREAM = 73,
    VT_BSTR_BLOB = 0x0FFF,
    VT_VECTOR = 0x1000,
    VT_ARRAY = 0x2000,
    VT_BYREF = 0x4000,
    VT_RESERVED = 0x8000,
    VT_ILLEGAL = 0xFFFF,
    VT_ILLEGALMASKED = 0x0FFF,
    VT_TYPEMASK = 0x0FFF
};

// The VARIANT. vt and the value union overlay decVal, whose first two bytes (wReserved)
// are vt: set decVal first, then vt.
struct VARIANT {
    union {
        struct {
            VARTYPE vt;
            WORD wReserved1;
            WORD wReserved2;
            WORD wReserved3;
            union {
                LONGLONG llVal;
                LONG lVal;
                BYTE bVal;
                SHORT iVal;
                FLOAT fltVal;
                DOUBLE dblVal;
                VARIANT_BOOL boolVal;
                SCODE scode;
                CY cyVal;
                DATE date;
                BSTR bstrVal;
                IUnknown* punkVal;
                IDispatch* pdispVal;
                SAFEARRAY* parray;
                BYTE* pbVal;
                SHORT* piVal;
                LONG* plVal;
                LONGLONG* pllVal;
                FLOAT* pfltVal;
                DOUBLE* pdblVal;
                VARIANT_BOOL* pboolVal;
                SCODE* pscode;
                CY* pcyVal;
                DATE* pdate;
                BSTR* pbstrVal;
                IUnknown** ppunkVal;
                IDispatch** ppdispVal;
                SAFEARRAY** pparray;
                VARIANT* pvarVal;
                PVOID byref;
                CHAR cVal;
                USHORT uiVal;
                ULONG ulVal;
                ULONGLONG ullVal;
                INT intVal;
                UINT uintVal;
                DECIMAL* pdecVal;
                CHAR* pcVal;
                USHORT* puiVal;
                ULONG* pulVal;
                ULONGLONG* pullVal;
                INT* pintVal;
                UINT* puintVal;
                struct {
                    PVOID pvRecord;
                    IRecordInfo* pRecInfo;
                };
            };
        };
        DECIMAL decVal;
    };
};
using VARIANTARG = VARIANT;
using LPVARIANT = VARIANT*;
using LPVARIANTARG = VARIANT*;

// Accessor macros as the Windows headers have them.
#define V_VT(X) ((X)->vt)
#define V_ISBYREF(X) (V_VT(X) & VT_BYREF)
#define V_ISARRAY(X) (V_VT(X) & VT_ARRAY)
#define V_UI1(X) ((X)->bVal)
#define V_I1(X) ((X)->cVal)
#define V_I2(X) ((X)->iVal)
#define V_UI2(X) ((X)->uiVal)
#define V_I4(X) ((X)->lVal)
#define V_UI4(X) ((X)->ulVal)
#define V_I8(X) ((X)->llVal)
#define V_UI8(X) ((X)->ullVal)
#define V_INT(X) ((X)->intVal)
#define V_UINT(X) ((X)->uintVal)
#define V_R4(X) ((X)->fltVal)
#define V_R8(X) ((X)->dblVal)
#define V_CY(X) ((X)->cyVal)
#define V_DATE(X) ((X)->date)
#define V_BSTR(X) ((X)->bstrVal)
#define V_BOOL(X) ((X)->boolVal)
#define V_ERROR(X) ((X)->scode)
#define V_UNKNOWN(X) ((X)->punkVal)
#define V_DISPATCH(X) ((X)->pdispVal)
#define V_ARRAY(X) ((X)->parray)
#define V_BYREF(X) ((X)->byref)
#define V_VARIANTREF(X) ((X)->pvarVal)
#define V_DECIMAL(X) ((X)->decVal)

// Flags of VariantChangeType(Ex).
constexpr USHORT VARIANT_NOVALUEPROP = 0x01;
constexpr USHORT VARIANT_ALPHABOOL = 0x02;
constexpr USHORT VARIANT_NOUSEROVERRIDE = 0x04;
constexpr USHORT VARIANT_CALENDAR_HIJRI = 0x08;
constexpr USHORT VARIANT_LOCALBOOL = 0x10;
constexpr USHORT VARIANT_CALENDAR_THAI = 0x20;
constexpr USHORT VARIANT_CALENDAR_GREGORIAN = 0x40;
constexpr USHORT VARIANT_USE_NLS = 0x80;

// Flags of VarBstrFromDate / VarDateFromStr.
constexpr ULONG VAR_TIMEVALUEONLY = 0x01;
constexpr ULONG VAR_DATEVALUEONLY = 0x02;

extern "C" {
void VariantInit(VARIANTARG* pvarg);
// Frees what the variant owns (BSTR, interface reference, array) and makes it VT_EMPTY.
// References (VT_BYREF) are not followed. DISP_E_BADVARTYPE for an invalid vt,
// DISP_E_ARRAYISLOCKED for a locked array (the variant is then left unchanged).
HRESULT VariantClear(VARIANTARG* pvarg);
// Deep copy: clears the destination first; BSTRs and arrays are copied, interfaces
// AddRef'ed, references copied as references.
HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc);
// As VariantCopy, but a reference is replaced by a deep copy of what it points to.
HRESULT VariantCopyInd(VARIANT* pvarDest, const VARIANTARG* pvargSrc);
HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags,
                          VARTYPE vt);
// Converts pvarSrc to vt into pvargDest (which may be pvarSrc). On failure the destination
// is unchanged. The LCID is accepted and ignored: conversions are always en-US.
HRESULT VariantChangeTypeEx(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, LCID lcid,
                            USHORT wFlags, VARTYPE vt);

// Single conversions to text with the forms above; dwFlags as for VariantChangeType
// (VarBstrFromDate also takes VAR_TIMEVALUEONLY / VAR_DATEVALUEONLY).
HRESULT VarBstrFromR8(DOUBLE dblIn, LCID lcid, ULONG dwFlags, BSTR* pbstrOut);
HRESULT VarBstrFromCy(CY cyIn, LCID lcid, ULONG dwFlags, BSTR* pbstrOut);
HRESULT VarBstrFromDate(DATE dateIn, LCID lcid, ULONG dwFlags, BSTR* pbstrOut);
// Parses a date/time text as described above. DISP_E_TYPEMISMATCH when it is not one,
// DISP_E_OVERFLOW outside the DATE range.
HRESULT VarDateFromStr(LPCOLESTR strIn, LCID lcid, ULONG dwFlags, DATE* pdateOut);
}

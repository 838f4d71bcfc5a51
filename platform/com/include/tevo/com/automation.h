// The late-binding helpers of OLE Automation: calling a function by its argument types
// (DispCallFunc), the Disp* helpers a hand-written IDispatch builds on, and the standard
// dispatch object over an interface and its type description (CreateStdDispatch).
//
// Late-bound calls go through ITypeInfo::Invoke of the platform's type descriptions, which
// supports custom (IUnknown-based) interfaces and their base interfaces:
//   - the member is found by member id and invoke kind (DISPATCH_METHOD |
//     DISPATCH_PROPERTYGET matches either); DISP_E_MEMBERNOTFOUND otherwise;
//   - property puts need the one named argument DISPID_PROPERTYPUT (DISP_E_PARAMNOTFOUND
//     without it); other named arguments are parameter positions as GetIDsOfNames gives
//     them (DISP_E_PARAMNOTFOUND for an unknown one, with *puArgErr at it);
//   - too many arguments, or a missing one that is not [optional], give
//     DISP_E_BADPARAMCOUNT (DISP_E_PARAMNOTFOUND when named arguments are used);
//   - a missing [optional] VARIANT is passed as VT_ERROR/DISP_E_PARAMNOTFOUND, a missing
//     parameter with a default value gets that value, any other missing [optional]
//     parameter gets the zero value of its type (0, a null BSTR or interface);
//   - [in] arguments are converted to the declared type with VariantChangeType, read
//     through VT_BYREF; a failed conversion gives DISP_E_TYPEMISMATCH (DISP_E_OVERFLOW for
//     a value out of range) with *puArgErr the argument's index in rgvarg;
//     enumerations are passed as VT_I4; an interface parameter takes VT_UNKNOWN or
//     VT_DISPATCH (or null) and is queried for the declared interface (E_NOINTERFACE
//     gives DISP_E_TYPEMISMATCH); SAFEARRAY(T) takes VT_ARRAY|T;
//   - [out] and [in,out] parameters need VT_BYREF of exactly the declared type (an
//     enumeration is VT_I4, an interface VT_UNKNOWN or VT_DISPATCH) and are written
//     through that reference; [in] pointer parameters take it as well, or a value that
//     is converted;
//   - the [retval] parameter (or a return value other than HRESULT) comes back in
//     *pVarResult; an interface as VT_DISPATCH when the interface derives from IDispatch,
//     else VT_UNKNOWN. Without pVarResult it is released;
//   - a failing HRESULT gives DISP_E_EXCEPTION. With pExcepInfo, scode is that HRESULT;
//     when the object says through ISupportErrorInfo that the interface supports error
//     information, the thread's error object (GetErrorInfo) gives source, description,
//     help file and help context, else the description is the system's message text for
//     the code (when there is one).
#pragma once

#include "tevo/com/dispatch.h"
#include "tevo/com/typeinfo.h"
#include "tevo/com/unknown.h"
#include "tevo/com/variant.h"
#include "tevo/win/types.h"

extern "C" {

// Calls a function with arguments given as VARIANTs and their types. With pvInstance,
// oVft is the byte offset of the slot in the object's vtable and pvInstance is passed
// first; without it, oVft is the function's address. CC_CDECL and CC_STDCALL are both the
// platform's native convention (others: DISP_E_BADCALLEE).
//
// prgvt[i] says how prgpvarg[i] is passed, whatever its own vt: I1, UI1, I2, UI2, I4, UI4,
// INT, UINT, I8, UI8, R4, R8, BOOL, ERROR, HRESULT, CY, DATE as their C types; BSTR,
// UNKNOWN, DISPATCH, any VT_BYREF and VT_ARRAY type as pointers; VT_VARIANT as the VARIANT
// structure by value, as the C++ compiler passes a VARIANT parameter (on x86-64 a copy in
// the argument area of the stack). Other types give DISP_E_BADVARTYPE.
//
// vtReturn is the function's return type from the same list (VT_VARIANT: a VARIANT
// returned by value), or VT_EMPTY/VT_VOID for none; *pvargResult receives the value with
// vt = vtReturn (VT_EMPTY for none; an HRESULT is VT_HRESULT in lVal). E_INVALIDARG for a
// missing function, result or argument array.
HRESULT DispCallFunc(void* pvInstance, ULONG_PTR oVft, CALLCONV cc, VARTYPE vtReturn, UINT cActuals,
                     VARTYPE* prgvt, VARIANTARG** prgpvarg, VARIANT* pvargResult);

// Reads the argument at `position` (0 is the first parameter; a positional argument, else
// the named argument whose DISPID is the position) converted to vtTarg into *pvarResult,
// which it initialises first. DISP_E_PARAMNOTFOUND when there is none; a failed
// conversion gives DISP_E_TYPEMISMATCH (or DISP_E_OVERFLOW) with *puArgErr the index of
// the argument in rgvarg. The caller clears *pvarResult.
HRESULT DispGetParam(DISPPARAMS* pdispparams, UINT position, VARTYPE vtTarg, VARIANT* pvarResult,
                     UINT* puArgErr);
// ptinfo->GetIDsOfNames: the member's id, then the positions of the named parameters.
HRESULT DispGetIDsOfNames(ITypeInfo* ptinfo, OLECHAR** rgszNames, UINT cNames, DISPID* rgdispid);
// ptinfo->Invoke on _this, the interface ptinfo describes.
HRESULT DispInvoke(void* _this, ITypeInfo* ptinfo, DISPID dispidMember, WORD wFlags,
                   DISPPARAMS* pparams, VARIANT* pvarResult, EXCEPINFO* pexcepinfo, UINT* puArgErr);
// Creates the standard dispatch object: an IDispatch over pvThis (an interface pointer
// of the interface ptinfo describes) whose GetTypeInfoCount is 1, GetTypeInfo(0) gives
// ptinfo, GetIDsOfNames and Invoke go through ptinfo (riid must be IID_NULL, else
// DISP_E_UNKNOWNINTERFACE). With punkOuter the object is aggregated: *ppunkStdDisp is its
// own (inner) IUnknown and the IDispatch delegates QueryInterface, AddRef and Release to
// punkOuter. The object holds a reference to ptinfo, none to pvThis.
HRESULT CreateStdDispatch(IUnknown* punkOuter, void* pvThis, ITypeInfo* ptinfo,
                          IUnknown** ppunkStdDisp);
}

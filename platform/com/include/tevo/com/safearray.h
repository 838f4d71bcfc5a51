// SAFEARRAY: the self-describing multi-dimensional array of OLE Automation.
//
// Layout as on Windows. The descriptor is preceded by 16 bytes that hold, with
// FADF_HAVEIID, the IID of the element interface, or, with FADF_HAVEVARTYPE, the element
// VARTYPE in its last 4 bytes. Elements are stored with the first dimension varying
// fastest.
//
// Dimension order: SafeArrayCreate takes its bounds first dimension first (rgsabound[0]
// is dimension 1) and stores them reversed, as Windows does: psa->rgsabound[cDims - 1]
// describes dimension 1 and psa->rgsabound[0] the last dimension. The nDim argument of
// SafeArrayGetLBound/GetUBound counts from 1 = first dimension. An index vector
// (rgIndices of Put/GetElement and PtrOfIndex) is also first dimension first. Redim
// changes the last dimension (psa->rgsabound[0]) only.
//
// Element ownership: arrays of BSTR, VARIANT and interface pointers own their elements.
// PutElement stores a deep copy (BSTR copy, VariantCopy, AddRef) and frees the element it
// replaces; GetElement hands out a deep copy into memory it treats as uninitialized;
// Copy copies deeply; Destroy/DestroyData free every element.
//
// Locks: a lock count, not mutual exclusion (as in COM). Destroying or redimensioning a
// locked array gives DISP_E_ARRAYISLOCKED; unlocking an unlocked array E_UNEXPECTED.
// The lock count is changed atomically; nothing else is synchronized.
#pragma once

#include "tevo/win/types.h"
#include "tevo/win/winerror.h"

struct SAFEARRAYBOUND {
    ULONG cElements;
    LONG lLbound;
};
using LPSAFEARRAYBOUND = SAFEARRAYBOUND*;

struct SAFEARRAY {
    USHORT cDims;
    USHORT fFeatures;
    ULONG cbElements;
    ULONG cLocks;
    PVOID pvData;
    SAFEARRAYBOUND rgsabound[1];
};
using LPSAFEARRAY = SAFEARRAY*;

constexpr USHORT FADF_AUTO = 0x0001;         // descriptor and data on the stack
constexpr USHORT FADF_STATIC = 0x0002;       // statically allocated data
constexpr USHORT FADF_EMBEDDED = 0x0004;     // embedded in a structure
constexpr USHORT FADF_FIXEDSIZE = 0x0010;    // may not be resized
constexpr USHORT FADF_RECORD = 0x0020;       // records (not supported here)
constexpr USHORT FADF_HAVEIID = 0x0040;      // element IID stored before the descriptor
constexpr USHORT FADF_HAVEVARTYPE = 0x0080;  // element VARTYPE stored before the descriptor
constexpr USHORT FADF_BSTR = 0x0100;
constexpr USHORT FADF_UNKNOWN = 0x0200;
constexpr USHORT FADF_DISPATCH = 0x0400;
constexpr USHORT FADF_VARIANT = 0x0800;
constexpr USHORT FADF_RESERVED = 0xF008;

extern "C" {
// Creates an array of vt with cDims dimensions, bounds first dimension first. Elements
// are zero. Returns null for an unsupported vt, cDims 0, or sizes that do not fit.
SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound);
SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements);
HRESULT SafeArrayAllocDescriptor(UINT cDims, SAFEARRAY** ppsaOut);
HRESULT SafeArrayAllocDescriptorEx(VARTYPE vt, UINT cDims, SAFEARRAY** ppsaOut);
// Allocates zeroed data for a descriptor whose cbElements and bounds are set.
HRESULT SafeArrayAllocData(SAFEARRAY* psa);
HRESULT SafeArrayDestroy(SAFEARRAY* psa);
HRESULT SafeArrayDestroyData(SAFEARRAY* psa);
HRESULT SafeArrayDestroyDescriptor(SAFEARRAY* psa);
HRESULT SafeArrayLock(SAFEARRAY* psa);
HRESULT SafeArrayUnlock(SAFEARRAY* psa);
HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData);
HRESULT SafeArrayUnaccessData(SAFEARRAY* psa);
UINT SafeArrayGetDim(SAFEARRAY* psa);
UINT SafeArrayGetElemsize(SAFEARRAY* psa);
HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound);
HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound);
HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt);
HRESULT SafeArrayGetIID(SAFEARRAY* psa, GUID* pguid);
HRESULT SafeArraySetIID(SAFEARRAY* psa, REFGUID guid);
// pv is the element itself for BSTR and interface arrays, a VARIANT* for VARIANT arrays,
// and a pointer to cbElements bytes otherwise.
HRESULT SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv);
// pv points to where the element is copied: a BSTR*, an IUnknown**, a VARIANT*, or
// cbElements bytes.
HRESULT SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv);
HRESULT SafeArrayPtrOfIndex(SAFEARRAY* psa, LONG* rgIndices, void** ppvData);
HRESULT SafeArrayRedim(SAFEARRAY* psa, SAFEARRAYBOUND* psaboundNew);
// A deep copy; a null psa gives a null copy and S_OK.
HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut);
// Deep-copies the elements into an existing array of the same shape and element size.
HRESULT SafeArrayCopyData(SAFEARRAY* psaSource, SAFEARRAY* psaTarget);
}

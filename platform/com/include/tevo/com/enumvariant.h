// IEnumVARIANT: the standard enumerator of a collection's items as VARIANTs (what a
// collection's _NewEnum property returns, DISPID_NEWENUM), and a ready-made enumerator
// over a snapshot of values.
#pragma once

#include "tevo/com/unknown.h"
#include "tevo/com/variant.h"
#include "tevo/win/types.h"
#include "tevo/win/winerror.h"

inline constexpr IID IID_IEnumVARIANT = {
    0x00020404, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

struct IEnumVARIANT : public IUnknown {
    // Copies up to celt values into rgVar (each must be uninitialized or empty; the caller
    // clears them). S_OK when celt values were copied, S_FALSE when fewer were left;
    // *pCeltFetched (may be null) receives the number copied.
    virtual HRESULT Next(ULONG celt, VARIANT* rgVar, ULONG* pCeltFetched) = 0;
    // Passes over celt values; S_FALSE when fewer were left (the enumerator is then at the
    // end).
    virtual HRESULT Skip(ULONG celt) = 0;
    // Back to the first value.
    virtual HRESULT Reset() = 0;
    // A new enumerator over the same values at the same position.
    virtual HRESULT Clone(IEnumVARIANT** ppEnum) = 0;
};
using LPENUMVARIANT = IEnumVARIANT*;
TEVO_COM_INTERFACE_IID(IEnumVARIANT, IID_IEnumVARIANT);

namespace tevo::com {

// An enumerator over copies of values[0 .. count - 1], taken now: later changes to the
// source do not show. The values are copied with VariantCopy (interfaces are AddRef'ed).
// *ppEnum receives the enumerator with one reference.
HRESULT CreateVariantEnumerator(const VARIANT* values, ULONG count, IEnumVARIANT** ppEnum);

}  // namespace tevo::com

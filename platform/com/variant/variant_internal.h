// Helpers shared by the VARIANT functions.
#pragma once

#include "tevo/com/variant.h"

namespace tevo::com::detail {

// True for a vt that a VARIANT may hold: a base type, optionally with VT_ARRAY and/or
// VT_BYREF (VT_VARIANT only by reference or as array elements). VT_RECORD is not
// supported.
bool IsValidVariantType(VARTYPE vt);

// A shallow, non-owning view of what a VT_BYREF variant points to (one level; a
// referenced VARIANT that is itself a reference is followed once more). A variant that is
// not a reference is returned as it is. E_INVALIDARG for a null reference.
HRESULT Dereference(const VARIANT& source, VARIANT* view);

}  // namespace tevo::com::detail

// The IDispatch the bridge hands out: late-bound access to one interface of an object,
// through that interface's type information.
#pragma once

#include "tevo/com/typeinfo.h"

namespace tevo::com::bridge {

// A new IDispatch (in *out, AddRef'ed) over the interface that `type` describes, on the
// object that `object` belongs to (the object is asked for that interface). Fails with
// E_NOINTERFACE when the object has no such interface or `type` is not an interface.
HRESULT CreateInterfaceDispatch(IUnknown* object, ITypeInfo* type, IDispatch** out);

}  // namespace tevo::com::bridge

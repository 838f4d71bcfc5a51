// ITypeComp of a type description: binds a member name to its FUNCDESC or VARDESC (in the
// type, then in its base interfaces) and a type name to the type of the same library.
#pragma once

#include "tevo/com/typeinfo.h"

namespace tevo::com::typelib {

// A new ITypeComp over `type` (which it keeps alive), AddRef'ed into *out.
HRESULT CreateTypeComp(ITypeInfo* type, ITypeComp** out);

}  // namespace tevo::com::typelib

// A late-bound call of one member of a custom interface, described by its FUNCDESC:
// DISPPARAMS are matched to the member's parameters, converted to the declared types,
// passed through the vtable slot with DispCallFunc, and the results and failures turned
// into what IDispatch::Invoke reports (see tevo/com/automation.h).
#pragma once

#include "tevo/com/dispatch.h"
#include "tevo/com/typeinfo.h"

namespace tevo::com::typelib {

// Calls `func`, a member of the interface `owner` describes (whose identifier is `iid`),
// on `instance`, a pointer to that interface. `owner` resolves the user-defined types of
// the parameters.
HRESULT InvokeFunction(ITypeInfo* owner, REFIID iid, const FUNCDESC& func, void* instance,
                       WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                       UINT* arg_error);

}  // namespace tevo::com::typelib

// What the driver reads from the IVI configuration store: the driver session that a
// resource name names, and the virtual names of a session's repeated capabilities. A store
// that cannot be created, read or searched is no error: the caller then takes names as
// given (resource descriptors, physical trace names).
#pragma once

#include <string>

#include "tevo/IviConfigServer.h"
#include "tevo/com/com_ptr.h"

namespace tevo::driver {

// Creates the store (ProgID "IviConfigServer.IviConfigStore") and deserializes its master
// location. Nothing when any of this fails.
tevo::com::ComPtr<IIviConfigStore> OpenConfigStore();

// The driver session that `name` names in the store (a logical name, or a session of that
// name); nothing for any other text, and when the lookup fails.
tevo::com::ComPtr<IIviDriverSession> FindDriverSession(IIviConfigStore* store, BSTR name);

// The physical name that the session's virtual name `requested` maps to (an exact,
// letter-case-sensitive match); `requested` itself when there is none or no session.
std::wstring PhysicalNameOf(IIviDriverSession* session, const std::wstring& requested);

// The first virtual name, in collection order, that maps to `physical`; `physical` itself
// when none does or there is no session.
std::wstring VirtualNameOf(IIviDriverSession* session, const std::wstring& physical);

}  // namespace tevo::driver

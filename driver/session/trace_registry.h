// TraceRegistry: the description of every method of the driver's interfaces, by interface
// name and method key, as the coclass's type information gives them: for each interface
// the coclass implements, its own functions and those of all its base interfaces.
#pragma once

#include <map>
#include <string>

#include "session/trace_rendering.h"

namespace tevo::driver {

// Method key ("get_Cache", "put_Cache", "Initialize") to description.
using TraceMethodMap = std::map<std::string, TraceMethod>;
// Interface name to its methods (names compared bytewise).
using TraceRegistry = std::map<std::string, TraceMethodMap>;

// The key of a function: "get_"/"put_" and its name for property accessors (put and
// put-by-reference alike), its name otherwise.
std::string TraceMethodKey(INVOKEKIND kind, const std::string& name);

// Fills the registry from the coclass's type information and gives the coclass name.
// Fails with the first failing type-information call.
HRESULT BuildTraceRegistry(ITypeInfo* coclass, TraceRegistry& registry, std::string& coclass_name);

}  // namespace tevo::driver

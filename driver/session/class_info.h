// The type information of the driver's coclasses, from the registered type library (found
// by its identifier and version 1.0). Loaded once and kept until the module is unloaded.
#pragma once

#include "tevo/platform.h"

namespace tevo::driver {

// The ITypeInfo of the coclass (AddRef'ed into *info), or the loader's failure.
HRESULT GetCoclassTypeInfo(REFCLSID clsid, ITypeInfo** info);

}  // namespace tevo::driver

// The registrar and component-categories manager objects of the registration module, and
// the module state they count themselves in.
#pragma once

#include "tevo/com/server_kit.h"

namespace tevo::com::registrar {

tevo::com::server::ServerModule& RegistrationModule();

HRESULT CreateRegistrar(IUnknown* outer, REFIID riid, void** object);
HRESULT CreateCategoriesManager(IUnknown* outer, REFIID riid, void** object);

}  // namespace tevo::com::registrar

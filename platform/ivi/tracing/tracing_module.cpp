// The exports of the tracing service's in-process server: its class table (the one class
// TracingService, threading model Both, no ProgID) on the server kit, which gives the class
// factory, the unload check and self-registration under HKEY_CLASSES_ROOT\CLSID.
#include "tevo/com/activation.h"
#include "tevo/com/server_kit.h"
#include "tracing_service.h"

namespace tevo::ivi::tracing {

namespace {

HRESULT CreateService(IUnknown* /*outer*/, REFIID riid, void** object) {
    return TracingService::Create(riid, object);
}

const tevo::com::server::ClassEntry kClasses[] = {
    {&CLSID_TracingService, true, CreateService, {"Tracing service"}},
};

// Service objects count themselves (LiveServiceObjects); they hold the module loaded.
tevo::com::server::ServerModule& Module() {
    static tevo::com::server::ServerModule module(kClasses, [] { return LiveServiceObjects(); });
    return module;
}

}  // namespace

}  // namespace tevo::ivi::tracing

TEVO_SERVER_KIT_CLASS_OBJECT_EXPORTS(tevo::ivi::tracing::Module())
TEVO_SERVER_KIT_REGISTRATION_EXPORTS(tevo::ivi::tracing::Module())

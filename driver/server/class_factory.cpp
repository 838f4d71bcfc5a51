#include "server/class_factory.h"

#include "measurement/main_driver_object.h"
#include "tevo/com/activation.h"

namespace tevo::driver {

namespace {

// The class factory refuses aggregation (the kit's default), also for IID_IUnknown.
HRESULT CreateTevo(IUnknown* /*outer*/, REFIID riid, void** object) {
    return CTevo::Create(riid, object);
}

// Registration is done by the registry scripts, not by the kit's standard keys, so the
// entries carry no registration texts.
const tevo::com::server::ClassEntry kClassTable[] = {
    {&CLSID_Tevo, true, CreateTevo, {}},
    {&CLSID_TevoSpecAnTrace, false, nullptr, {}},
    {&CLSID_TevoTrace, false, nullptr, {}},
};

constexpr DriverClass kDriverClasses[] = {
    {&CLSID_Tevo, 101},
    {&CLSID_TevoSpecAnTrace, 102},
    {&CLSID_TevoTrace, 103},
};

}  // namespace

tevo::com::server::ServerModule& DriverServerModule() {
    static tevo::com::server::ServerModule module(kClassTable);
    return module;
}

std::span<const DriverClass> DriverClasses() {
    return kDriverClasses;
}

}  // namespace tevo::driver

TEVO_SERVER_KIT_CLASS_OBJECT_EXPORTS(tevo::driver::DriverServerModule())

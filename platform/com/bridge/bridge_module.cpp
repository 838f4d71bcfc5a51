// The exports of the bridge library (libtevobridge.so) on the server kit.
#include "bridge_module.h"

#include "tevo/com/activation.h"
#include "tevo/com/automation_bridge.h"

namespace tevo::com::bridge {

HRESULT CreateBridge(IUnknown* outer, REFIID riid, void** object);

namespace {

const tevo::com::server::ClassEntry kClasses[] = {
    {&CLSID_AutomationBridge, true, CreateBridge, {"Automation Bridge"}, true},
};

}  // namespace

tevo::com::server::ServerModule& BridgeModule() {
    static tevo::com::server::ServerModule module(kClasses);
    return module;
}

}  // namespace tevo::com::bridge

TEVO_SERVER_KIT_CLASS_OBJECT_EXPORTS(tevo::com::bridge::BridgeModule())
TEVO_SERVER_KIT_REGISTRATION_EXPORTS(tevo::com::bridge::BridgeModule())

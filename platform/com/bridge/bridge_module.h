// The bridge library's server module: every bridge and every IDispatch it handed out holds
// one count of it, so the library stays loaded while any of them lives.
#pragma once

#include "tevo/com/server_kit.h"

namespace tevo::com::bridge {

tevo::com::server::ServerModule& BridgeModule();

}  // namespace tevo::com::bridge

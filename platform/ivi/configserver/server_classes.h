// The creatable classes of the configuration server: class identifier, ProgID name and
// how an instance is made, and the server module over them.
#pragma once

#include <span>

#include "config_object.h"
#include "tevo/com/server_kit.h"

namespace tevo::ivi::config {

struct ServerClass {
    const CLSID* clsid;
    const char* name;  // coclass name; the ProgID is "IviConfigServer." + name
    tevo::com::ComPtr<IUnknown> (*create)();
};

std::span<const ServerClass> ServerClasses();

// The server's module state: the kit's class table built from ServerClasses(), with every
// class creatable and registered with its ProgIDs and the type library.
tevo::com::server::ServerModule& ServerModule();

}  // namespace tevo::ivi::config

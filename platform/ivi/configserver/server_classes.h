// The creatable classes of the configuration server: class identifier, ProgID name and
// how an instance is made.
#pragma once

#include <span>

#include "config_object.h"

namespace tevo::ivi::config {

struct ServerClass {
    const CLSID* clsid;
    const char* name;  // coclass name; the ProgID is "IviConfigServer." + name
    tevo::com::ComPtr<IUnknown> (*create)();
};

std::span<const ServerClass> ServerClasses();

}  // namespace tevo::ivi::config

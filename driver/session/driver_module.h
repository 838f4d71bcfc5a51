// The module that holds the driver's code and resources: the Tevo shared library, or a
// program that links the driver's code directly (the tests), which embeds the same
// resources.
#pragma once

#include <string>

#include "tevo/win/windows.h"

namespace tevo::driver {

HMODULE DriverModule();

// A string of the module's string table, read with a 1024-character buffer as the
// identity properties do; false when the module has no such string.
bool LoadDriverString(UINT id, std::string& text);

// String table ids.
enum DriverStringId : UINT {
    kStringDescription = 40001,
    kStringRevision = 40002,
    kStringVendor = 40003,
    kStringGroupCapabilities = 40004,
    kStringSpecificationMajorVersion = 40005,
    kStringSpecificationMinorVersion = 40006,
    kStringSupportedInstrumentModels = 40007,
    kStringIdentifier = 40008,
    kStringSimulatedIdn = 40009,
    kStringSimulatedErrorQuery = 40010,
};

}  // namespace tevo::driver

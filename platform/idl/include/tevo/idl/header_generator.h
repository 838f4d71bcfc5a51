// Generates the C++ header of a type library: interfaces as abstract structs in exact slot
// order, enumerations with a 32-bit underlying type, and the IID_/CLSID_/LIBID_ constants.
#pragma once

#include <string>
#include <vector>

#include "tevo/idl/typelib_model.h"

namespace tevo::idl {

struct HeaderOptions {
    // Named in the header's first comment ("Foo.idl").
    std::string source_name;
    // Headers of imported libraries, included after <tevo/platform.h>.
    std::vector<std::string> includes;
    // Emit LIBID_<library>; false for IDL files without a library block.
    bool emit_libid = true;
};

std::string GenerateHeader(const Library& library, const HeaderOptions& options);

// The C++ spelling of a type description ("LONG", "ITevoAcquisition**", "SAFEARRAY*").
std::string CppTypeName(const Library& library, const TypeDesc& type);

}  // namespace tevo::idl

// Reads the MIDL subset into a syntax tree.
#pragma once

#include <string_view>

#include "idl_syntax.h"
#include "tevo/idl/diagnostic.h"

namespace tevo::idl {

// Parses IDL source. On error returns false with position and message in `error` (its
// file name is left for the caller).
bool ParseIdl(std::string_view source, syntax::File& file, Diagnostic& error);

}  // namespace tevo::idl

// Values between the command line's text and VARIANTs of a member's declared types:
// numbers with engineering units, integers, enumerations by name or number, Booleans
// (true/false, on/off, yes/no, 1/0) and text; results back as plain text or JSON.
#pragma once

#include <string>

#include "dispatch/member_description.h"
#include "dispatch/owned_variant.h"

namespace tevo::cli {

// The argument for a parameter of `type`, or UsageError saying what was expected.
OwnedVariant VariantFromText(const std::string& text, const ValueType& type,
                             const std::string& parameter);

// A result or output value as people read it: numbers in their shortest exact form,
// enumerations by name, Booleans as true/false, arrays one value per line.
std::string VariantToText(const VARIANT& value, const ValueType& type);

// The same as JSON: enumerations as {"value": n, "name": "..."}, arrays as arrays, an
// empty result as null.
std::string VariantToJson(const VARIANT& value, const ValueType& type);

}  // namespace tevo::cli

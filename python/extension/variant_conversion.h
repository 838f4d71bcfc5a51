// Values between Python objects and VARIANTs: int, float, bool and str for the scalar
// types, wrapped dispatch objects for interfaces, numpy arrays for SAFEARRAYs of numbers
// (float64 for doubles, int32 for longs; always copies, one-dimensional), lists of str for
// SAFEARRAYs of strings. Enumerations travel as their integer values; tevo._members turns
// them into IntEnum members.
#pragma once

#include <pybind11/pybind11.h>

#include <string>

#include "tevo/platform.h"
#include "type_description.h"

namespace tevo::python {

// Converts `value` to `type` into `out` (which the caller initialized and later clears).
// Raises TypeError / OverflowError naming `what` when the value does not fit.
void ToVariant(pybind11::handle value, const ValueType& type, VARIANT* out,
               const std::string& what);

// The Python value of a VARIANT, by the VARIANT's own type.
pybind11::object FromVariant(const VARIANT& value);

}  // namespace tevo::python

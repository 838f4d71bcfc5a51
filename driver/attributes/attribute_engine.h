// The attribute engine: the get and put layers and the implementation of each kind.
//
// Get layer: read Cache through the object's own IIviDriverOperation (no effect), then the
// get implementation: a null out pointer is error 30022 "InstrGet"/"pVal"; in simulation
// the row's simulated value; otherwise the kind's exchange and conversion.
// Put layer: read RangeCheck, Cache and Simulate (in this order, each a full interface
// call); in simulation nothing more happens; otherwise the put implementation, which reads
// Simulate once more, looks up the token, then the window suffix, and sends the command.
//
// A reply outside the reverse map, a Boolean reply other than 0 or 1 and a value outside
// the forward map give E_FAIL without error information and without I/O for a put.
// Exchange failures come back as InstrumentIo reported them. No value is cached, checked
// or coerced: values reach the instrument as given.
#pragma once

#include <variant>

#include "attributes/attribute_catalogue.h"
#include "attributes/attribute_context.h"

namespace tevo::driver {

// The caller's out pointer: enumerations travel as LONG.
using AttributeOut = std::variant<double*, LONG*, VARIANT_BOOL*, BSTR*>;
// The new value of a put: enumerations as LONG, text as the client's BSTR.
using AttributeIn = std::variant<double, LONG, VARIANT_BOOL, BSTR>;

// The trace number of a per-trace attribute; general attributes pass kNoTraceNumber.
inline constexpr LONG kNoTraceNumber = 0;

HRESULT AttributeGetLayer(AttributeContext& root, const AttributeRow& row, LONG trace_number,
                          AttributeOut out);
HRESULT AttributePutLayer(AttributeContext& root, const AttributeRow& row, LONG trace_number,
                          const AttributeIn& value);

// The window suffix of the next exchange: the active screen read through the object's own
// interface, then the Window map.
HRESULT AttributeWindowSuffix(AttributeContext& root, std::wstring* suffix);

}  // namespace tevo::driver

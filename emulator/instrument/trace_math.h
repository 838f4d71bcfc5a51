// Trace arithmetic as CALCulate:MATH defines it: an expression of traces (TRACE1 ...
// TRACE6), numbers, '+', '-' and parentheses, evaluated point by point on the dB values.
#pragma once

#include <functional>
#include <string_view>
#include <vector>

namespace tevo::emulator {

// The values of trace number 1 to 6; all traces have the same length.
using TraceLookup = std::function<const std::vector<float>&(int trace)>;

// Evaluates the expression. Throws scpi::Error -171 "Invalid expression" for a malformed
// expression and -170 for an unknown trace name.
std::vector<float> EvaluateTraceExpression(std::string_view expression, const TraceLookup& trace,
                                           size_t points);

// The trace number that a trace name (TRACE1 .. TRACE6, or TRAC1 ..) stands for, or 0.
int TraceNumberFromName(std::string_view name);

}  // namespace tevo::emulator

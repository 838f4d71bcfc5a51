// The driver's two repeated capabilities, both traces, in list order. On the wire a trace
// is addressed by its number: its zero-based index in its list plus 1.
#pragma once

#include <array>

namespace tevo::driver {

inline constexpr std::array<const wchar_t*, 3> kSpecAnTraceNames = {
    L"SpecAnTrace1", L"SpecAnTrace2", L"SpecAnTrace3"};
inline constexpr std::array<const wchar_t*, 6> kTevoTraceNames = {L"Trace1", L"Trace2", L"Trace3",
                                                                  L"Trace4", L"Trace5", L"Trace6"};

// The instrument's trace number of the item at a zero-based list index.
constexpr int TraceNumberOfIndex(int index) {
    return index + 1;
}

}  // namespace tevo::driver

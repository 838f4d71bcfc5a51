// Numbers as users type them on the command line: an optional SI prefix and an optional
// unit after the number, with or without a space ("1GHz", "20 MHz", "100k", "-10dBm",
// "50ms"). Nothing here depends on the process locale.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tevo::cli {

// What a value measures; the unit written after it must fit.
enum class Quantity {
    kFrequency,  // Hz
    kLevel,      // dBm (also dB, dBmV, dBuV: the analyzer's amplitude units)
    kDecibel,    // dB (attenuation)
    kTime,       // s
    kAny,        // any of the above, or none
};

struct ParsedValue {
    std::optional<double> value;
    std::string error;  // why the text is not a value, when value is empty
};

// The value in base units (Hz, dBm, dB, s). A bare number is taken as it is ("2.5e9").
// The prefixes are p n u m k M G T; "m" is milli except directly before "Hz", where millihertz
// makes no sense and "mhz" is a common way of typing MHz.
ParsedValue ParseEngineeringValue(std::string_view text, Quantity quantity);

// A frequency for people: "1.5 GHz", "250 MHz", "12.5 kHz", "0 Hz" (at most `digits`
// significant digits, trailing zeros dropped).
std::string FormatFrequency(double hertz, int digits = 6);

// A number in its shortest form that reads back to the same double ("1e+09" as "1000000000").
std::string FormatNumber(double value);

// A number with a fixed count of decimals, independent of the locale.
std::string FormatFixed(double value, int decimals);

}  // namespace tevo::cli

// Exact decimal values for the conversions between the OLE Automation number types.
//
// Every exact source (integers, CY, DECIMAL, number text) becomes a DecimalNumber, and
// rounding to an integer, to CY's 4 decimals or to DECIMAL is done on its decimal digits,
// so that "2.5" rounds half to even exactly and long texts lose nothing on the way.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "tevo/win/types.h"

namespace tevo::com::detail {

using UInt128 = unsigned __int128;

// (-1)^negative * digits * 10^exponent. Normalized: digits has neither leading nor
// trailing zeros, and zero is the empty digit string with negative false.
struct DecimalNumber {
    bool negative = false;
    std::string digits;
    std::int64_t exponent = 0;

    bool IsZero() const { return digits.empty(); }

    static DecimalNumber FromSigned(std::int64_t value);
    static DecimalNumber FromUnsigned(std::uint64_t value);
    // magnitude / 10^scale, negated when negative.
    static DecimalNumber FromScaled(UInt128 magnitude, bool negative, std::int64_t scale);
    // Digits and exponent as parsed, normalized here.
    static DecimalNumber FromParts(bool negative, const std::string& digits, std::int64_t exponent);
    // The shortest decimal that reads back as value; nullopt for NaN and infinities.
    static std::optional<DecimalNumber> FromDouble(double value);
    // value rounded to the given number of significant digits; nullopt for NaN and
    // infinities.
    static std::optional<DecimalNumber> FromDoubleDigits(double value, int significant);
};

// |n| * 10^scale rounded half to even; nullopt when that does not fit 128 bits.
std::optional<UInt128> RoundedMagnitude(const DecimalNumber& n, std::int64_t scale);

// The nearest double; +-infinity when the value is beyond the double range.
double ToDouble(const DecimalNumber& n);

// The DECIMAL nearest to n, with the largest scale (at most 28) whose 96-bit mantissa
// holds it; false when the integer part alone does not fit 96 bits.
bool ToDecimal(const DecimalNumber& n, DECIMAL* out);
// False when the DECIMAL is malformed (scale above 28).
bool FromDecimal(const DECIMAL& d, DecimalNumber* out);

// Plain notation without exponent or trailing zeros: "-12.5", "0.0001", "300".
std::wstring FormatPlain(const DecimalNumber& n);

}  // namespace tevo::com::detail

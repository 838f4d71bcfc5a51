#include "decimal_number.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>
#include <system_error>

namespace tevo::com::detail {

namespace {

constexpr std::int64_t kExponentLimit = 1000000;
constexpr int kMaxDecimalScale = 28;

std::string UnsignedDigits(UInt128 value) {
    std::string text;
    while (value != 0) {
        text.insert(text.begin(), static_cast<char>('0' + static_cast<int>(value % 10)));
        value /= 10;
    }
    return text;
}

// Parses the output of std::to_chars in scientific form: "d[.ddd]e[+-]xx".
DecimalNumber FromScientific(bool negative, std::string_view text) {
    std::string digits;
    std::size_t pos = 0;
    std::int64_t fraction = 0;
    bool afterPoint = false;
    for (; pos < text.size() && text[pos] != 'e'; ++pos) {
        if (text[pos] == '.') {
            afterPoint = true;
        } else {
            digits.push_back(text[pos]);
            fraction += afterPoint ? 1 : 0;
        }
    }
    std::int64_t exponent = 0;
    if (pos < text.size()) {
        std::string_view rest = text.substr(pos + 1);
        if (!rest.empty() && rest.front() == '+') {
            rest.remove_prefix(1);
        }
        std::from_chars(rest.data(), rest.data() + rest.size(), exponent);
    }
    return DecimalNumber::FromParts(negative, digits, exponent - fraction);
}

}  // namespace

DecimalNumber DecimalNumber::FromSigned(std::int64_t value) {
    const bool negative = value < 0;
    // Two's complement magnitude, also right for the most negative value.
    const std::uint64_t magnitude =
        negative ? ~static_cast<std::uint64_t>(value) + 1 : static_cast<std::uint64_t>(value);
    return FromScaled(magnitude, negative, 0);
}

DecimalNumber DecimalNumber::FromUnsigned(std::uint64_t value) {
    return FromScaled(value, false, 0);
}

DecimalNumber DecimalNumber::FromScaled(UInt128 magnitude, bool negative, std::int64_t scale) {
    return FromParts(negative, UnsignedDigits(magnitude), -scale);
}

DecimalNumber DecimalNumber::FromParts(bool negative, const std::string& digits,
                                       std::int64_t exponent) {
    DecimalNumber n;
    std::size_t first = digits.find_first_not_of('0');
    if (first == std::string::npos) {
        return n;
    }
    std::size_t last = digits.find_last_not_of('0');
    n.digits = digits.substr(first, last - first + 1);
    n.exponent = exponent + static_cast<std::int64_t>(digits.size() - 1 - last);
    n.negative = negative;
    return n;
}

std::optional<DecimalNumber> DecimalNumber::FromDouble(double value) {
    if (!std::isfinite(value)) {
        return std::nullopt;
    }
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof(buffer), std::fabs(value),
                                std::chars_format::scientific);
    return FromScientific(std::signbit(value), std::string_view(buffer, result.ptr - buffer));
}

std::optional<DecimalNumber> DecimalNumber::FromDoubleDigits(double value, int significant) {
    if (!std::isfinite(value)) {
        return std::nullopt;
    }
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof(buffer), std::fabs(value),
                                std::chars_format::scientific, significant - 1);
    return FromScientific(std::signbit(value), std::string_view(buffer, result.ptr - buffer));
}

std::optional<UInt128> RoundedMagnitude(const DecimalNumber& n, std::int64_t scale) {
    if (n.IsZero()) {
        return UInt128{0};
    }
    constexpr UInt128 kMax = ~UInt128{0};
    const auto count = static_cast<std::int64_t>(n.digits.size());
    const std::int64_t shift = n.exponent + scale;
    // Digits that stay in the integer part.
    const std::int64_t keep = count + shift;
    if (keep > 39) {
        return std::nullopt;
    }
    UInt128 value = 0;
    auto append = [&](int digit) {
        if (value > (kMax - static_cast<UInt128>(digit)) / 10) {
            return false;
        }
        value = value * 10 + static_cast<UInt128>(digit);
        return true;
    };
    for (std::int64_t i = 0; i < keep; ++i) {
        const int digit = i < count ? n.digits[static_cast<std::size_t>(i)] - '0' : 0;
        if (!append(digit)) {
            return std::nullopt;
        }
    }
    if (keep >= count) {
        return value;
    }
    // Round on the dropped digits: above half up, below half down, exactly half to even.
    if (keep < 0) {
        return value;  // below 0.1: rounds to zero
    }
    const char first = n.digits[static_cast<std::size_t>(keep)];
    bool up = first > '5';
    if (first == '5') {
        // Normalized digits end in a non-zero digit, so anything after the 5 is above half.
        const bool exactlyHalf = keep + 1 == count;
        up = !exactlyHalf || (value % 2) == 1;
    }
    if (up) {
        if (value == kMax) {
            return std::nullopt;
        }
        ++value;
    }
    return value;
}

double ToDouble(const DecimalNumber& n) {
    if (n.IsZero()) {
        return 0.0;
    }
    const auto count = static_cast<std::int64_t>(n.digits.size());
    // Far outside the double range: decide without parsing.
    if (n.exponent + count > 400) {
        return n.negative ? -HUGE_VAL : HUGE_VAL;
    }
    if (n.exponent + count < -400) {
        return n.negative ? -0.0 : 0.0;
    }
    std::string text = n.digits + "e" + std::to_string(n.exponent);
    double value = 0.0;
    auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        // Overflow or underflow: the sign of the decimal exponent tells which.
        value = n.exponent + count > 0 ? HUGE_VAL : 0.0;
    }
    return n.negative ? -value : value;
}

bool ToDecimal(const DecimalNumber& n, DECIMAL* out) {
    *out = DECIMAL{};
    if (n.IsZero()) {
        return true;
    }
    constexpr UInt128 kLimit = UInt128{1} << 96;
    std::int64_t scale = n.exponent < 0 ? -n.exponent : 0;
    if (scale > kMaxDecimalScale) {
        scale = kMaxDecimalScale;
    }
    for (; scale >= 0; --scale) {
        std::optional<UInt128> magnitude = RoundedMagnitude(n, scale);
        if (magnitude && *magnitude < kLimit) {
            out->scale = static_cast<BYTE>(scale);
            out->sign = (n.negative && *magnitude != 0) ? DECIMAL_NEG : 0;
            out->Hi32 = static_cast<ULONG>(*magnitude >> 64);
            out->Lo64 = static_cast<ULONGLONG>(*magnitude);
            return true;
        }
    }
    return false;
}

bool FromDecimal(const DECIMAL& d, DecimalNumber* out) {
    if (d.scale > kMaxDecimalScale) {
        return false;
    }
    const UInt128 magnitude = (static_cast<UInt128>(d.Hi32) << 64) | d.Lo64;
    *out = DecimalNumber::FromScaled(magnitude, (d.sign & DECIMAL_NEG) != 0, d.scale);
    return true;
}

std::wstring FormatPlain(const DecimalNumber& n) {
    if (n.IsZero()) {
        return L"0";
    }
    // The exponent of an exact source stays small; anything else is clamped by callers.
    const std::int64_t exponent = std::clamp(n.exponent, -kExponentLimit, kExponentLimit);
    std::string text;
    if (exponent >= 0) {
        text = n.digits + std::string(static_cast<std::size_t>(exponent), '0');
    } else {
        const std::int64_t point = static_cast<std::int64_t>(n.digits.size()) + exponent;
        if (point <= 0) {
            text = "0." + std::string(static_cast<std::size_t>(-point), '0') + n.digits;
        } else {
            text = n.digits;
            text.insert(static_cast<std::size_t>(point), ".");
        }
    }
    if (n.negative) {
        text.insert(text.begin(), '-');
    }
    return std::wstring(text.begin(), text.end());
}

}  // namespace tevo::com::detail

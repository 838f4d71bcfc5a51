#include "units/engineering_value.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace tevo::cli {

namespace {

struct UnitName {
    std::string_view name;
    Quantity quantity;
    bool takes_prefix;
};

// Longest names first, so that "dBmV" is not read as "dBm" followed by "V".
constexpr std::array<UnitName, 6> kUnits = {{
    {"dbmv", Quantity::kLevel, false},
    {"dbuv", Quantity::kLevel, false},
    {"dbm", Quantity::kLevel, false},
    {"db", Quantity::kDecibel, false},
    {"hz", Quantity::kFrequency, true},
    {"s", Quantity::kTime, true},
}};

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) {
            return false;
        }
    }
    return true;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

// The power of ten a prefix stands for.
std::optional<int> PrefixExponent(char prefix, bool before_hertz) {
    switch (prefix) {
        case 'p':
            return -12;
        case 'n':
            return -9;
        case 'u':
            return -6;
        case 'm':
            return before_hertz ? 6 : -3;
        case 'k':
        case 'K':
            return 3;
        case 'M':
            return 6;
        case 'g':
        case 'G':
            return 9;
        case 't':
        case 'T':
            return 12;
        default:
            return std::nullopt;
    }
}

bool Fits(Quantity wanted, Quantity unit) {
    if (wanted == Quantity::kAny || wanted == unit) {
        return true;
    }
    // An attenuation may be written in dB; a level relative to the reference too.
    return wanted == Quantity::kLevel && unit == Quantity::kDecibel;
}

const char* UnitOf(Quantity quantity) {
    switch (quantity) {
        case Quantity::kFrequency:
            return "Hz";
        case Quantity::kLevel:
            return "dBm";
        case Quantity::kDecibel:
            return "dB";
        case Quantity::kTime:
            return "s";
        case Quantity::kAny:
            break;
    }
    return "a unit";
}

struct Suffix {
    std::optional<int> exponent;  // the power of ten the suffix stands for
    std::string error;
};

// The power of ten the suffix after the number stands for, or an error text.
Suffix SuffixExponent(std::string_view suffix, Quantity quantity) {
    if (suffix.empty()) {
        return {0, {}};
    }
    for (const UnitName& unit : kUnits) {
        const bool whole = EqualsIgnoringCase(suffix, unit.name);
        const bool prefixed = unit.takes_prefix && suffix.size() == unit.name.size() + 1 &&
                              EqualsIgnoringCase(suffix.substr(1), unit.name);
        if (!whole && !prefixed) {
            continue;
        }
        if (!Fits(quantity, unit.quantity)) {
            return {std::nullopt, std::string("expected a value in ") + UnitOf(quantity)};
        }
        if (whole) {
            return {0, {}};
        }
        const auto exponent = PrefixExponent(suffix[0], unit.quantity == Quantity::kFrequency);
        if (!exponent) {
            break;
        }
        return {exponent, {}};
    }
    if (suffix.size() == 1) {
        if (const auto exponent = PrefixExponent(suffix[0], false)) {
            return {exponent, {}};
        }
    }
    return {std::nullopt, "unknown unit '" + std::string(suffix) + "'"};
}

}  // namespace

ParsedValue ParseEngineeringValue(std::string_view text, Quantity quantity) {
    const std::string_view trimmed = Trim(text);
    std::string_view digits = trimmed;
    if (!digits.empty() && digits.front() == '+') {
        digits.remove_prefix(1);  // from_chars takes no plus sign
    }
    double number = 0;
    const auto [end, status] = std::from_chars(digits.data(), digits.data() + digits.size(), number,
                                               std::chars_format::general);
    if (status != std::errc() || digits.empty() || digits.front() == '+') {
        return {std::nullopt, "'" + std::string(text) + "' is not a number"};
    }
    const std::string_view suffix =
        Trim(std::string_view(end, digits.data() + digits.size() - end));
    const Suffix scale = SuffixExponent(suffix, quantity);
    if (!scale.exponent) {
        return {std::nullopt, "'" + std::string(text) + "': " + scale.error};
    }
    // Dividing by an exact power of ten keeps "5u" at exactly 5e-6.
    const double power = std::pow(10.0, std::abs(*scale.exponent));
    const double value = *scale.exponent < 0 ? number / power : number * power;
    if (!std::isfinite(value)) {
        return {std::nullopt, "'" + std::string(text) + "' is out of range"};
    }
    return {value, {}};
}

std::string FormatNumber(double value) {
    std::array<char, 400> buffer{};
    // Plain digits for the values instruments use ("1000000000", "0.001"), the shortest
    // exponent form only for very large or very small ones.
    const double magnitude = std::fabs(value);
    const bool plain = magnitude == 0 || (magnitude >= 1e-6 && magnitude < 1e16);
    const auto result = plain ? std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                              std::chars_format::fixed)
                              : std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return std::string(buffer.data(), result.ptr);
}

std::string FormatFixed(double value, int decimals) {
    std::array<char, 64> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                      std::chars_format::fixed, decimals);
    return std::string(buffer.data(), result.ptr);
}

std::string FormatFrequency(double hertz, int digits) {
    struct Scale {
        double factor;
        const char* unit;
    };
    static constexpr std::array<Scale, 4> kScales = {
        {{1e9, "GHz"}, {1e6, "MHz"}, {1e3, "kHz"}, {1.0, "Hz"}}};
    Scale scale = kScales.back();
    for (const Scale& candidate : kScales) {
        if (std::fabs(hertz) >= candidate.factor) {
            scale = candidate;
            break;
        }
    }
    const double scaled = hertz / scale.factor;
    std::array<char, 64> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), scaled,
                                      std::chars_format::general, digits);
    std::string text(buffer.data(), result.ptr);
    if (text.find('e') != std::string::npos) {
        text = FormatNumber(scaled);
    }
    return text + " " + scale.unit;
}

}  // namespace tevo::cli

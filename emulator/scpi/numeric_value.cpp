#include "scpi/numeric_value.h"

#include <array>
#include <string_view>
#include <utility>

#include "scpi/error_codes.h"

namespace tevo::emulator::scpi {
namespace {

struct Multiplier {
    std::string_view prefix;
    double factor;
};

// Longest prefixes first so that "MA" is tried before "M".
constexpr std::array<Multiplier, 12> kMultipliers = {{
    {"EX", 1e18},
    {"PE", 1e15},
    {"MA", 1e6},
    {"T", 1e12},
    {"G", 1e9},
    {"K", 1e3},
    {"M", 1e-3},
    {"U", 1e-6},
    {"N", 1e-9},
    {"P", 1e-12},
    {"F", 1e-15},
    {"A", 1e-18},
}};

bool PrefixFactor(std::string_view prefix, double& factor) {
    if (prefix.empty()) {
        factor = 1;
        return true;
    }
    for (const Multiplier& m : kMultipliers) {
        if (m.prefix == prefix) {
            factor = m.factor;
            return true;
        }
    }
    return false;
}

// Splits a suffix into a multiplier and one of the given units. Units that take no
// multiplier must match exactly.
bool SplitSuffix(std::string_view suffix, std::initializer_list<std::string_view> linear_units,
                 std::initializer_list<std::string_view> exact_units, double& factor,
                 std::string& unit) {
    for (const std::string_view u : exact_units) {
        if (suffix == u) {
            factor = 1;
            unit = std::string(u);
            return true;
        }
    }
    for (const std::string_view u : linear_units) {
        if (suffix.size() < u.size() || suffix.substr(suffix.size() - u.size()) != u)
            continue;
        const std::string_view prefix = suffix.substr(0, suffix.size() - u.size());
        // MHZ and MOHM are mega, not milli, by long-standing convention.
        if (prefix == "M" && (u == "HZ" || u == "OHM")) {
            factor = 1e6;
            unit = std::string(u);
            return true;
        }
        if (PrefixFactor(prefix, factor)) {
            unit = std::string(u);
            return true;
        }
    }
    return false;
}

}  // namespace

Quantity DecodeNumeric(const Parameter& parameter, UnitClass unit_class) {
    if (parameter.type != ParameterType::kNumeric)
        throw Error(kDataTypeError);
    Quantity quantity;
    quantity.value = parameter.number;
    if (parameter.suffix.empty())
        return quantity;
    double factor = 1;
    bool ok = false;
    switch (unit_class) {
        case UnitClass::kNone:
            throw Error(kSuffixNotAllowed);
        case UnitClass::kFrequency:
            ok = SplitSuffix(parameter.suffix, {"HZ"}, {}, factor, quantity.unit);
            break;
        case UnitClass::kTime:
            ok = SplitSuffix(parameter.suffix, {"S"}, {}, factor, quantity.unit);
            break;
        case UnitClass::kDecibel:
            ok = SplitSuffix(parameter.suffix, {}, {"DB"}, factor, quantity.unit);
            break;
        case UnitClass::kLevel:
            ok = SplitSuffix(parameter.suffix, {"V", "W"}, {"DBM", "DBMV", "DBUV"}, factor,
                             quantity.unit);
            break;
        case UnitClass::kPercent:
            ok = SplitSuffix(parameter.suffix, {}, {"PCT"}, factor, quantity.unit);
            break;
        case UnitClass::kImpedance:
            ok = SplitSuffix(parameter.suffix, {"OHM"}, {}, factor, quantity.unit);
            break;
    }
    if (!ok)
        throw Error(kInvalidSuffix);
    quantity.value *= factor;
    return quantity;
}

NumericKeyword NumericKeywordOf(const Parameter& parameter) {
    if (parameter.type != ParameterType::kCharacter)
        return NumericKeyword::kNone;
    const std::string& t = parameter.text;
    if (t == "MIN" || t == "MINIMUM")
        return NumericKeyword::kMinimum;
    if (t == "MAX" || t == "MAXIMUM")
        return NumericKeyword::kMaximum;
    if (t == "DEF" || t == "DEFAULT")
        return NumericKeyword::kDefault;
    return NumericKeyword::kNone;
}

}  // namespace tevo::emulator::scpi

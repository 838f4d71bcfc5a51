#include "instrument/parameter_access.h"

#include <algorithm>
#include <cmath>

#include "instrument/level_units.h"
#include "scpi/error_codes.h"

namespace tevo::emulator {

using scpi::Error;
using scpi::Parameter;
using scpi::ParameterType;

void RequireParameterCount(const scpi::ProgramUnit& unit, size_t count) {
    if (unit.parameters.size() < count)
        throw Error(scpi::kMissingParameter);
    if (unit.parameters.size() > count)
        throw Error(scpi::kParameterNotAllowed);
}

void RejectParameterType(const Parameter& parameter) {
    switch (parameter.type) {
        case ParameterType::kNumeric:
            throw Error(scpi::kNumericDataNotAllowed);
        case ParameterType::kCharacter:
            throw Error(scpi::kCharacterDataNotAllowed);
        case ParameterType::kString:
            throw Error(scpi::kStringDataNotAllowed);
        case ParameterType::kExpression:
            throw Error(scpi::kExpressionDataNotAllowed);
        case ParameterType::kBlock:
            throw Error(scpi::kBlockDataNotAllowed);
    }
    throw Error(scpi::kDataTypeError);
}

namespace {

double CheckedInLimits(double value, const Limits& limits) {
    const double tolerance = 1e-9 * std::max({1.0, std::abs(limits.min), std::abs(limits.max)});
    if (!(value >= limits.min - tolerance && value <= limits.max + tolerance))
        throw Error(scpi::kDataOutOfRange);
    return std::clamp(value, limits.min, limits.max);
}

}  // namespace

double ReadReal(const CommandContext& context, const Parameter& parameter,
                scpi::UnitClass unit_class, const Limits& limits) {
    switch (scpi::NumericKeywordOf(parameter)) {
        case scpi::NumericKeyword::kMinimum:
            return limits.min;
        case scpi::NumericKeyword::kMaximum:
            return limits.max;
        case scpi::NumericKeyword::kDefault:
            return limits.default_value;
        case scpi::NumericKeyword::kNone:
            break;
    }
    if (parameter.type == ParameterType::kCharacter)
        throw Error(scpi::kInvalidCharacterData);
    if (parameter.type != ParameterType::kNumeric)
        RejectParameterType(parameter);
    const scpi::Quantity quantity = scpi::DecodeNumeric(parameter, unit_class);
    double value = quantity.value;
    if (unit_class == scpi::UnitClass::kLevel) {
        const int unit =
            quantity.unit.empty() ? context.screen.amplitude_unit : UnitFromSuffix(quantity.unit);
        value = UnitToDbm(value, unit, context.screen.impedance);
    }
    return CheckedInLimits(value, limits);
}

long long ReadInteger(const Parameter& parameter, const Limits& limits) {
    switch (scpi::NumericKeywordOf(parameter)) {
        case scpi::NumericKeyword::kMinimum:
            return std::llround(limits.min);
        case scpi::NumericKeyword::kMaximum:
            return std::llround(limits.max);
        case scpi::NumericKeyword::kDefault:
            return std::llround(limits.default_value);
        case scpi::NumericKeyword::kNone:
            break;
    }
    if (parameter.type == ParameterType::kCharacter)
        throw Error(scpi::kInvalidCharacterData);
    if (parameter.type != ParameterType::kNumeric)
        RejectParameterType(parameter);
    if (!parameter.suffix.empty())
        throw Error(scpi::kSuffixNotAllowed);
    const double rounded = std::round(parameter.number);
    if (!(rounded >= limits.min && rounded <= limits.max))
        throw Error(scpi::kDataOutOfRange);
    return static_cast<long long>(rounded);
}

bool ReadBoolean(const Parameter& parameter) {
    if (parameter.type == ParameterType::kCharacter) {
        if (parameter.text == "ON")
            return true;
        if (parameter.text == "OFF")
            return false;
        throw Error(scpi::kInvalidCharacterData);
    }
    if (parameter.type != ParameterType::kNumeric)
        RejectParameterType(parameter);
    if (!parameter.suffix.empty())
        throw Error(scpi::kSuffixNotAllowed);
    return std::round(parameter.number) != 0;
}

bool MnemonicMatches(std::string_view mnemonic, std::string_view word) {
    if (word.empty())
        return false;
    std::string short_form;
    std::string long_form;
    for (const char c : mnemonic) {
        const bool upper = !(c >= 'a' && c <= 'z');
        const char u = upper ? c : static_cast<char>(c - 'a' + 'A');
        long_form.push_back(u);
        if (upper)
            short_form.push_back(u);
    }
    return word == short_form || word == long_form;
}

int ReadEnum(const Parameter& parameter, std::span<const EnumItem> items) {
    if (parameter.type != ParameterType::kCharacter)
        RejectParameterType(parameter);
    for (const EnumItem& item : items) {
        if (MnemonicMatches(item.mnemonic, parameter.text))
            return item.value;
    }
    throw Error(scpi::kInvalidCharacterData);
}

std::string EnumReply(std::span<const EnumItem> items, int value) {
    for (const EnumItem& item : items) {
        if (item.value != value)
            continue;
        std::string reply;
        for (const char c : item.mnemonic) {
            if (!(c >= 'a' && c <= 'z'))
                reply.push_back(c);
        }
        return reply;
    }
    return "0";
}

double LevelInScreenUnit(const CommandContext& context, double dbm) {
    return DbmToUnit(dbm, context.screen.amplitude_unit, context.screen.impedance);
}

}  // namespace tevo::emulator

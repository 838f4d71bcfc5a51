// The generic get and set of the settings in the command table.
#include <cmath>

#include "instrument/command_table.h"
#include "instrument/couplings.h"
#include "instrument/parameter_access.h"
#include "scpi/error_codes.h"
#include "scpi/response_format.h"

namespace tevo::emulator {
namespace {

Limits LimitsOf(const CommandEntry& entry, const CommandContext& context) {
    return entry.limits_function != nullptr ? entry.limits_function(context) : entry.limits;
}

// A numeric query may ask for the limits: "SENS:FREQ:STAR? MAX". Returns true and the
// value when it did.
bool LimitQuery(const scpi::ProgramUnit& unit, const Limits& limits, double& value) {
    if (unit.parameters.empty())
        return false;
    if (unit.parameters.size() > 1)
        throw scpi::Error(scpi::kParameterNotAllowed);
    switch (scpi::NumericKeywordOf(unit.parameters[0])) {
        case scpi::NumericKeyword::kMinimum:
            value = limits.min;
            return true;
        case scpi::NumericKeyword::kMaximum:
            value = limits.max;
            return true;
        case scpi::NumericKeyword::kDefault:
            value = limits.default_value;
            return true;
        case scpi::NumericKeyword::kNone:
            break;
    }
    throw scpi::Error(scpi::kParameterNotAllowed);
}

std::string FormatRealSetting(const CommandEntry& entry, const CommandContext& context,
                              double value) {
    if (entry.unit == scpi::UnitClass::kLevel)
        value = LevelInScreenUnit(context, value);
    return scpi::FormatReal(value);
}

void ExecuteReal(const CommandEntry& entry, CommandContext& context,
                 const scpi::ProgramUnit& unit) {
    const Limits limits = LimitsOf(entry, context);
    if (unit.header.query) {
        double value = 0;
        if (!LimitQuery(unit, limits, value))
            value = entry.get != nullptr ? entry.get(context) : entry.real.In(context);
        context.Respond(FormatRealSetting(entry, context, value));
        return;
    }
    RequireParameterCount(unit, 1);
    double value = ReadReal(context, unit.parameters[0], entry.unit, limits);
    if (entry.quantize != nullptr)
        value = entry.quantize(value);
    if (entry.set != nullptr)
        entry.set(context, value);
    else
        entry.real.In(context) = value;
    if (!entry.clears_auto.empty())
        entry.clears_auto.In(context) = false;
    ApplyCouplings(context.screen);
}

void ExecuteInteger(const CommandEntry& entry, CommandContext& context,
                    const scpi::ProgramUnit& unit) {
    if (unit.header.query) {
        double value = 0;
        if (!LimitQuery(unit, entry.limits, value))
            value = entry.integer.In(context);
        context.Respond(scpi::FormatInteger(std::llround(value)));
        return;
    }
    RequireParameterCount(unit, 1);
    entry.integer.In(context) = static_cast<int>(ReadInteger(unit.parameters[0], entry.limits));
    ApplyCouplings(context.screen);
}

void ExecuteBoolean(const CommandEntry& entry, CommandContext& context,
                    const scpi::ProgramUnit& unit) {
    if (unit.header.query) {
        RequireParameterCount(unit, 0);
        const bool value = entry.boolean.In(context);
        if (entry.boolean_reply == BooleanReply::kText)
            context.Respond(value ? "ON" : "OFF");
        else
            context.Respond(scpi::FormatBoolean(value));
        return;
    }
    RequireParameterCount(unit, 1);
    entry.boolean.In(context) = ReadBoolean(unit.parameters[0]);
    ApplyCouplings(context.screen);
}

void ExecuteEnum(const CommandEntry& entry, CommandContext& context,
                 const scpi::ProgramUnit& unit) {
    if (unit.header.query) {
        RequireParameterCount(unit, 0);
        context.Respond(EnumReply(entry.items, entry.integer.In(context)));
        return;
    }
    RequireParameterCount(unit, 1);
    entry.integer.In(context) = ReadEnum(unit.parameters[0], entry.items);
    if (!entry.clears_auto.empty())
        entry.clears_auto.In(context) = false;
    ApplyCouplings(context.screen);
}

}  // namespace

ActionResult ExecuteEntry(const CommandEntry& entry, CommandContext& context,
                          const scpi::ProgramUnit& unit) {
    switch (entry.kind) {
        case SettingKind::kReal:
            ExecuteReal(entry, context, unit);
            break;
        case SettingKind::kInteger:
            ExecuteInteger(entry, context, unit);
            break;
        case SettingKind::kBoolean:
            ExecuteBoolean(entry, context, unit);
            break;
        case SettingKind::kEnum:
            ExecuteEnum(entry, context, unit);
            break;
        case SettingKind::kAction:
            return entry.action(context, unit);
    }
    return ActionResult::kDone;
}

}  // namespace tevo::emulator

// The error queue, the service password and service functions, window selection and the
// calibration result.
#include "instrument/command_actions.h"
#include "instrument/instrument.h"
#include "instrument/parameter_access.h"
#include "scpi/error_codes.h"
#include "scpi/response_format.h"

namespace tevo::emulator::actions {
namespace {

constexpr std::string_view kServicePassword = "573018";

// A password or service function name: a string, or a number or mnemonic written without
// quotes.
std::string ReadText(const scpi::Parameter& parameter) {
    switch (parameter.type) {
        case scpi::ParameterType::kString:
        case scpi::ParameterType::kCharacter:
            return parameter.text;
        case scpi::ParameterType::kNumeric:
            if (!parameter.suffix.empty())
                throw scpi::Error(scpi::kSuffixNotAllowed);
            return parameter.text;
        default:
            RejectParameterType(parameter);
    }
}

}  // namespace

ActionResult NextError(CommandContext& context, const Unit& unit) {
    RequireParameterCount(unit, 0);
    context.Respond(context.instrument.status().PopError());
    return ActionResult::kDone;
}

ActionResult AllErrors(CommandContext& context, const Unit& unit) {
    RequireParameterCount(unit, 0);
    StatusModel& status = context.instrument.status();
    std::string all = status.PopError();
    while (status.ErrorCount() > 0)
        all += "," + status.PopError();
    context.Respond(std::move(all));
    return ActionResult::kDone;
}

ActionResult ErrorCount(CommandContext& context, const Unit& unit) {
    RequireParameterCount(unit, 0);
    context.Respond(
        scpi::FormatInteger(static_cast<long long>(context.instrument.status().ErrorCount())));
    return ActionResult::kDone;
}

ActionResult Version(CommandContext& context, const Unit& unit) {
    RequireParameterCount(unit, 0);
    context.Respond("1999.0");
    return ActionResult::kDone;
}

ActionResult Password(CommandContext& context, const Unit& unit) {
    RequireParameterCount(unit, 1);
    const std::string password = ReadText(unit.parameters[0]);
    GlobalState& global = context.state.global;
    if (password == kServicePassword) {
        global.service_level = true;
        return ActionResult::kDone;
    }
    // Any other password ends the service level; "0" is the usual way to do so.
    global.service_level = false;
    if (password != "0")
        throw scpi::Error(scpi::kIllegalParameterValue);
    return ActionResult::kDone;
}

ActionResult PasswordState(CommandContext& context, const Unit& unit) {
    RequireParameterCount(unit, 0);
    context.Respond(scpi::FormatBoolean(context.state.global.service_level));
    return ActionResult::kDone;
}

ActionResult WindowSelect(CommandContext& context, const Unit& unit) {
    RequireParameterCount(unit, 0);
    context.state.global.selected_window = context.screen_index + 1;
    return ActionResult::kDone;
}

ActionResult ServiceFunction(CommandContext& context, const Unit& unit) {
    RequireParameterCount(unit, 1);
    const std::string name = ReadText(unit.parameters[0]);
    if (!context.state.global.service_level)
        throw scpi::Error(scpi::kCommandProtected);
    context.state.global.last_service_function = name;
    return ActionResult::kDone;
}

ActionResult LastServiceFunction(CommandContext& context, const Unit& unit) {
    RequireParameterCount(unit, 0);
    context.Respond(scpi::FormatString(context.state.global.last_service_function));
    return ActionResult::kDone;
}

ActionResult CalibrationResult(CommandContext& context, const Unit& unit) {
    RequireParameterCount(unit, 0);
    context.instrument.Update(context.now);
    context.Respond(scpi::FormatString(context.state.global.calibration_result));
    return ActionResult::kDone;
}

}  // namespace tevo::emulator::actions

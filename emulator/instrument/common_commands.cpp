// IEEE 488.2 common commands.
#include <cmath>

#include "instrument/command_actions.h"
#include "instrument/instrument.h"
#include "instrument/parameter_access.h"
#include "scpi/error_codes.h"
#include "scpi/response_format.h"

namespace tevo::emulator::actions {
namespace {

// The value of a register-setting command such as *ESE 36: 0 to 255.
uint8_t ReadRegisterValue(const Unit& unit) {
    RequireParameterCount(unit, 1);
    return static_cast<uint8_t>(ReadInteger(unit.parameters[0], Limits{0, 255, 0}));
}

}  // namespace

ActionResult Identify(CommandContext& context, const Unit& unit) {
    RequireParameterCount(unit, 0);
    const Identity& id = context.instrument.identity();
    context.Respond(std::string(kManufacturer) + "," + id.model + "," + id.serial + "," +
                    id.firmware);
    context.indefinite_response = true;
    return ActionResult::kDone;
}

ActionResult Reset(CommandContext& context, const Unit& unit) {
    RequireParameterCount(unit, 0);
    context.instrument.Reset();
    return ActionResult::kDone;
}

ActionResult SelfTest(CommandContext& context, const Unit& unit) {
    RequireParameterCount(unit, 0);
    context.Respond("0");
    return ActionResult::kDone;
}

ActionResult Calibrate(CommandContext& context, const Unit& unit) {
    RequireParameterCount(unit, 0);
    if (context.phase == 0) {
        context.instrument.StartCalibration(context.now);
        context.phase = 1;
    }
    if (context.state.global.calibrating)
        return ActionResult::kWait;
    context.Respond("0");
    return ActionResult::kDone;
}

ActionResult EventStatusRegister(CommandContext& context, const Unit& unit) {
    RequireParameterCount(unit, 0);
    context.Respond(scpi::FormatInteger(context.instrument.status().ReadAndClearEventStatus()));
    return ActionResult::kDone;
}

ActionResult EventStatusEnable(CommandContext& context, const Unit& unit) {
    StatusModel& status = context.instrument.status();
    if (unit.header.query) {
        RequireParameterCount(unit, 0);
        context.Respond(scpi::FormatInteger(status.event_status_enable()));
    } else {
        status.set_event_status_enable(ReadRegisterValue(unit));
    }
    return ActionResult::kDone;
}

ActionResult ServiceRequestEnable(CommandContext& context, const Unit& unit) {
    StatusModel& status = context.instrument.status();
    if (unit.header.query) {
        RequireParameterCount(unit, 0);
        context.Respond(scpi::FormatInteger(status.service_request_enable()));
    } else {
        status.set_service_request_enable(ReadRegisterValue(unit));
    }
    return ActionResult::kDone;
}

ActionResult StatusByte(CommandContext& context, const Unit& unit) {
    RequireParameterCount(unit, 0);
    context.Respond(scpi::FormatInteger(context.instrument.status().StatusByte()));
    return ActionResult::kDone;
}

ActionResult ClearStatus(CommandContext& context, const Unit& unit) {
    RequireParameterCount(unit, 0);
    context.instrument.status().Clear();
    return ActionResult::kDone;
}

ActionResult OperationComplete(CommandContext& context, const Unit& unit) {
    RequireParameterCount(unit, 0);
    if (!unit.header.query) {
        context.instrument.ArmOperationComplete();
        return ActionResult::kDone;
    }
    if (context.instrument.OperationsPending())
        return ActionResult::kWait;
    context.Respond("1");
    return ActionResult::kDone;
}

ActionResult WaitToContinue(CommandContext& context, const Unit& unit) {
    RequireParameterCount(unit, 0);
    return context.instrument.OperationsPending() ? ActionResult::kWait : ActionResult::kDone;
}

ActionResult Trigger(CommandContext& context, const Unit& unit) {
    RequireParameterCount(unit, 0);
    context.instrument.StartMeasurement(0, context.now);
    return ActionResult::kDone;
}

ActionResult Options(CommandContext& context, const Unit& unit) {
    RequireParameterCount(unit, 0);
    context.Respond("0");
    return ActionResult::kDone;
}

}  // namespace tevo::emulator::actions

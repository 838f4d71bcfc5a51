// Handlers of the commands that need code of their own: IEEE 488.2 common commands,
// sweeps and traces, markers, and the system, service and calibration functions. The
// command table names them; each runs with the context of its unit.
#pragma once

#include "instrument/command_table.h"

namespace tevo::emulator::actions {

using Unit = scpi::ProgramUnit;

// IEEE 488.2 common commands (common_commands.cpp).
ActionResult Identify(CommandContext& context, const Unit& unit);
ActionResult Reset(CommandContext& context, const Unit& unit);
ActionResult SelfTest(CommandContext& context, const Unit& unit);
ActionResult Calibrate(CommandContext& context, const Unit& unit);
ActionResult EventStatusRegister(CommandContext& context, const Unit& unit);
ActionResult EventStatusEnable(CommandContext& context, const Unit& unit);
ActionResult ServiceRequestEnable(CommandContext& context, const Unit& unit);
ActionResult StatusByte(CommandContext& context, const Unit& unit);
ActionResult ClearStatus(CommandContext& context, const Unit& unit);
ActionResult OperationComplete(CommandContext& context, const Unit& unit);
ActionResult WaitToContinue(CommandContext& context, const Unit& unit);
ActionResult Trigger(CommandContext& context, const Unit& unit);
ActionResult Options(CommandContext& context, const Unit& unit);

// Sweeps, traces and data format (measurement_commands.cpp).
ActionResult Initiate(CommandContext& context, const Unit& unit);
ActionResult Abort(CommandContext& context, const Unit& unit);
ActionResult TraceData(CommandContext& context, const Unit& unit);
ActionResult TraceCopy(CommandContext& context, const Unit& unit);
ActionResult TraceMode(CommandContext& context, const Unit& unit);
ActionResult TraceMath(CommandContext& context, const Unit& unit);
ActionResult DataFormat(CommandContext& context, const Unit& unit);
ActionResult OperationCondition(CommandContext& context, const Unit& unit);
ActionResult StatusPreset(CommandContext& context, const Unit& unit);

// Markers (marker_commands.cpp).
ActionResult MarkerOnOff(CommandContext& context, const Unit& unit);
ActionResult MarkerX(CommandContext& context, const Unit& unit);
ActionResult MarkerY(CommandContext& context, const Unit& unit);
ActionResult MarkerTrace(CommandContext& context, const Unit& unit);
ActionResult MarkerName(CommandContext& context, const Unit& unit);
ActionResult MarkerMaximum(CommandContext& context, const Unit& unit);
ActionResult MarkerNextPeak(CommandContext& context, const Unit& unit);
ActionResult MarkerNextPeakLeft(CommandContext& context, const Unit& unit);
ActionResult MarkerNextPeakRight(CommandContext& context, const Unit& unit);
ActionResult MarkerMinimum(CommandContext& context, const Unit& unit);
ActionResult MarkersAllOff(CommandContext& context, const Unit& unit);
ActionResult MarkerToCenter(CommandContext& context, const Unit& unit);
ActionResult MarkerToReference(CommandContext& context, const Unit& unit);
ActionResult CounterFrequency(CommandContext& context, const Unit& unit);
ActionResult DeltaOnOff(CommandContext& context, const Unit& unit);
ActionResult DeltaX(CommandContext& context, const Unit& unit);
ActionResult DeltaRelativeX(CommandContext& context, const Unit& unit);
ActionResult DeltaY(CommandContext& context, const Unit& unit);
ActionResult DeltaReferenceX(CommandContext& context, const Unit& unit);
ActionResult DeltaReferenceY(CommandContext& context, const Unit& unit);

// System, display, service and calibration (system_commands.cpp).
ActionResult NextError(CommandContext& context, const Unit& unit);
ActionResult AllErrors(CommandContext& context, const Unit& unit);
ActionResult ErrorCount(CommandContext& context, const Unit& unit);
ActionResult Version(CommandContext& context, const Unit& unit);
ActionResult Password(CommandContext& context, const Unit& unit);
ActionResult PasswordState(CommandContext& context, const Unit& unit);
ActionResult WindowSelect(CommandContext& context, const Unit& unit);
ActionResult ServiceFunction(CommandContext& context, const Unit& unit);
ActionResult LastServiceFunction(CommandContext& context, const Unit& unit);
ActionResult CalibrationResult(CommandContext& context, const Unit& unit);

}  // namespace tevo::emulator::actions

// Sweeps, trace data, trace modes, trace copy and math, and the data format.
#include <array>
#include <bit>
#include <cstring>

#include "instrument/command_actions.h"
#include "instrument/instrument.h"
#include "instrument/level_units.h"
#include "instrument/parameter_access.h"
#include "instrument/trace_math.h"
#include "scpi/error_codes.h"
#include "scpi/response_format.h"

namespace tevo::emulator::actions {
namespace {

constexpr std::array<EnumItem, 6> kTraceModeItems = {{
    {"WRITe", kTraceWrite},
    {"MAXHold", kTraceMaxHold},
    {"MINHold", kTraceMinHold},
    {"AVERage", kTraceAverage},
    {"VIEW", kTraceView},
    {"BLANk", kTraceBlank},
}};
constexpr std::array<EnumItem, 2> kFormatItems = {{
    {"ASCii", kFormatAscii},
    {"REAL", kFormatReal},
}};

// The trace that a parameter such as TRACE2 names.
int ReadTraceName(const scpi::Parameter& parameter) {
    if (parameter.type != scpi::ParameterType::kCharacter)
        RejectParameterType(parameter);
    const int trace = TraceNumberFromName(parameter.text);
    if (trace == 0)
        throw scpi::Error(scpi::kInvalidCharacterData);
    return trace;
}

template <typename T>
void AppendBinary(std::string& out, T value, bool little_endian) {
    std::array<char, sizeof(T)> bytes;
    std::memcpy(bytes.data(), &value, sizeof(T));
    if (little_endian != (std::endian::native == std::endian::little)) {
        for (size_t i = 0; i < sizeof(T) / 2; ++i)
            std::swap(bytes[i], bytes[sizeof(T) - 1 - i]);
    }
    out.append(bytes.data(), bytes.size());
}

}  // namespace

ActionResult Initiate(CommandContext& context, const Unit& unit) {
    RequireParameterCount(unit, 0);
    context.instrument.StartMeasurement(context.screen_index, context.now);
    return ActionResult::kDone;
}

ActionResult Abort(CommandContext& context, const Unit& unit) {
    RequireParameterCount(unit, 0);
    context.instrument.AbortMeasurements();
    return ActionResult::kDone;
}

ActionResult TraceData(CommandContext& context, const Unit& unit) {
    RequireParameterCount(unit, 1);
    const int trace = ReadTraceName(unit.parameters[0]);
    const std::vector<float>& values =
        context.instrument.TraceValues(context.screen_index, trace, context.now);
    const ScreenState& screen = context.screen;
    const GlobalState& global = context.state.global;
    const bool convert = screen.amplitude_unit != kUnitDbm;
    const auto value_at = [&](size_t i) {
        return convert ? DbmToUnit(values[i], screen.amplitude_unit, screen.impedance)
                       : static_cast<double>(values[i]);
    };
    if (global.data_format == kFormatAscii) {
        std::string text;
        text.reserve(values.size() * 15);
        for (size_t i = 0; i < values.size(); ++i) {
            if (i > 0)
                text.push_back(',');
            text.append(scpi::FormatFloat(static_cast<float>(value_at(i))));
        }
        context.Respond(std::move(text));
        return ActionResult::kDone;
    }
    const bool little_endian = global.byte_order == kByteOrderSwapped;
    std::string data;
    data.reserve(values.size() * static_cast<size_t>(global.real_length / 8));
    for (size_t i = 0; i < values.size(); ++i) {
        if (global.real_length == 64)
            AppendBinary(data, value_at(i), little_endian);
        else
            AppendBinary(data, static_cast<float>(value_at(i)), little_endian);
    }
    context.Respond(scpi::FormatDefiniteBlock(data));
    return ActionResult::kDone;
}

ActionResult TraceCopy(CommandContext& context, const Unit& unit) {
    RequireParameterCount(unit, 2);
    const int destination = ReadTraceName(unit.parameters[0]);
    const int source = ReadTraceName(unit.parameters[1]);
    context.instrument.PrepareTraces(context.screen_index, context.now);
    TraceState& to = context.screen.traces[static_cast<size_t>(destination - 1)];
    const TraceState& from = context.screen.traces[static_cast<size_t>(source - 1)];
    if (&to != &from) {
        to.data = from.data;
        to.accumulated = from.accumulated;
    }
    return ActionResult::kDone;
}

ActionResult TraceMode(CommandContext& context, const Unit& unit) {
    TraceState& trace = context.screen.traces[static_cast<size_t>(context.suffixes.trace - 1)];
    if (unit.header.query) {
        RequireParameterCount(unit, 0);
        context.Respond(EnumReply(kTraceModeItems, trace.mode));
        return ActionResult::kDone;
    }
    RequireParameterCount(unit, 1);
    const int mode = ReadEnum(unit.parameters[0], kTraceModeItems);
    if (mode != trace.mode) {
        trace.mode = mode;
        trace.accumulated = 0;  // hold and average start again with the next sweep
    }
    return ActionResult::kDone;
}

ActionResult TraceMath(CommandContext& context, const Unit& unit) {
    RequireParameterCount(unit, 1);
    const scpi::Parameter& parameter = unit.parameters[0];
    if (parameter.type != scpi::ParameterType::kExpression)
        RejectParameterType(parameter);
    context.instrument.PrepareTraces(context.screen_index, context.now);
    ScreenState& screen = context.screen;
    const TraceLookup lookup = [&screen](int trace) -> const std::vector<float>& {
        return screen.traces[static_cast<size_t>(trace - 1)].data;
    };
    // The result goes to trace 1, as the analyzer shows trace math there.
    std::vector<float> result =
        EvaluateTraceExpression(parameter.text, lookup, static_cast<size_t>(screen.sweep_points));
    screen.traces[0].data = std::move(result);
    screen.traces[0].accumulated = 1;
    return ActionResult::kDone;
}

ActionResult DataFormat(CommandContext& context, const Unit& unit) {
    GlobalState& global = context.state.global;
    if (unit.header.query) {
        RequireParameterCount(unit, 0);
        context.Respond(global.data_format == kFormatAscii
                            ? "ASC,0"
                            : "REAL," + std::to_string(global.real_length));
        return ActionResult::kDone;
    }
    if (unit.parameters.empty())
        throw scpi::Error(scpi::kMissingParameter);
    if (unit.parameters.size() > 2)
        throw scpi::Error(scpi::kParameterNotAllowed);
    const int format = ReadEnum(unit.parameters[0], kFormatItems);
    long long length = format == kFormatAscii ? 0 : 32;
    if (unit.parameters.size() == 2)
        length = ReadInteger(unit.parameters[1], Limits{0, 64, static_cast<double>(length)});
    if (format == kFormatAscii && length != 0)
        throw scpi::Error(scpi::kIllegalParameterValue);
    if (format == kFormatReal && length != 32 && length != 64)
        throw scpi::Error(scpi::kIllegalParameterValue);
    global.data_format = format;
    if (format == kFormatReal)
        global.real_length = static_cast<int>(length);
    return ActionResult::kDone;
}

ActionResult OperationCondition(CommandContext& context, const Unit& unit) {
    RequireParameterCount(unit, 0);
    context.instrument.Update(context.now);
    context.Respond(scpi::FormatInteger(context.instrument.OperationCondition()));
    return ActionResult::kDone;
}

ActionResult StatusPreset(CommandContext& /*context*/, const Unit& unit) {
    RequireParameterCount(unit, 0);
    return ActionResult::kDone;
}

}  // namespace tevo::emulator::actions

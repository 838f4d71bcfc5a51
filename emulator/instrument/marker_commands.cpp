// Markers and delta markers: position, amplitude, peak search, marker functions and the
// frequency counter. A marker reads the trace it is assigned to (trace 1 unless set).
#include <algorithm>
#include <cmath>

#include "instrument/command_actions.h"
#include "instrument/couplings.h"
#include "instrument/instrument.h"
#include "instrument/parameter_access.h"
#include "instrument/peak_search.h"
#include "instrument/synthetic_spectrum.h"
#include "instrument/trace_math.h"
#include "scpi/error_codes.h"
#include "scpi/response_format.h"

namespace tevo::emulator::actions {
namespace {

using scpi::Error;

struct Point {
    double x;
    double y;  // dBm
};

MarkerState& ThisMarker(CommandContext& context) {
    return context.screen.markers[static_cast<size_t>(context.suffixes.marker - 1)];
}

const std::vector<float>& TraceOf(CommandContext& context, const MarkerState& marker) {
    return context.instrument.TraceValues(context.screen_index, marker.trace, context.now);
}

size_t IndexAt(const ScreenState& screen, double x, size_t points) {
    const double span = screen.stop - screen.start;
    if (points < 2 || span <= 0)
        return 0;
    const double position = (x - screen.start) / span * static_cast<double>(points - 1);
    return static_cast<size_t>(
        std::clamp(std::llround(position), 0LL, static_cast<long long>(points - 1)));
}

// The marker's position inside the current span and the amplitude of its trace there.
Point Reading(CommandContext& context, const MarkerState& marker) {
    const std::vector<float>& values = TraceOf(context, marker);
    const ScreenState& screen = context.screen;
    const double x = std::clamp(marker.x, screen.start, screen.stop);
    const double y = values.empty() ? 0.0 : values[IndexAt(screen, x, values.size())];
    return {x, y};
}

PeakCriteria Criteria(const ScreenState& screen) {
    PeakCriteria criteria;
    criteria.excursion = screen.peak_excursion;
    if (screen.threshold_enabled)
        criteria.threshold = screen.threshold;
    return criteria;
}

// A level read from trace data (single precision), in the screen's unit.
std::string TraceLevel(const CommandContext& context, double dbm) {
    return scpi::FormatFloat(static_cast<float>(LevelInScreenUnit(context, dbm)));
}

void MoveTo(CommandContext& context, MarkerState& marker, size_t index, size_t points) {
    marker.x = PointFrequency(context.screen, index, points);
    marker.positioned = true;
}

// Switches a marker on in the given mode; a marker that was never placed goes to the
// highest point of its trace.
void SwitchOn(CommandContext& context, MarkerState& marker, int mode) {
    marker.mode = mode;
    if (!marker.positioned) {
        const std::vector<float>& values = TraceOf(context, marker);
        if (const auto peak = FindHighest(values, PeakCriteria{}))
            MoveTo(context, marker, *peak, values.size());
    }
}

void RequireOn(const MarkerState& marker) {
    if (marker.mode == kMarkerOff)
        throw Error(scpi::kSettingsConflict);
}

void RequireDelta(const MarkerState& marker) {
    if (marker.mode != kMarkerDelta)
        throw Error(scpi::kSettingsConflict);
}

// The reference of the delta markers: marker 1 while it is a normal marker, otherwise the
// fixed point taken when a delta marker was switched on.
Point DeltaReference(CommandContext& context) {
    const MarkerState& first = context.screen.markers[0];
    if (first.mode == kMarkerNormal)
        return Reading(context, first);
    return {context.screen.delta_reference_x, context.screen.delta_reference_y};
}

void MakeDelta(CommandContext& context, MarkerState& marker) {
    const bool was_delta = marker.mode == kMarkerDelta;
    SwitchOn(context, marker, kMarkerDelta);
    if (!was_delta && context.screen.markers[0].mode != kMarkerNormal) {
        const Point here = Reading(context, marker);
        context.screen.delta_reference_x = here.x;
        context.screen.delta_reference_y = here.y;
    }
}

double ReadPosition(CommandContext& context, const scpi::ProgramUnit& unit) {
    RequireParameterCount(unit, 1);
    const FrequencyLimits range = DisplayedFrequencyRange(context.screen, context.model);
    const double x = ReadReal(context, unit.parameters[0], scpi::UnitClass::kFrequency,
                              Limits{range.min, range.max, (range.min + range.max) / 2});
    // Inside the analyzer's range but outside the span: the marker stops at the span edge.
    return std::clamp(x, context.screen.start, context.screen.stop);
}

template <typename Search>
ActionResult SearchFromMarker(CommandContext& context, Search search) {
    MarkerState& marker = ThisMarker(context);
    RequireOn(marker);
    const std::vector<float>& values = TraceOf(context, marker);
    const size_t current =
        IndexAt(context.screen, std::clamp(marker.x, context.screen.start, context.screen.stop),
                values.size());
    const std::optional<size_t> found = search(values, current, Criteria(context.screen));
    if (!found)
        throw Error(scpi::kExecutionError, "No peak found");
    MoveTo(context, marker, *found, values.size());
    return ActionResult::kDone;
}

}  // namespace

ActionResult MarkerOnOff(CommandContext& context, const Unit& unit) {
    MarkerState& marker = ThisMarker(context);
    if (unit.header.query) {
        RequireParameterCount(unit, 0);
        context.Respond(scpi::FormatBoolean(marker.mode == kMarkerNormal));
        return ActionResult::kDone;
    }
    RequireParameterCount(unit, 1);
    if (ReadBoolean(unit.parameters[0]))
        SwitchOn(context, marker, kMarkerNormal);
    else
        marker.mode = kMarkerOff;
    return ActionResult::kDone;
}

ActionResult MarkerX(CommandContext& context, const Unit& unit) {
    MarkerState& marker = ThisMarker(context);
    if (unit.header.query) {
        RequireParameterCount(unit, 0);
        RequireOn(marker);
        context.Respond(
            scpi::FormatReal(std::clamp(marker.x, context.screen.start, context.screen.stop)));
        return ActionResult::kDone;
    }
    const double x = ReadPosition(context, unit);
    marker.x = x;
    marker.positioned = true;
    if (marker.mode == kMarkerOff)
        marker.mode = kMarkerNormal;
    return ActionResult::kDone;
}

ActionResult MarkerY(CommandContext& context, const Unit& unit) {
    RequireParameterCount(unit, 0);
    const MarkerState& marker = ThisMarker(context);
    RequireOn(marker);
    context.Respond(TraceLevel(context, Reading(context, marker).y));
    return ActionResult::kDone;
}

ActionResult MarkerTrace(CommandContext& context, const Unit& unit) {
    MarkerState& marker = ThisMarker(context);
    if (unit.header.query) {
        RequireParameterCount(unit, 0);
        context.Respond(scpi::FormatInteger(marker.trace));
        return ActionResult::kDone;
    }
    RequireParameterCount(unit, 1);
    const scpi::Parameter& parameter = unit.parameters[0];
    int trace = 0;
    if (parameter.type == scpi::ParameterType::kCharacter) {
        trace = TraceNumberFromName(parameter.text);
        if (trace == 0)
            throw Error(scpi::kInvalidCharacterData);
    } else {
        trace = static_cast<int>(ReadInteger(parameter, Limits{1, kTraceCount, 1}));
    }
    marker.trace = trace;
    return ActionResult::kDone;
}

ActionResult MarkerName(CommandContext& context, const Unit& unit) {
    RequireParameterCount(unit, 0);
    const MarkerState& marker = ThisMarker(context);
    context.Respond((marker.mode == kMarkerDelta ? "D" : "M") +
                    std::to_string(context.suffixes.marker));
    return ActionResult::kDone;
}

ActionResult MarkerMaximum(CommandContext& context, const Unit& unit) {
    RequireParameterCount(unit, 0);
    MarkerState& marker = ThisMarker(context);
    if (marker.mode == kMarkerOff)
        marker.mode = kMarkerNormal;
    const std::vector<float>& values = TraceOf(context, marker);
    const std::optional<size_t> peak = FindHighest(values, Criteria(context.screen));
    if (!peak)
        throw Error(scpi::kExecutionError, "No peak found");
    MoveTo(context, marker, *peak, values.size());
    return ActionResult::kDone;
}

ActionResult MarkerMinimum(CommandContext& context, const Unit& unit) {
    RequireParameterCount(unit, 0);
    MarkerState& marker = ThisMarker(context);
    if (marker.mode == kMarkerOff)
        marker.mode = kMarkerNormal;
    const std::vector<float>& values = TraceOf(context, marker);
    const std::optional<size_t> lowest = FindLowest(values);
    if (!lowest)
        throw Error(scpi::kExecutionError, "No peak found");
    MoveTo(context, marker, *lowest, values.size());
    return ActionResult::kDone;
}

ActionResult MarkerNextPeak(CommandContext& context, const Unit& unit) {
    RequireParameterCount(unit, 0);
    return SearchFromMarker(context, FindNextLower);
}

ActionResult MarkerNextPeakLeft(CommandContext& context, const Unit& unit) {
    RequireParameterCount(unit, 0);
    return SearchFromMarker(context, FindNextLeft);
}

ActionResult MarkerNextPeakRight(CommandContext& context, const Unit& unit) {
    RequireParameterCount(unit, 0);
    return SearchFromMarker(context, FindNextRight);
}

ActionResult MarkersAllOff(CommandContext& context, const Unit& unit) {
    RequireParameterCount(unit, 0);
    for (MarkerState& marker : context.screen.markers)
        marker.mode = kMarkerOff;
    return ActionResult::kDone;
}

ActionResult MarkerToCenter(CommandContext& context, const Unit& unit) {
    RequireParameterCount(unit, 0);
    const MarkerState& marker = ThisMarker(context);
    RequireOn(marker);
    const Point here = Reading(context, marker);
    SetCenterFrequency(context.screen, context.model, here.x);
    ApplyCouplings(context.screen);
    return ActionResult::kDone;
}

ActionResult MarkerToReference(CommandContext& context, const Unit& unit) {
    RequireParameterCount(unit, 0);
    const MarkerState& marker = ThisMarker(context);
    RequireOn(marker);
    const Point here = Reading(context, marker);
    const double offset = context.screen.reference_offset;
    context.screen.reference_level = std::clamp(here.y, -130 + offset, 30 + offset);
    ApplyCouplings(context.screen);
    return ActionResult::kDone;
}

ActionResult CounterFrequency(CommandContext& context, const Unit& unit) {
    RequireParameterCount(unit, 0);
    const MarkerState& marker = ThisMarker(context);
    RequireOn(marker);
    if (!context.screen.counter_enabled)
        throw Error(scpi::kSettingsConflict);
    const double counted = CountedFrequency(context.screen, Reading(context, marker).x);
    const double resolution = context.screen.counter_resolution;
    context.Respond(scpi::FormatReal(std::round(counted / resolution) * resolution));
    return ActionResult::kDone;
}

ActionResult DeltaOnOff(CommandContext& context, const Unit& unit) {
    MarkerState& marker = ThisMarker(context);
    if (unit.header.query) {
        RequireParameterCount(unit, 0);
        context.Respond(scpi::FormatBoolean(marker.mode == kMarkerDelta));
        return ActionResult::kDone;
    }
    RequireParameterCount(unit, 1);
    if (ReadBoolean(unit.parameters[0]))
        MakeDelta(context, marker);
    else if (marker.mode == kMarkerDelta)
        marker.mode = kMarkerOff;
    return ActionResult::kDone;
}

ActionResult DeltaX(CommandContext& context, const Unit& unit) {
    MarkerState& marker = ThisMarker(context);
    if (unit.header.query) {
        RequireParameterCount(unit, 0);
        RequireDelta(marker);
        context.Respond(scpi::FormatReal(Reading(context, marker).x));
        return ActionResult::kDone;
    }
    const double x = ReadPosition(context, unit);
    marker.x = x;
    marker.positioned = true;
    MakeDelta(context, marker);
    return ActionResult::kDone;
}

ActionResult DeltaRelativeX(CommandContext& context, const Unit& unit) {
    RequireParameterCount(unit, 0);
    const MarkerState& marker = ThisMarker(context);
    RequireDelta(marker);
    context.Respond(scpi::FormatReal(Reading(context, marker).x - DeltaReference(context).x));
    return ActionResult::kDone;
}

ActionResult DeltaY(CommandContext& context, const Unit& unit) {
    RequireParameterCount(unit, 0);
    const MarkerState& marker = ThisMarker(context);
    RequireDelta(marker);
    context.Respond(scpi::FormatFloat(
        static_cast<float>(Reading(context, marker).y - DeltaReference(context).y)));
    return ActionResult::kDone;
}

ActionResult DeltaReferenceX(CommandContext& context, const Unit& unit) {
    RequireParameterCount(unit, 0);
    RequireDelta(ThisMarker(context));
    context.Respond(scpi::FormatReal(DeltaReference(context).x));
    return ActionResult::kDone;
}

ActionResult DeltaReferenceY(CommandContext& context, const Unit& unit) {
    RequireParameterCount(unit, 0);
    RequireDelta(ThisMarker(context));
    context.Respond(TraceLevel(context, DeltaReference(context).y));
    return ActionResult::kDone;
}

}  // namespace tevo::emulator::actions

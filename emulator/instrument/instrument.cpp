#include "instrument/instrument.h"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <utility>

#include "instrument/command_table.h"
#include "instrument/couplings.h"
#include "instrument/peak_search.h"
#include "instrument/synthetic_spectrum.h"
#include "scpi/error_codes.h"

namespace tevo::emulator {
namespace {

// Traces that hold or average take every sweep of a measurement into account; beyond
// this many sweeps the result no longer changes visibly and only the last ones are
// computed.
constexpr int kMaxComputedSweeps = 64;
constexpr double kCalibrationSeconds = 2.0;
constexpr int kDefaultAverageCount = 10;

}  // namespace

Instrument::Instrument(Identity identity, double time_scale)
    : identity_(std::move(identity)), model_(FindModel(identity_.model)), time_scale_(time_scale) {
    if (model_ == nullptr)
        throw std::invalid_argument("unknown analyzer model: " + identity_.model);
    if (!(time_scale >= 0))
        throw std::invalid_argument("the time scale must not be negative");
    for (const auto& [name, field] : {std::pair{"serial number", &identity_.serial},
                                      std::pair{"firmware revision", &identity_.firmware}}) {
        const std::string problem = IdentityFieldProblem(*field);
        if (!problem.empty())
            throw std::invalid_argument(std::string("the ") + name + " " + problem);
    }
    ResetInstrument(state_, *model_);
}

void Instrument::Begin(Execution& execution, std::string message) {
    execution = Execution{};
    execution.message = std::move(message);
    const std::string_view whole(execution.message);
    for (const std::string_view unit : scpi::SplitUnits(whole))
        execution.units.emplace_back(static_cast<size_t>(unit.data() - whole.data()), unit.size());
}

bool Instrument::Continue(Execution& execution, double now) {
    Update(now);
    while (execution.next < execution.units.size()) {
        const size_t index = execution.next;
        if (RunUnit(execution, execution.Unit(index), now))
            return false;
        if (execution.next == index)
            ++execution.next;
        execution.phase = 0;
    }
    return true;
}

bool Instrument::ExpectsResponse(const Execution& execution) {
    if (!execution.responses.empty())
        return true;
    for (size_t i = execution.next; i < execution.units.size(); ++i) {
        if (scpi::UnitIsQuery(execution.Unit(i)))
            return true;
    }
    return false;
}

void Instrument::Interrupt(Execution& execution) {
    if (ExpectsResponse(execution))
        status_.PushError(scpi::kQueryInterrupted);
    execution.responses.clear();
    execution.next = execution.units.size();
    execution.phase = 0;
}

std::string Instrument::ResponseMessage(const Execution& execution) {
    if (execution.responses.empty())
        return {};
    size_t size = execution.responses.size();
    for (const std::string& r : execution.responses)
        size += r.size();
    std::string message;
    message.reserve(size);
    for (size_t i = 0; i < execution.responses.size(); ++i) {
        if (i > 0)
            message.push_back(';');
        message.append(execution.responses[i]);
    }
    message.push_back('\n');
    return message;
}

void Instrument::ReportInputOverrun() {
    status_.PushError(scpi::kInputBufferOverrun);
}

void Instrument::Fail(Execution& execution, int code, const std::string& detail) {
    status_.PushError(code, detail);
    // After a command error the parser has lost its place: the rest is not executed.
    if (scpi::IsCommandError(code))
        execution.next = execution.units.size();
}

bool Instrument::RunUnit(Execution& execution, std::string_view text, double now) {
    scpi::ProgramUnit unit;
    try {
        unit = scpi::ParseUnit(text);
    } catch (const scpi::Error& error) {
        Fail(execution, error.code(), error.detail());
        return false;
    }
    if (unit.header.query && execution.indefinite_response) {
        // IEEE 488.2: no query may follow one with an arbitrary ASCII response.
        Fail(execution, scpi::kQueryUnterminatedAfterIndefiniteResponse, {});
        return false;
    }
    std::vector<scpi::Keyword> keywords;
    if (!unit.header.common && !unit.header.absolute)
        keywords = execution.path;
    keywords.insert(keywords.end(), unit.header.keywords.begin(), unit.header.keywords.end());
    const CommandTable::Lookup lookup =
        CommandTable::Instance().Find(keywords, unit.header.common, unit.header.query);
    if (lookup.entry == nullptr) {
        Fail(execution, lookup.error, {});
        return false;
    }
    const int screen_index = lookup.match.suffixes.window - 1;
    CommandContext context{*this,
                           state_,
                           state_.screens[static_cast<size_t>(screen_index)],
                           screen_index,
                           *model_,
                           lookup.match.suffixes,
                           now,
                           execution.phase,
                           execution.responses,
                           execution.indefinite_response};
    try {
        if (ExecuteEntry(*lookup.entry, context, unit) == ActionResult::kWait)
            return true;  // the path stays as it was; the unit runs again
    } catch (const scpi::Error& error) {
        Fail(execution, error.code(), error.detail());
    }
    if (!unit.header.common)
        execution.path = lookup.match.path;
    return false;
}

void Instrument::Update(double now) {
    for (int i = 0; i < kScreenCount; ++i) {
        ScreenState& screen = state_.screens[static_cast<size_t>(i)];
        if (screen.measuring && screen.measurement_end <= now) {
            screen.measuring = false;
            RunSweeps(i, std::max(1, screen.sweep_count), true);
            screen.last_continuous_sweep = now;
        }
    }
    GlobalState& global = state_.global;
    if (global.calibrating && global.calibration_end <= now) {
        global.calibrating = false;
        global.calibration_result = "PASSED";
    }
    if (operation_complete_armed_ && !OperationsPending()) {
        operation_complete_armed_ = false;
        status_.SetEventStatusBits(scpi::kEsrOperationComplete);
    }
}

double Instrument::NextEventTime() const {
    double next = std::numeric_limits<double>::infinity();
    for (const ScreenState& screen : state_.screens) {
        if (screen.measuring)
            next = std::min(next, screen.measurement_end);
    }
    if (state_.global.calibrating)
        next = std::min(next, state_.global.calibration_end);
    return next;
}

bool Instrument::OperationsPending() const {
    for (const ScreenState& screen : state_.screens) {
        if (screen.measuring)
            return true;
    }
    return state_.global.calibrating;
}

void Instrument::StartMeasurement(int screen_index, double now) {
    Update(now);
    ScreenState& screen = state_.screens[static_cast<size_t>(screen_index)];
    if (screen.measuring)
        throw scpi::Error(scpi::kInitIgnored);
    screen.measuring = true;
    screen.measurement_end = now + MeasurementDuration(screen) * time_scale_;
    Update(now);  // an instant measurement is complete at once
}

void Instrument::AbortMeasurements() {
    for (ScreenState& screen : state_.screens)
        screen.measuring = false;
}

void Instrument::StartCalibration(double now) {
    GlobalState& global = state_.global;
    global.calibrating = true;
    global.calibration_end = now + kCalibrationSeconds * time_scale_;
    Update(now);
}

void Instrument::ArmOperationComplete() {
    operation_complete_armed_ = true;
    if (!OperationsPending()) {
        operation_complete_armed_ = false;
        status_.SetEventStatusBits(scpi::kEsrOperationComplete);
    }
}

void Instrument::Reset() {
    ResetInstrument(state_, *model_);
    operation_complete_armed_ = false;
}

uint64_t Instrument::SweepSeed(int screen_index, uint64_t sweep_number) const {
    NoiseSource mix(0x5EED0000ULL + static_cast<uint64_t>(screen_index) * 0x1000003ULL);
    return mix.Next() ^ (sweep_number * 0x9E3779B97F4A7C15ULL);
}

void Instrument::RunSweeps(int screen_index, int count, bool restart) {
    ScreenState& screen = state_.screens[static_cast<size_t>(screen_index)];
    bool accumulates = false;
    for (const TraceState& trace : screen.traces) {
        if (trace.mode == kTraceMaxHold || trace.mode == kTraceMinHold ||
            trace.mode == kTraceAverage)
            accumulates = true;
    }
    int computed = accumulates ? std::min(count, kMaxComputedSweeps) : 1;
    screen.sweep_number += static_cast<uint64_t>(count - computed);
    const int average_limit = screen.sweep_count > 0 ? screen.sweep_count : kDefaultAverageCount;
    for (int k = 0; k < computed; ++k) {
        const std::vector<float> sweep =
            GenerateSweep(screen, SweepSeed(screen_index, screen.sweep_number++));
        const bool first = restart && k == 0;
        for (TraceState& trace : screen.traces) {
            const bool fresh = first || trace.accumulated == 0 || trace.data.size() != sweep.size();
            switch (trace.mode) {
                case kTraceWrite:
                    trace.data = sweep;
                    trace.accumulated = 1;
                    break;
                case kTraceMaxHold:
                case kTraceMinHold:
                    if (fresh) {
                        trace.data = sweep;
                        trace.accumulated = 1;
                        break;
                    }
                    for (size_t i = 0; i < sweep.size(); ++i) {
                        trace.data[i] = trace.mode == kTraceMaxHold
                                            ? std::max(trace.data[i], sweep[i])
                                            : std::min(trace.data[i], sweep[i]);
                    }
                    ++trace.accumulated;
                    break;
                case kTraceAverage: {
                    if (fresh) {
                        trace.data = sweep;
                        trace.accumulated = 1;
                        break;
                    }
                    trace.accumulated = std::min(trace.accumulated + 1, average_limit);
                    const float n = static_cast<float>(trace.accumulated);
                    for (size_t i = 0; i < sweep.size(); ++i)
                        trace.data[i] += (sweep[i] - trace.data[i]) / n;
                    break;
                }
                default:
                    break;  // view and blank keep their data
            }
        }
    }
    // Signal track: marker 1 follows the highest signal and the center follows marker 1.
    MarkerState& marker = screen.markers[0];
    if (screen.signal_track && marker.mode != kMarkerOff) {
        const TraceState& trace = screen.traces[static_cast<size_t>(marker.trace - 1)];
        PeakCriteria criteria{screen.peak_excursion, std::nullopt};
        if (const auto peak = FindHighest(trace.data, criteria)) {
            marker.x = PointFrequency(screen, *peak, trace.data.size());
            marker.positioned = true;
            SetCenterFrequency(screen, *model_, marker.x);
            ApplyCouplings(screen);
        }
    }
}

void Instrument::PrepareTraces(int screen_index, double now) {
    Update(now);
    ScreenState& screen = state_.screens[static_cast<size_t>(screen_index)];
    if (screen.continuous && !screen.measuring && ScreenShown(screen_index)) {
        // One sweep per elapsed sweep time; every unit of a message sees the same sweep
        // (they share their clock time), also when sweeps are instant. A hidden screen
        // does not sweep: its traces keep what they showed.
        const double sweep = screen.sweep_time * time_scale_;
        if (now > screen.last_continuous_sweep && now - screen.last_continuous_sweep >= sweep) {
            RunSweeps(screen_index, 1, false);
            screen.last_continuous_sweep = now;
        }
    }
    for (TraceState& trace : screen.traces) {
        if (trace.data.size() != static_cast<size_t>(screen.sweep_points)) {
            // The point count changed (or nothing was swept yet): the trace shows a new sweep.
            trace.data = GenerateSweep(screen, SweepSeed(screen_index, screen.sweep_number++));
            trace.accumulated = 1;
        }
    }
}

const std::vector<float>& Instrument::TraceValues(int screen_index, int trace, double now) {
    PrepareTraces(screen_index, now);
    return state_.screens[static_cast<size_t>(screen_index)]
        .traces[static_cast<size_t>(trace - 1)]
        .data;
}

int Instrument::OperationCondition() const {
    int condition = 0;
    if (state_.global.calibrating)
        condition |= 1;
    for (int i = 0; i < kScreenCount; ++i) {
        const ScreenState& screen = state_.screens[static_cast<size_t>(i)];
        if (screen.measuring || (screen.continuous && ScreenShown(i)))
            condition |= 8;
    }
    return condition;
}

bool Instrument::ScreenShown(int screen_index) const {
    // In single-screen format only the selected screen is shown.
    return state_.global.display_format == kDisplaySplit ||
           state_.global.selected_window == screen_index + 1;
}

}  // namespace tevo::emulator

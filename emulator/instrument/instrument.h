// The analyzer: its state, status model and command table, executing program messages.
// A message runs unit by unit; a unit that has to wait for pending operations (*OPC?,
// *WAI, *CAL?) leaves the message unfinished, and the caller continues it when time has
// passed. Sweeps and calibrations take their nominal time multiplied by the time scale,
// measured on the caller's clock (seconds). Not thread-safe: the owner serialises access.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "instrument/instrument_state.h"
#include "instrument/models.h"
#include "instrument/status_model.h"
#include "scpi/program_message.h"

namespace tevo::emulator {

struct Identity {
    std::string model{kDefaultModel};
    std::string serial{kDefaultSerial};
    std::string firmware{kDefaultFirmware};
};

// One program message on its way through the analyzer.
struct Execution {
    std::string message;
    // Offset and length of each unit in message (offsets, so that an Execution can be
    // moved or copied freely).
    std::vector<std::pair<size_t, size_t>> units;
    size_t next = 0;                     // the unit to run next
    int phase = 0;                       // resume state of a unit that waits
    std::vector<scpi::Keyword> path;     // the current header path
    std::vector<std::string> responses;  // response data units so far
    bool indefinite_response = false;

    std::string_view Unit(size_t index) const {
        return std::string_view(message).substr(units[index].first, units[index].second);
    }
};

class Instrument {
  public:
    // Throws std::invalid_argument for an unknown model, a negative time scale, or a serial
    // number or firmware revision that cannot be an *IDN? field (IdentityFieldProblem).
    Instrument(Identity identity, double time_scale);

    const Identity& identity() const { return identity_; }
    const ModelInfo& model() const { return *model_; }
    double time_scale() const { return time_scale_; }
    InstrumentState& state() { return state_; }
    StatusModel& status() { return status_; }

    // Prepares a message for Continue.
    static void Begin(Execution& execution, std::string message);
    // Runs units until the message is complete (true) or a unit waits (false).
    bool Continue(Execution& execution, double now);
    // Whether an unfinished message has response data or queries still to run.
    static bool ExpectsResponse(const Execution& execution);
    // A new message arrived while this one waited with a response due: IEEE 488.2 query
    // error -410; the rest of the message and its response are discarded.
    void Interrupt(Execution& execution);
    // The response message: the response units joined by ';' and a line feed, or empty.
    static std::string ResponseMessage(const Execution& execution);
    // A message was longer than the input buffer: -363.
    void ReportInputOverrun();

    // Completes the measurements and calibrations whose time is up.
    void Update(double now);
    // The clock time at which a pending operation ends (infinity when none is pending).
    double NextEventTime() const;

    // Operations for the command handlers.
    bool OperationsPending() const;
    // Starts a measurement of sweep-count sweeps on a screen; -213 when one is running.
    void StartMeasurement(int screen_index, double now);
    void AbortMeasurements();
    void StartCalibration(double now);
    // *OPC: the operation complete bit is set once no operation is pending.
    void ArmOperationComplete();
    void Reset();
    // Brings the traces of a screen up to date: completed measurements, a sweep in
    // continuous mode when one is due and the screen is shown, traces that do not have the
    // current point count.
    void PrepareTraces(int screen_index, double now);
    // The values of trace 1..6 of a screen after PrepareTraces.
    const std::vector<float>& TraceValues(int screen_index, int trace, double now);
    // STATus:OPERation:CONDition bits: 1 calibrating, 8 sweeping (a measurement runs, or a
    // shown screen sweeps continuously).
    int OperationCondition() const;
    // Whether a screen is on the display: both in split format, else the selected one. Only
    // shown screens sweep continuously.
    bool ScreenShown(int screen_index) const;

  private:
    bool RunUnit(Execution& execution, std::string_view text, double now);
    void Fail(Execution& execution, int code, const std::string& detail);
    void RunSweeps(int screen_index, int count, bool restart);
    uint64_t SweepSeed(int screen_index, uint64_t sweep_number) const;

    Identity identity_;
    const ModelInfo* model_;
    double time_scale_;
    InstrumentState state_;
    StatusModel status_;
    bool operation_complete_armed_ = false;
};

}  // namespace tevo::emulator

// The settings and data of the analyzer: two independent screens (windows 1 and 2) with
// their frequency, level, bandwidth, sweep, trigger, marker, service and trace state, and
// the settings that belong to the whole instrument.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "instrument/models.h"

namespace tevo::emulator {

// Enumerated settings are kept as int; these are their values.
enum DetectorValue : int {
    kDetectorAutoPeak = 1,
    kDetectorAverage = 2,
    kDetectorMaxPeak = 3,
    kDetectorMinPeak = 4,
    kDetectorSample = 5,
    kDetectorRms = 6,
};
enum AmplitudeUnitValue : int {
    kUnitDbm = 1,
    kUnitDbmv = 2,
    kUnitDbuv = 3,
    kUnitVolt = 4,
    kUnitWatt = 5
};
enum VerticalScaleValue : int { kScaleLinear = 1, kScaleLogarithmic = 2 };
enum TriggerSourceValue : int {
    kTriggerExternal = 1,
    kTriggerImmediate = 2,
    kTriggerVideo = 3,
    kTriggerTv = 5,
    kTriggerIfPower = 1001,
    kTriggerRfPower = 1002,
};
enum SlopeValue : int { kSlopePositive = 1, kSlopeNegative = 2 };
enum ServiceInputValue : int { kInputRf = 0, kInputCalibration = 1 };
enum TraceModeValue : int {
    kTraceWrite = 1,
    kTraceMaxHold = 2,
    kTraceMinHold = 3,
    kTraceAverage = 4,
    kTraceView = 5,
    kTraceBlank = 6,
};
enum MarkerModeValue : int { kMarkerOff = 0, kMarkerNormal = 1, kMarkerDelta = 2 };
enum DataFormatValue : int { kFormatAscii = 0, kFormatReal = 1 };
enum ByteOrderValue : int { kByteOrderNormal = 0, kByteOrderSwapped = 1 };
enum DisplayFormatValue : int { kDisplaySingle = 0, kDisplaySplit = 1 };

inline constexpr int kScreenCount = 2;
inline constexpr int kMarkerCount = 4;
inline constexpr int kTraceCount = 6;

struct MarkerState {
    int mode = kMarkerOff;
    double x = 0;             // frequency as displayed (offset included)
    bool positioned = false;  // x was set or found by a search since the last reset
    int trace = 1;
};

struct TraceState {
    int mode = kTraceBlank;
    std::vector<float> data;  // dBm as displayed (reference offset included), one per point
    int accumulated = 0;      // sweeps combined into data since the last reset (hold, average)
};

// Two instances exist; the fields stay grouped by topic rather than packed by size.
struct ScreenState {  // NOLINT(clang-analyzer-optin.performance.Padding)
    // Frequency (Hz). Start and stop are as displayed: the frequency offset is included.
    double start = 0;
    double stop = 0;
    double frequency_offset = 0;

    // Level. The reference level is in dBm as displayed (reference offset included).
    double reference_level = -20;
    double reference_offset = 0;
    int amplitude_unit = kUnitDbm;
    double impedance = 50;
    double attenuation = 10;
    bool attenuation_auto = true;
    double electronic_attenuation = 0;
    bool electronic_attenuation_auto = true;
    bool electronic_attenuation_enabled = false;
    bool preamplifier = false;
    int vertical_scale = kScaleLogarithmic;

    // Bandwidths and sweep.
    double rbw = 3e6;
    bool rbw_auto = true;
    double vbw = 3e6;
    bool vbw_auto = true;
    double sweep_time = 0.0025;
    bool sweep_time_auto = true;
    int sweep_count = 0;
    int sweep_points = 501;
    int detector = kDetectorAutoPeak;
    bool detector_auto = true;
    bool continuous = true;

    // Trigger. Levels in dBm.
    int trigger_source = kTriggerImmediate;
    int trigger_slope = kSlopePositive;
    double trigger_if_level = -20;
    double trigger_rf_level = -20;
    double trigger_video_level = -50;

    // Markers.
    std::array<MarkerState, kMarkerCount> markers{};
    double peak_excursion = 6;  // dB
    double threshold = -120;    // dBm
    bool threshold_enabled = false;
    bool counter_enabled = false;
    double counter_resolution = 1000;  // Hz
    bool signal_track = false;
    double delta_reference_x = 0;  // fixed reference point of delta markers
    double delta_reference_y = 0;  // dBm

    // Service.
    int service_input = kInputRf;
    bool noise_source = false;

    std::array<TraceState, kTraceCount> traces{};

    // Measurement in progress (single sweeps started by INIT or *TRG).
    bool measuring = false;
    double measurement_end = 0;        // clock time
    double last_continuous_sweep = 0;  // clock time of the last sweep in continuous mode
    uint64_t sweep_number = 0;         // sweeps taken since the last reset: seeds the noise
};

struct GlobalState {
    int data_format = kFormatAscii;
    int real_length = 32;
    int byte_order = kByteOrderSwapped;  // little-endian binary data
    int display_format = kDisplaySingle;
    bool display_update = false;
    int selected_window = 1;

    bool service_level = false;  // the service password was given
    std::string last_service_function;

    bool calibrating = false;
    double calibration_end = 0;  // clock time
    std::string calibration_result = "NOT CALIBRATED";
};

struct InstrumentState {
    std::array<ScreenState, kScreenCount> screens{};
    GlobalState global;
};

// *RST settings of one screen of the model. Traces are emptied (they fill at the next
// sweep or read) and measurements stop.
void ResetScreen(ScreenState& screen, const ModelInfo& model);
// *RST settings of the instrument. Service level and calibration results stay.
void ResetInstrument(InstrumentState& state, const ModelInfo& model);

}  // namespace tevo::emulator

// The couplings between analyzer settings: bandwidths and sweep time that follow span,
// attenuation that follows the reference level, and the frequency settings that keep
// start <= stop inside the model's range.
#pragma once

#include "instrument/instrument_state.h"

namespace tevo::emulator {

inline constexpr double kMinResolutionBandwidth = 10;
inline constexpr double kMaxResolutionBandwidth = 10e6;
inline constexpr double kMinVideoBandwidth = 1;
inline constexpr double kMaxVideoBandwidth = 10e6;
inline constexpr double kMinSweepTime = 1e-6;
inline constexpr double kMaxSweepTime = 16000;
inline constexpr double kMaxAttenuation = 70;
inline constexpr double kMaxElectronicAttenuation = 30;
inline constexpr double kMaxFrequencyOffset = 100e9;
// Span divided by this ratio gives the coupled resolution bandwidth.
inline constexpr double kSpanToRbwRatio = 300;

// The member of the 1, 3, 10, 30, ... sequence nearest to value on a logarithmic scale,
// limited to [min, max].
double NearestOneThree(double value, double min, double max);
// The largest member of the 1-3 sequence not above value, limited to [min, max].
double FloorOneThree(double value, double min, double max);
// The power of ten nearest to value on a logarithmic scale, limited to [min, max].
double NearestDecade(double value, double min, double max);
// value rounded to a multiple of step.
double NearestStep(double value, double step);

double AutoResolutionBandwidth(const ScreenState& screen);
double AutoSweepTime(const ScreenState& screen);
double AutoAttenuation(const ScreenState& screen);

// Recomputes every setting whose auto coupling is on.
void ApplyCouplings(ScreenState& screen);

// Nominal duration in seconds of one measurement: the sweep time times the sweep count
// (at least one sweep).
double MeasurementDuration(const ScreenState& screen);

// Frequency settings. Values are as displayed (offset included) and already checked
// against FrequencyLimits; the other settings follow so that start <= stop stays inside
// the range.
struct FrequencyLimits {
    double min;
    double max;
};
FrequencyLimits DisplayedFrequencyRange(const ScreenState& screen, const ModelInfo& model);
void SetStartFrequency(ScreenState& screen, double value);
void SetStopFrequency(ScreenState& screen, double value);
void SetCenterFrequency(ScreenState& screen, const ModelInfo& model, double value);
void SetSpan(ScreenState& screen, const ModelInfo& model, double value);
// Moves start and stop with the offset so that the analyzed band stays the same.
void SetFrequencyOffset(ScreenState& screen, double value);
// Moves the reference level with its offset so that the hardware setting stays the same.
void SetReferenceOffset(ScreenState& screen, double value);

}  // namespace tevo::emulator

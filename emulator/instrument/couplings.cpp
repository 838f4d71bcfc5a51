#include "instrument/couplings.h"

#include <algorithm>
#include <cmath>

namespace tevo::emulator {
namespace {

double OneThreeMember(int index) {
    // index 2k -> 10^k, index 2k+1 -> 3 * 10^k
    const int decade = index >= 0 ? index / 2 : -((-index + 1) / 2);
    const bool three = (index - 2 * decade) == 1;
    return (three ? 3.0 : 1.0) * std::pow(10.0, decade);
}

int OneThreeIndexBelow(double value) {
    // The index of the largest member <= value.
    const int decade = static_cast<int>(std::floor(std::log10(value) + 1e-12));
    int index = 2 * decade;
    if (value >= 3.0 * std::pow(10.0, decade) * (1 - 1e-12))
        ++index;
    return index;
}

}  // namespace

double NearestOneThree(double value, double min, double max) {
    if (!(value > 0))
        return min;
    const int below = OneThreeIndexBelow(value);
    const double lo = OneThreeMember(below);
    const double hi = OneThreeMember(below + 1);
    const double pick =
        (std::log(value) - std::log(lo) <= std::log(hi) - std::log(value)) ? lo : hi;
    return std::clamp(pick, min, max);
}

double FloorOneThree(double value, double min, double max) {
    if (!(value > 0))
        return min;
    return std::clamp(OneThreeMember(OneThreeIndexBelow(value)), min, max);
}

double NearestDecade(double value, double min, double max) {
    if (!(value > 0))
        return min;
    return std::clamp(std::pow(10.0, std::round(std::log10(value))), min, max);
}

double NearestStep(double value, double step) {
    return std::round(value / step) * step;
}

double AutoResolutionBandwidth(const ScreenState& screen) {
    const double span = screen.stop - screen.start;
    if (span <= 0)
        return screen.rbw;  // zero span keeps the bandwidth it has
    return FloorOneThree(span / kSpanToRbwRatio, kMinResolutionBandwidth, kMaxResolutionBandwidth);
}

double AutoSweepTime(const ScreenState& screen) {
    const double span = screen.stop - screen.start;
    if (span <= 0)
        return 1e-3;
    // A swept analyzer needs about k * span / (RBW * min(RBW, VBW)) to settle its filters.
    const double settle = 2.5 * span / (screen.rbw * std::min(screen.rbw, screen.vbw));
    return std::clamp(settle, 2.5e-3, kMaxSweepTime);
}

double AutoAttenuation(const ScreenState& screen) {
    // Keep the mixer level about 10 dB below the reference level, in 10 dB steps, with at
    // least 10 dB to protect the input.
    const double hardware_reference = screen.reference_level - screen.reference_offset;
    const double needed = 10.0 * std::ceil((hardware_reference + 10.0) / 10.0 - 1e-9);
    return std::clamp(needed, 10.0, kMaxAttenuation);
}

void ApplyCouplings(ScreenState& screen) {
    if (screen.rbw_auto)
        screen.rbw = AutoResolutionBandwidth(screen);
    if (screen.vbw_auto)
        screen.vbw = std::clamp(screen.rbw, kMinVideoBandwidth, kMaxVideoBandwidth);
    if (screen.sweep_time_auto)
        screen.sweep_time = AutoSweepTime(screen);
    if (screen.attenuation_auto)
        screen.attenuation = AutoAttenuation(screen);
    if (screen.electronic_attenuation_auto)
        screen.electronic_attenuation = 0;
    if (screen.detector_auto)
        screen.detector = kDetectorAutoPeak;
}

double MeasurementDuration(const ScreenState& screen) {
    return screen.sweep_time * std::max(1, screen.sweep_count);
}

FrequencyLimits DisplayedFrequencyRange(const ScreenState& screen, const ModelInfo& model) {
    return {screen.frequency_offset, model.max_frequency + screen.frequency_offset};
}

void SetStartFrequency(ScreenState& screen, double value) {
    screen.start = value;
    if (screen.stop < value)
        screen.stop = value;
}

void SetStopFrequency(ScreenState& screen, double value) {
    screen.stop = value;
    if (screen.start > value)
        screen.start = value;
}

void SetCenterFrequency(ScreenState& screen, const ModelInfo& model, double value) {
    const FrequencyLimits range = DisplayedFrequencyRange(screen, model);
    const double span =
        std::min({screen.stop - screen.start, 2 * (value - range.min), 2 * (range.max - value)});
    screen.start = value - span / 2;
    screen.stop = value + span / 2;
}

void SetSpan(ScreenState& screen, const ModelInfo& model, double value) {
    const FrequencyLimits range = DisplayedFrequencyRange(screen, model);
    double center = (screen.start + screen.stop) / 2;
    center = std::clamp(center, range.min + value / 2, range.max - value / 2);
    screen.start = center - value / 2;
    screen.stop = center + value / 2;
}

void SetFrequencyOffset(ScreenState& screen, double value) {
    const double delta = value - screen.frequency_offset;
    screen.frequency_offset = value;
    screen.start += delta;
    screen.stop += delta;
    for (MarkerState& marker : screen.markers)
        marker.x += delta;
    screen.delta_reference_x += delta;
}

void SetReferenceOffset(ScreenState& screen, double value) {
    const double delta = value - screen.reference_offset;
    screen.reference_offset = value;
    screen.reference_level += delta;
}

}  // namespace tevo::emulator

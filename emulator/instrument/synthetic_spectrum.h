// The synthetic spectrum at the analyzer's input and what one sweep of it shows: a noise
// floor set by resolution bandwidth, attenuation and preamplifier, a few carriers seen
// through a Gaussian resolution filter, the detector's view of noise and signals within
// each trace point, and the reference level's overload limit. The noise is pseudo-random
// from a seed, so the same settings and seed give the same sweep.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "instrument/instrument_state.h"

namespace tevo::emulator {

struct Carrier {
    double frequency;  // Hz, at the input
    double level;      // dBm
};

// The carriers at the RF input and at the internal calibration source.
std::span<const Carrier> InputCarriers();
std::span<const Carrier> CalibrationCarriers();

// Displayed average noise level in dBm for the screen's bandwidth and input settings
// (reference offset included).
double NoiseFloor(const ScreenState& screen);

// One sweep with the screen's settings: one value per point in dBm as displayed
// (reference offset included).
std::vector<float> GenerateSweep(const ScreenState& screen, uint64_t seed);

// Frequency of trace point index for the screen's start, stop and point count.
double PointFrequency(const ScreenState& screen, size_t index, size_t points);

// The carrier nearest to a displayed frequency within the resolution bandwidth, as the
// frequency counter finds it; the frequency itself when none is near.
double CountedFrequency(const ScreenState& screen, double displayed_frequency);

// Deterministic pseudo-random numbers (SplitMix64), identical on every platform.
class NoiseSource {
  public:
    explicit NoiseSource(uint64_t seed) : state_(seed) {}
    uint64_t Next();
    // Uniform in (0, 1).
    double Uniform();
    // Standard normal.
    double Gaussian();

  private:
    uint64_t state_;
};

}  // namespace tevo::emulator

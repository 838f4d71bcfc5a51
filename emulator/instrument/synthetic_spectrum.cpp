#include "instrument/synthetic_spectrum.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace tevo::emulator {
namespace {

constexpr std::array<Carrier, 9> kInputCarriers = {{
    {100.0e6, -20.0},
    {250.0e6, -45.0},
    {1.0e9, -30.0},
    {1.85e9, -60.0},
    {2.4e9, -40.0},
    {5.8e9, -35.0},
    {9.5e9, -50.0},
    {18.0e9, -45.0},
    {28.0e9, -55.0},
}};

constexpr std::array<Carrier, 1> kCalibrationCarriers = {{{128.0e6, -30.0}}};

constexpr double kNoiseDensity = -154.0;  // dBm/Hz at the input with 10 dB attenuation
constexpr double kPreamplifierGain = 15.0;
constexpr double kAdcRange = 100.0;       // dB between reference level and ADC noise in 1 MHz
constexpr double kOverloadMargin = 10.0;  // the trace cannot show more than this above reference
constexpr double kPi = 3.14159265358979323846;

double ToLinear(double dbm) {
    return std::pow(10.0, dbm / 10.0);
}

// Relative response of a Gaussian filter whose -3 dB bandwidth is rbw at offset df.
double FilterResponse(double df, double rbw) {
    const double a = 4.0 * std::log(2.0) / (rbw * rbw);
    return std::exp(-a * df * df);
}

// Mean response over [lo, hi] relative to a carrier at f.
double AverageResponse(double f, double lo, double hi, double rbw) {
    const double width = hi - lo;
    if (width <= rbw * 1e-3)
        return FilterResponse((lo + hi) / 2 - f, rbw);
    const double root_a = std::sqrt(4.0 * std::log(2.0)) / rbw;
    return std::sqrt(kPi) / (2.0 * root_a * width) *
           (std::erf(root_a * (hi - f)) - std::erf(root_a * (lo - f)));
}

}  // namespace

uint64_t NoiseSource::Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

double NoiseSource::Uniform() {
    // 53 random bits, never 0 or 1.
    return (static_cast<double>(Next() >> 11) + 0.5) * (1.0 / 9007199254740992.0);
}

double NoiseSource::Gaussian() {
    const double u1 = Uniform();
    const double u2 = Uniform();
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * kPi * u2);
}

std::span<const Carrier> InputCarriers() {
    return kInputCarriers;
}
std::span<const Carrier> CalibrationCarriers() {
    return kCalibrationCarriers;
}

double NoiseFloor(const ScreenState& screen) {
    const double input_attenuation =
        screen.attenuation +
        (screen.electronic_attenuation_enabled ? screen.electronic_attenuation : 0);
    double thermal = kNoiseDensity + 10.0 * std::log10(screen.rbw) + (input_attenuation - 10.0);
    if (screen.preamplifier)
        thermal -= kPreamplifierGain;
    if (screen.noise_source)
        thermal += 5.0;  // the noise source couples a little into the input path
    const double hardware_reference = screen.reference_level - screen.reference_offset;
    const double adc = hardware_reference - kAdcRange + 10.0 * std::log10(screen.rbw / 1e6);
    return 10.0 * std::log10(ToLinear(thermal) + ToLinear(adc)) + screen.reference_offset;
}

double PointFrequency(const ScreenState& screen, size_t index, size_t points) {
    if (points < 2)
        return screen.start;
    return screen.start + (screen.stop - screen.start) * static_cast<double>(index) /
                              static_cast<double>(points - 1);
}

std::vector<float> GenerateSweep(const ScreenState& screen, uint64_t seed) {
    const size_t points = static_cast<size_t>(std::max(1, screen.sweep_points));
    std::vector<float> values(points);
    NoiseSource noise(seed);
    const std::span<const Carrier> carriers =
        screen.service_input == kInputCalibration ? CalibrationCarriers() : InputCarriers();
    const double span = screen.stop - screen.start;
    const double bin = points > 1 ? span / static_cast<double>(points - 1) : 0;
    // Independent noise samples that a detector sees within one point.
    const double cells = std::clamp(bin / screen.rbw, 1.0, 1000.0);
    const double video_cells = std::clamp(screen.rbw / screen.vbw, 1.0, 1000.0);
    const double noise_mw = ToLinear(NoiseFloor(screen) - screen.reference_offset);
    const double limit = screen.reference_level + kOverloadMargin;

    for (size_t i = 0; i < points; ++i) {
        const double f = PointFrequency(screen, i, points) - screen.frequency_offset;
        const double lo = f - bin / 2;
        const double hi = f + bin / 2;
        double signal_mw = 0;
        for (const Carrier& carrier : carriers) {
            // Carriers far outside the filter contribute nothing visible.
            if (carrier.frequency < lo - 20 * screen.rbw ||
                carrier.frequency > hi + 20 * screen.rbw)
                continue;
            double response = 0;
            switch (screen.detector) {
                case kDetectorAutoPeak:
                case kDetectorMaxPeak:
                    response = FilterResponse(
                        std::clamp(carrier.frequency, lo, hi) - carrier.frequency, screen.rbw);
                    break;
                case kDetectorMinPeak: {
                    const double far = std::max(std::abs(lo - carrier.frequency),
                                                std::abs(hi - carrier.frequency));
                    response = FilterResponse(far, screen.rbw);
                    break;
                }
                case kDetectorAverage:
                case kDetectorRms:
                    response = AverageResponse(carrier.frequency, lo, hi, screen.rbw);
                    break;
                default:
                    response = FilterResponse(f - carrier.frequency, screen.rbw);
                    break;
            }
            signal_mw += ToLinear(carrier.level) * response;
        }
        // Noise power relative to its mean, as the detector reports it.
        double factor = 1;
        const double u = noise.Uniform();
        switch (screen.detector) {
            case kDetectorAutoPeak:
            case kDetectorMaxPeak:
                factor = -std::log(1.0 - std::pow(u, 1.0 / cells));
                break;
            case kDetectorMinPeak:
                factor = -std::log(u) / cells;
                break;
            case kDetectorAverage:
            case kDetectorRms:
                factor = std::max(0.01, 1.0 + noise.Gaussian() / std::sqrt(cells * video_cells));
                break;
            default:
                factor = video_cells > 1
                             ? std::max(0.01, 1.0 + noise.Gaussian() / std::sqrt(video_cells))
                             : -std::log(u);
                break;
        }
        const double level =
            10.0 * std::log10(signal_mw + noise_mw * factor) + screen.reference_offset;
        values[i] = static_cast<float>(std::min(level, limit));
    }
    return values;
}

double CountedFrequency(const ScreenState& screen, double displayed_frequency) {
    const std::span<const Carrier> carriers =
        screen.service_input == kInputCalibration ? CalibrationCarriers() : InputCarriers();
    const double f = displayed_frequency - screen.frequency_offset;
    for (const Carrier& carrier : carriers) {
        if (std::abs(carrier.frequency - f) <= screen.rbw)
            return carrier.frequency + screen.frequency_offset;
    }
    return displayed_frequency;
}

}  // namespace tevo::emulator

#include "instrument/synthetic_spectrum.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "instrument/couplings.h"

using namespace tevo::emulator;

namespace {

// A 10 MHz span around a frequency, the other settings as after a reset.
ScreenState Around(double center, double span = 10e6) {
    ScreenState screen;
    ResetScreen(screen, *FindModel("KLC"));
    SetStartFrequency(screen, center - span / 2);
    SetStopFrequency(screen, center + span / 2);
    ApplyCouplings(screen);
    return screen;
}

float Median(std::vector<float> values) {
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

}  // namespace

TEST(Spectrum, SameSeedSameSweepAndPointCountFollowsSettings) {
    ScreenState screen = Around(1e9);
    const std::vector<float> a = GenerateSweep(screen, 42);
    EXPECT_EQ(a, GenerateSweep(screen, 42));
    EXPECT_NE(a, GenerateSweep(screen, 43));
    screen.sweep_points = 101;
    EXPECT_EQ(GenerateSweep(screen, 42).size(), 101u);
    NoiseSource noise(7);
    for (int i = 0; i < 1000; ++i) {
        const double u = noise.Uniform();
        ASSERT_GT(u, 0.0);
        ASSERT_LT(u, 1.0);
    }
}

TEST(Spectrum, CarriersShowAtTheirLevelAndTheNoiseFollowsTheInputSettings) {
    ScreenState screen = Around(1e9);  // the -30 dBm carrier in the middle
    const std::vector<float> sweep = GenerateSweep(screen, 1);
    const auto peak = std::max_element(sweep.begin(), sweep.end());
    EXPECT_NEAR(*peak, -30.0f, 0.5f);
    EXPECT_EQ(static_cast<size_t>(peak - sweep.begin()), sweep.size() / 2);
    const float floor = Median(sweep);
    EXPECT_LT(floor, -80.0f);

    // Noise: 10 dB per decade of resolution bandwidth, up with attenuation, down with the
    // preamplifier.
    const double base = NoiseFloor(screen);
    ScreenState narrow = screen;
    narrow.rbw /= 10;
    EXPECT_NEAR(NoiseFloor(narrow), base - 10, 0.5);
    ScreenState attenuated = screen;
    attenuated.attenuation += 20;
    EXPECT_NEAR(NoiseFloor(attenuated), base + 20, 0.5);
    ScreenState preamplified = screen;
    preamplified.preamplifier = true;
    EXPECT_LT(NoiseFloor(preamplified), base - 10);
    // The reference offset shifts every displayed value.
    ScreenState offset = screen;
    offset.reference_offset = 10;
    offset.reference_level += 10;
    const std::vector<float> shifted = GenerateSweep(offset, 1);
    EXPECT_NEAR(*std::max_element(shifted.begin(), shifted.end()), -20.0f, 0.5f);
}

TEST(Spectrum, OverloadLimitDetectorsAndCalibrationInput) {
    ScreenState screen = Around(100e6);  // the -20 dBm carrier
    screen.reference_level = -50;
    ApplyCouplings(screen);
    const std::vector<float> clipped = GenerateSweep(screen, 1);
    EXPECT_FLOAT_EQ(*std::max_element(clipped.begin(), clipped.end()), -40.0f);

    ScreenState wide = Around(1.0011e9, 1e9);  // 2 MHz per point, none on the carrier
    wide.rbw_auto = false;
    wide.rbw = 10e3;  // far narrower than a point: only peak detectors catch the carrier
    ApplyCouplings(wide);
    wide.detector = kDetectorMaxPeak;
    const std::vector<float> peak = GenerateSweep(wide, 5);
    wide.detector = kDetectorSample;
    const std::vector<float> sample = GenerateSweep(wide, 5);
    wide.detector = kDetectorMinPeak;
    const std::vector<float> minimum = GenerateSweep(wide, 5);
    EXPECT_NEAR(*std::max_element(peak.begin(), peak.end()), -30.0f, 0.5f);
    EXPECT_LT(*std::max_element(sample.begin(), sample.end()), -60.0f);
    EXPECT_GT(Median(peak), Median(sample));
    EXPECT_LT(Median(minimum), Median(sample));

    ScreenState calibration = Around(128e6);
    calibration.service_input = kInputCalibration;
    const std::vector<float> cal = GenerateSweep(calibration, 1);
    EXPECT_NEAR(*std::max_element(cal.begin(), cal.end()), -30.0f, 0.5f);
    EXPECT_DOUBLE_EQ(CountedFrequency(calibration, 128.01e6), 128e6);
    EXPECT_DOUBLE_EQ(CountedFrequency(calibration, 140e6), 140e6);
}

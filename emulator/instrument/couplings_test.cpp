#include "instrument/couplings.h"

#include <gtest/gtest.h>

using namespace tevo::emulator;

namespace {

ScreenState FreshScreen(const char* model = "KLC") {
    ScreenState screen;
    ResetScreen(screen, *FindModel(model));
    return screen;
}

}  // namespace

TEST(Couplings, BandwidthAndStepSequences) {
    EXPECT_DOUBLE_EQ(NearestOneThree(4e6, 10, 10e6), 3e6);
    EXPECT_DOUBLE_EQ(NearestOneThree(6e6, 10, 10e6), 10e6);
    EXPECT_DOUBLE_EQ(NearestOneThree(1.6e3, 10, 10e6), 1e3);
    EXPECT_DOUBLE_EQ(NearestOneThree(0.4, 0.1, 10), 0.3);
    EXPECT_DOUBLE_EQ(NearestOneThree(1e9, 10, 10e6), 10e6);
    EXPECT_DOUBLE_EQ(FloorOneThree(9.99e5, 10, 10e6), 3e5);
    EXPECT_DOUBLE_EQ(FloorOneThree(3e5, 10, 10e6), 3e5);
    EXPECT_DOUBLE_EQ(FloorOneThree(1.0, 10, 10e6), 10);
    EXPECT_DOUBLE_EQ(NearestDecade(25, 0.1, 1e4), 10);
    EXPECT_DOUBLE_EQ(NearestDecade(40, 0.1, 1e4), 100);
    EXPECT_DOUBLE_EQ(NearestDecade(400, 0.1, 1e4), 1000);
    EXPECT_DOUBLE_EQ(NearestStep(12, 5), 10);
    EXPECT_DOUBLE_EQ(NearestStep(13, 5), 15);
}

TEST(Couplings, AutoSettingsFollowSpanBandwidthAndReferenceLevel) {
    ScreenState screen = FreshScreen();
    EXPECT_DOUBLE_EQ(screen.rbw, 10e6);  // 13.6 GHz / 300, limited to 10 MHz
    EXPECT_DOUBLE_EQ(screen.vbw, screen.rbw);
    EXPECT_DOUBLE_EQ(screen.attenuation, 10);
    screen.stop = 1e6;  // span 1 MHz: RBW 3 kHz, sweep time 2.5 * 1e6 / 9e6
    ApplyCouplings(screen);
    EXPECT_DOUBLE_EQ(screen.rbw, 3e3);
    EXPECT_NEAR(screen.sweep_time, 2.5e6 / 9e6, 1e-12);
    screen.vbw_auto = false;
    screen.vbw = 300;  // a narrower video filter slows the sweep by RBW / VBW
    ApplyCouplings(screen);
    EXPECT_NEAR(screen.sweep_time, 2.5e6 / (3e3 * 300), 1e-9);
    screen.reference_level = 5;  // mixer 10 dB under reference: 20 dB attenuation
    ApplyCouplings(screen);
    EXPECT_DOUBLE_EQ(screen.attenuation, 20);
    screen.reference_offset = 30;  // the offset does not change the hardware setting
    screen.reference_level = 35;
    ApplyCouplings(screen);
    EXPECT_DOUBLE_EQ(screen.attenuation, 20);
    screen.sweep_count = 4;
    EXPECT_DOUBLE_EQ(MeasurementDuration(screen), 4 * screen.sweep_time);
}

TEST(Couplings, FrequencySettingsKeepStartBelowStopInsideTheRange) {
    const ModelInfo& model = *FindModel("KLA");  // 0 .. 3 GHz
    ScreenState screen = FreshScreen("KLA");
    SetStartFrequency(screen, 2e9);
    SetStopFrequency(screen, 1e9);  // below start: start follows
    EXPECT_DOUBLE_EQ(screen.start, 1e9);
    EXPECT_DOUBLE_EQ(screen.stop, 1e9);
    SetSpan(screen, model, 1e9);  // around the center 1 GHz
    EXPECT_DOUBLE_EQ(screen.start, 0.5e9);
    EXPECT_DOUBLE_EQ(screen.stop, 1.5e9);
    SetCenterFrequency(screen, model, 0.2e9);  // the span shrinks to stay above 0 Hz
    EXPECT_DOUBLE_EQ(screen.start, 0);
    EXPECT_DOUBLE_EQ(screen.stop, 0.4e9);
    SetSpan(screen, model, 3e9);  // the full span moves the center
    EXPECT_DOUBLE_EQ(screen.start, 0);
    EXPECT_DOUBLE_EQ(screen.stop, 3e9);
    SetFrequencyOffset(screen, 1e6);  // the displayed band moves with the offset
    EXPECT_DOUBLE_EQ(screen.start, 1e6);
    EXPECT_DOUBLE_EQ(DisplayedFrequencyRange(screen, model).max, 3e9 + 1e6);
    SetReferenceOffset(screen, 10);
    EXPECT_DOUBLE_EQ(screen.reference_level, -10);
}

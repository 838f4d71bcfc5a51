#include "measure/measurement_request.h"

#include <gtest/gtest.h>

#include "session/errors.h"

namespace tevo::cli {
namespace {

TEST(MeasurementRequest, ConvertsTheTypedSettings) {
    MeasureArguments arguments;
    arguments.center = "1GHz";
    arguments.span = "20 MHz";
    arguments.rbw = "100k";
    arguments.ref = "-10dBm";
    arguments.atten = "20 dB";
    arguments.detector = "Max-Peak";
    arguments.units = "dbuv";
    arguments.timeout = "2.5s";
    arguments.peaks = 3;
    arguments.excursion = "6 dB";
    const MeasurementRequest request = ParseMeasureArguments(arguments);
    EXPECT_EQ(request.center, 1e9);
    EXPECT_EQ(request.span, 20e6);
    EXPECT_FALSE(request.start.has_value());
    EXPECT_EQ(request.rbw, 100e3);
    EXPECT_FALSE(request.vbw.has_value());
    EXPECT_EQ(request.reference, -10);
    EXPECT_EQ(request.attenuation, 20);
    EXPECT_EQ(request.detector, TevoDetectorTypeMaxPeak);
    EXPECT_EQ(request.units, TevoAmplitudeUnitsDBUV);
    EXPECT_EQ(request.max_time_ms, 2500);
    EXPECT_EQ(request.peaks, 3);
    EXPECT_EQ(request.peak_excursion, 6);
}

TEST(MeasurementRequest, EverySettingIsOptional) {
    const MeasurementRequest request = ParseMeasureArguments({});
    EXPECT_FALSE(request.center || request.span || request.start || request.stop || request.rbw ||
                 request.vbw || request.reference || request.attenuation || request.detector ||
                 request.units);
    EXPECT_EQ(request.max_time_ms, 10000);
    EXPECT_EQ(request.peak_excursion, 15);
}

TEST(MeasurementRequest, RefusesWhatCannotBeMeasured) {
    auto refused = [](void (*change)(MeasureArguments&)) {
        MeasureArguments arguments;
        change(arguments);
        EXPECT_THROW(ParseMeasureArguments(arguments), UsageError);
    };
    refused([](MeasureArguments& a) { a.center = "1GHz"; });  // without a span
    refused([](MeasureArguments& a) { a.span = "1GHz"; });
    refused([](MeasureArguments& a) {
        a.center = "1GHz";
        a.span = "1MHz";
        a.start = "0";
    });
    refused([](MeasureArguments& a) { a.rbw = "10dBm"; });
    refused([](MeasureArguments& a) { a.ref = "1GHz"; });
    refused([](MeasureArguments& a) { a.atten = "10dBm"; });
    refused([](MeasureArguments& a) { a.detector = "peakiest"; });
    refused([](MeasureArguments& a) { a.units = "furlong"; });
    refused([](MeasureArguments& a) { a.timeout = "0"; });
    refused([](MeasureArguments& a) { a.timeout = "4000s"; });
    refused([](MeasureArguments& a) { a.peaks = -1; });
    refused([](MeasureArguments& a) { a.peaks = 21; });
    refused([](MeasureArguments& a) { a.excursion = "81dB"; });
    refused([](MeasureArguments& a) { a.excursion = "-1"; });
}

}  // namespace
}  // namespace tevo::cli

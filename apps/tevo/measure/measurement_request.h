// What `tevo measure` was asked to set up, parsed from the command line's text: each
// setting is optional (left as the analyzer has it when not given), frequencies and
// levels in base units, detector and amplitude unit as the driver's enumeration values.
#pragma once

#include <optional>
#include <string>

#include "tevo/Tevo.h"

namespace tevo::cli {

// The command line's text, as typed.
struct MeasureArguments {
    std::string center, span, start, stop;
    std::string rbw, vbw, ref, atten;
    std::string detector, units;
    std::string timeout = "10s";
    std::string excursion = "15dB";
    int peaks = 5;
};

struct MeasurementRequest {
    std::optional<double> center, span, start, stop;
    std::optional<double> rbw, vbw, reference, attenuation;
    std::optional<TevoDetectorTypeEnum> detector;
    std::optional<TevoAmplitudeUnitsEnum> units;
    LONG max_time_ms = 10000;
    int peaks = 5;
    // How far a peak must rise above its surroundings to count, so that noise is no peak.
    double peak_excursion = 15;
};

// The request, or UsageError naming the value that is wrong: values that are not numbers
// with fitting units, --center/--span mixed with --start/--stop, unknown detector or unit
// names, a peak count outside 0..20, a peak excursion outside 0..80 dB.
MeasurementRequest ParseMeasureArguments(const MeasureArguments& arguments);

// Names as the user types them and as the settings show them.
std::optional<TevoDetectorTypeEnum> DetectorFromName(const std::string& name);
std::optional<TevoAmplitudeUnitsEnum> AmplitudeUnitsFromName(const std::string& name);
std::string DetectorName(TevoDetectorTypeEnum detector);
std::string AmplitudeUnitsName(TevoAmplitudeUnitsEnum units);

}  // namespace tevo::cli

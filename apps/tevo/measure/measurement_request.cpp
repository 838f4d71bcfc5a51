#include "measure/measurement_request.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

#include "session/errors.h"
#include "units/engineering_value.h"

namespace tevo::cli {

namespace {

constexpr int kMostPeaks = 20;

constexpr std::array<std::pair<const char*, TevoDetectorTypeEnum>, 6> kDetectors = {{
    {"autopeak", TevoDetectorTypeAutoPeak},
    {"average", TevoDetectorTypeAverage},
    {"maxpeak", TevoDetectorTypeMaxPeak},
    {"minpeak", TevoDetectorTypeMinPeak},
    {"sample", TevoDetectorTypeSample},
    {"rms", TevoDetectorTypeRMS},
}};

constexpr std::array<std::pair<const char*, TevoAmplitudeUnitsEnum>, 5> kUnits = {{
    {"dBm", TevoAmplitudeUnitsDBM},
    {"dBmV", TevoAmplitudeUnitsDBMV},
    {"dBuV", TevoAmplitudeUnitsDBUV},
    {"V", TevoAmplitudeUnitsVolt},
    {"W", TevoAmplitudeUnitsWatt},
}};

// Lower case without '-' and '_', so that "max-peak", "MaxPeak" and "max_peak" are one name.
std::string Folded(const std::string& name) {
    std::string folded;
    for (const char c : name) {
        if (c == '-' || c == '_') {
            continue;
        }
        folded += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return folded;
}

std::optional<double> Value(const std::string& option, const std::string& text, Quantity quantity) {
    if (text.empty()) {
        return std::nullopt;
    }
    const ParsedValue parsed = ParseEngineeringValue(text, quantity);
    if (!parsed.value) {
        throw UsageError(option + ": " + parsed.error);
    }
    return parsed.value;
}

}  // namespace

std::optional<TevoDetectorTypeEnum> DetectorFromName(const std::string& name) {
    for (const auto& [known, value] : kDetectors) {
        if (Folded(name) == known) {
            return value;
        }
    }
    return std::nullopt;
}

std::optional<TevoAmplitudeUnitsEnum> AmplitudeUnitsFromName(const std::string& name) {
    for (const auto& [known, value] : kUnits) {
        if (Folded(name) == Folded(known) ||
            (value == TevoAmplitudeUnitsVolt && Folded(name) == "volt") ||
            (value == TevoAmplitudeUnitsWatt && Folded(name) == "watt")) {
            return value;
        }
    }
    return std::nullopt;
}

std::string DetectorName(TevoDetectorTypeEnum detector) {
    static constexpr std::array<const char*, 6> kShown = {"auto peak", "average", "max peak",
                                                          "min peak",  "sample",  "RMS"};
    const int index = static_cast<int>(detector) - 1;
    return index >= 0 && index < 6 ? kShown[index] : std::to_string(static_cast<int>(detector));
}

std::string AmplitudeUnitsName(TevoAmplitudeUnitsEnum units) {
    for (const auto& [known, value] : kUnits) {
        if (value == units) {
            return known;
        }
    }
    return std::to_string(static_cast<int>(units));
}

MeasurementRequest ParseMeasureArguments(const MeasureArguments& arguments) {
    MeasurementRequest request;
    request.center = Value("--center", arguments.center, Quantity::kFrequency);
    request.span = Value("--span", arguments.span, Quantity::kFrequency);
    request.start = Value("--start", arguments.start, Quantity::kFrequency);
    request.stop = Value("--stop", arguments.stop, Quantity::kFrequency);
    const bool center_span = request.center || request.span;
    if (center_span && (request.start || request.stop)) {
        throw UsageError("--center/--span and --start/--stop cannot be mixed");
    }
    if (request.center.has_value() != request.span.has_value()) {
        throw UsageError("--center and --span go together");
    }
    request.rbw = Value("--rbw", arguments.rbw, Quantity::kFrequency);
    request.vbw = Value("--vbw", arguments.vbw, Quantity::kFrequency);
    request.reference = Value("--ref", arguments.ref, Quantity::kLevel);
    request.attenuation = Value("--atten", arguments.atten, Quantity::kDecibel);
    if (!arguments.detector.empty()) {
        request.detector = DetectorFromName(arguments.detector);
        if (!request.detector) {
            throw UsageError("--detector: unknown detector '" + arguments.detector +
                             "' (autopeak, average, maxpeak, minpeak, sample, rms)");
        }
    }
    if (!arguments.units.empty()) {
        request.units = AmplitudeUnitsFromName(arguments.units);
        if (!request.units) {
            throw UsageError("--units: unknown amplitude unit '" + arguments.units +
                             "' (dBm, dBmV, dBuV, V, W)");
        }
    }
    const std::optional<double> timeout = Value("--timeout", arguments.timeout, Quantity::kTime);
    if (!timeout || *timeout < 0.001 || *timeout > 3600) {
        throw UsageError("--timeout: needs a time between 1 ms and 1 h");
    }
    request.max_time_ms = static_cast<LONG>(std::max(1.0, std::round(*timeout * 1000)));
    if (arguments.peaks < 0 || arguments.peaks > kMostPeaks) {
        throw UsageError("--peaks: needs a count from 0 to " + std::to_string(kMostPeaks));
    }
    request.peaks = arguments.peaks;
    const std::optional<double> excursion =
        Value("--excursion", arguments.excursion, Quantity::kDecibel);
    if (!excursion || *excursion < 0 || *excursion > 80) {
        throw UsageError("--excursion: needs a value from 0 to 80 dB");
    }
    request.peak_excursion = *excursion;
    return request;
}

}  // namespace tevo::cli

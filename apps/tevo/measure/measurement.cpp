#include "measure/measurement.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "session/errors.h"
#include "tevo/com/com_ptr.h"
#include "tevo/com/holders.h"
#include "tevo/com/safearray.h"
#include "units/engineering_value.h"

namespace tevo::cli {

namespace {

using tevo::com::Bstr;
using tevo::com::ComPtr;

constexpr const wchar_t* kTraceName = L"Trace1";

template <class Interface, class Getter>
ComPtr<Interface> Child(ITevo* driver, Getter getter, const char* name) {
    ComPtr<Interface> child;
    Check((driver->*getter)(&child), name);
    return child;
}

double ReadDouble(const char* what, const std::function<HRESULT(DOUBLE*)>& getter) {
    DOUBLE value = 0;
    Check(getter(&value), what);
    return value;
}

std::vector<double> ArrayValues(SAFEARRAY* array) {
    std::vector<double> values;
    LONG lower = 0;
    LONG upper = -1;
    if (array == nullptr || FAILED(SafeArrayGetLBound(array, 1, &lower)) ||
        FAILED(SafeArrayGetUBound(array, 1, &upper))) {
        return values;
    }
    for (LONG i = lower; i <= upper; ++i) {
        double value = 0;
        if (SUCCEEDED(SafeArrayGetElement(array, &i, &value))) {
            values.push_back(value);
        }
    }
    return values;
}

std::string LevelText(double value, const std::string& unit) {
    return FormatNumber(std::round(value * 100) / 100) + " " + unit;
}

}  // namespace

void ApplyMeasurementSettings(ITevo* driver, const MeasurementRequest& request) {
    if (request.units) {
        Check(Child<ITevoLevel>(driver, &ITevo::get_Level, "Level")
                  ->put_AmplitudeUnits(*request.units),
              "Level.AmplitudeUnits");
    }
    const auto level = Child<ITevoLevel>(driver, &ITevo::get_Level, "Level");
    if (request.reference) {
        Check(level->put_Reference(*request.reference), "Level.Reference");
    }
    if (request.attenuation) {
        Check(level->put_Attenuation(*request.attenuation), "Level.Attenuation");
    }
    const auto frequency = Child<ITevoFrequency>(driver, &ITevo::get_Frequency, "Frequency");
    if (request.center && request.span) {
        Check(frequency->ConfigureCenterSpan(*request.center, *request.span),
              "Frequency.ConfigureCenterSpan");
    } else if (request.start && request.stop) {
        Check(frequency->ConfigureStartStop(*request.start, *request.stop),
              "Frequency.ConfigureStartStop");
    } else if (request.start) {
        Check(frequency->put_Start(*request.start), "Frequency.Start");
    } else if (request.stop) {
        Check(frequency->put_Stop(*request.stop), "Frequency.Stop");
    }
    const auto coupling =
        Child<ITevoSweepCoupling>(driver, &ITevo::get_SweepCoupling, "SweepCoupling");
    if (request.rbw) {
        Check(coupling->put_ResolutionBandwidth(*request.rbw), "SweepCoupling.ResolutionBandwidth");
    }
    if (request.vbw) {
        Check(coupling->put_VideoBandwidth(*request.vbw), "SweepCoupling.VideoBandwidth");
    }
    if (request.detector) {
        Check(Child<ITevoAcquisition>(driver, &ITevo::get_Acquisition, "Acquisition")
                  ->put_DetectorType(*request.detector),
              "Acquisition.DetectorType");
    }
}

Spectrum SweepAndRead(ITevo* driver, const MeasurementRequest& request, std::ostream& progress,
                      const ProgressLineOptions& progress_options) {
    const auto traces = Child<ITevoTraces>(driver, &ITevo::get_Traces, "Traces");
    ComPtr<ITevoTrace> trace;
    Check(traces->get_Item(Bstr(kTraceName).Get(), &trace), "Traces.Item(Trace1)");

    tevo::com::SafeArrayHolder amplitudes;
    RunWithProgressLine(
        [&] {
            SAFEARRAY* array = nullptr;
            const HRESULT hr = trace->ReadY(request.max_time_ms, &array);
            amplitudes = tevo::com::SafeArrayHolder(array);
            Check(hr, "Traces.Item(Trace1).ReadY");
        },
        progress, progress_options);

    Spectrum spectrum;
    spectrum.amplitudes = ArrayValues(amplitudes.Get());
    const auto frequency = Child<ITevoFrequency>(driver, &ITevo::get_Frequency, "Frequency");
    spectrum.start =
        ReadDouble("Frequency.Start", [&](DOUBLE* v) { return frequency->get_Start(v); });
    spectrum.stop = ReadDouble("Frequency.Stop", [&](DOUBLE* v) { return frequency->get_Stop(v); });
    const auto level = Child<ITevoLevel>(driver, &ITevo::get_Level, "Level");
    TevoAmplitudeUnitsEnum units = TevoAmplitudeUnitsDBM;
    Check(level->get_AmplitudeUnits(&units), "Level.AmplitudeUnits");
    spectrum.amplitude_unit = AmplitudeUnitsName(units);
    spectrum.reference_level =
        ReadDouble("Level.Reference", [&](DOUBLE* v) { return level->get_Reference(v); });
    const double attenuation =
        ReadDouble("Level.Attenuation", [&](DOUBLE* v) { return level->get_Attenuation(v); });
    const auto coupling =
        Child<ITevoSweepCoupling>(driver, &ITevo::get_SweepCoupling, "SweepCoupling");
    const double rbw = ReadDouble("SweepCoupling.ResolutionBandwidth",
                                  [&](DOUBLE* v) { return coupling->get_ResolutionBandwidth(v); });
    const double vbw = ReadDouble("SweepCoupling.VideoBandwidth",
                                  [&](DOUBLE* v) { return coupling->get_VideoBandwidth(v); });
    const double sweep_time = ReadDouble("SweepCoupling.Sweeptime",
                                         [&](DOUBLE* v) { return coupling->get_Sweeptime(v); });
    TevoDetectorTypeEnum detector = TevoDetectorTypeAutoPeak;
    Check(Child<ITevoAcquisition>(driver, &ITevo::get_Acquisition, "Acquisition")
              ->get_DetectorType(&detector),
          "Acquisition.DetectorType");

    spectrum.settings = {
        {"Start", FormatFrequency(spectrum.start)},
        {"Stop", FormatFrequency(spectrum.stop)},
        {"Center", FormatFrequency((spectrum.start + spectrum.stop) / 2)},
        {"Span", FormatFrequency(spectrum.stop - spectrum.start)},
        {"RBW", FormatFrequency(rbw)},
        {"VBW", FormatFrequency(vbw)},
        {"Ref level", LevelText(spectrum.reference_level, spectrum.amplitude_unit)},
        {"Attenuation", LevelText(attenuation, "dB")},
        {"Detector", DetectorName(detector)},
        {"Sweep time", FormatNumber(std::round(sweep_time * 1e6) / 1e3) + " ms"},
        {"Points", std::to_string(spectrum.amplitudes.size())},
    };
    return spectrum;
}

double NoiseLevel(const std::vector<double>& amplitudes, double excursion) {
    if (amplitudes.empty()) {
        return -std::numeric_limits<double>::infinity();
    }
    std::vector<double> sorted = amplitudes;
    const auto middle = sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2);
    std::nth_element(sorted.begin(), middle, sorted.end());
    return *middle + excursion;
}

std::vector<Peak> FindPeaks(ITevo* driver, int count, double excursion, double noise_level) {
    std::vector<Peak> peaks;
    if (count <= 0) {
        return peaks;
    }
    const auto marker = Child<ITevoMarker>(driver, &ITevo::get_Marker, "Marker");
    Check(marker->ConfigureEnabled(VARIANT_TRUE, Bstr(kTraceName).Get()),
          "Marker.ConfigureEnabled");
    const double threshold =
        ReadDouble("Marker.Threshold", [&](DOUBLE* v) { return marker->get_Threshold(v); });
    Check(marker->ConfigureSearch(excursion, threshold), "Marker.ConfigureSearch");
    for (int i = 0; i < count; ++i) {
        const HRESULT searched =
            marker->Search(i == 0 ? TevoMarkerSearchHighest : TevoMarkerSearchNextPeak);
        if (FAILED(searched)) {
            if (i == 0) {
                Check(searched, "Marker.Search");
            }
            TakeErrorDescription();  // no further peak: the table ends here
            break;
        }
        Peak peak;
        Check(marker->Query(&peak.frequency, &peak.amplitude), "Marker.Query");
        // Without the instrument's status check a failed next-peak search leaves the marker
        // where it was: the same peak again ends the table too.
        if (!peaks.empty() && peaks.back().frequency == peak.frequency &&
            peaks.back().amplitude == peak.amplitude) {
            break;
        }
        // Peaks come highest first: once one is within the noise, so are all after it. The
        // highest one is kept, so that a trace of noise alone still shows where its maximum is.
        if (!peaks.empty() && peak.amplitude < noise_level) {
            break;
        }
        peaks.push_back(peak);
    }
    return peaks;
}

}  // namespace tevo::cli

#include "measure/measurement_report.h"

#include <algorithm>

#include "units/engineering_value.h"

namespace tevo::cli {

namespace {

std::string PadRight(std::string text, size_t width) {
    if (text.size() < width) {
        text.append(width - text.size(), ' ');
    }
    return text;
}

}  // namespace

std::string FormatSettings(const Spectrum& spectrum) {
    size_t width = 0;
    for (const auto& [label, value] : spectrum.settings) {
        width = std::max(width, label.size());
    }
    std::string text;
    for (const auto& [label, value] : spectrum.settings) {
        text += PadRight(label, width + 2) + value + "\n";
    }
    return text;
}

std::string FormatPeakTable(const Spectrum& spectrum) {
    if (spectrum.peaks.empty()) {
        return "No peaks found.\n";
    }
    std::string text = "Peak  Frequency         Amplitude\n";
    for (size_t i = 0; i < spectrum.peaks.size(); ++i) {
        const Peak& peak = spectrum.peaks[i];
        text += PadRight(std::to_string(i + 1), 6) +
                PadRight(FormatFrequency(peak.frequency, 7), 18) + FormatFixed(peak.amplitude, 2) +
                " " + spectrum.amplitude_unit + "\n";
    }
    return text;
}

}  // namespace tevo::cli

#include "plot/svg_plot.h"

#include <algorithm>
#include <cmath>

#include "plot/amplitude_range.h"
#include "units/engineering_value.h"

namespace tevo::cli {

namespace {

constexpr double kWidth = 900;
constexpr double kHeight = 560;
constexpr double kLeft = 90;
constexpr double kRight = 870;
constexpr double kTop = 110;
constexpr double kBottom = 480;
constexpr int kFrequencyDivisions = 10;

struct Axes {
    const Spectrum& spectrum;
    AmplitudeRange range;

    double X(double frequency) const {
        const double span = spectrum.stop - spectrum.start;
        const double share = span > 0 ? (frequency - spectrum.start) / span : 0.5;
        return kLeft + (kRight - kLeft) * std::clamp(share, 0.0, 1.0);
    }
    double Y(double amplitude) const {
        const double share = (amplitude - range.bottom) / (range.top - range.bottom);
        return kBottom - (kBottom - kTop) * std::clamp(share, 0.0, 1.0);
    }
};

std::string Coordinate(double value) {
    return FormatFixed(value, 1);
}

std::string Text(double x, double y, std::string_view anchor, std::string_view content,
                 std::string_view extra = {}) {
    std::string element = "<text x=\"" + Coordinate(x) + "\" y=\"" + Coordinate(y) +
                          "\" text-anchor=\"" + std::string(anchor) + "\"";
    if (!extra.empty()) {
        element += " " + std::string(extra);
    }
    return element + ">" + EscapeXml(content) + "</text>\n";
}

std::string Line(double x1, double y1, double x2, double y2, std::string_view style) {
    return "<line x1=\"" + Coordinate(x1) + "\" y1=\"" + Coordinate(y1) + "\" x2=\"" +
           Coordinate(x2) + "\" y2=\"" + Coordinate(y2) + "\" " + std::string(style) + "/>\n";
}

std::string SettingsBlock(const Spectrum& spectrum) {
    std::string block;
    std::string line;
    double y = 30;
    for (const auto& [label, value] : spectrum.settings) {
        std::string item = label;
        item += ": ";
        item += value;
        if (!line.empty() && line.size() + item.size() > 110) {
            block += Text(kLeft, y, "start", line, "class=\"settings\"");
            y += 18;
            line.clear();
        }
        if (!line.empty()) {
            line += "  |  ";
        }
        line += item;
    }
    if (!line.empty()) {
        block += Text(kLeft, y, "start", line, "class=\"settings\"");
    }
    return block;
}

std::string Grid(const Axes& axes) {
    std::string grid;
    const Spectrum& spectrum = axes.spectrum;
    for (int i = 0; i <= kFrequencyDivisions; ++i) {
        const double frequency =
            spectrum.start + (spectrum.stop - spectrum.start) * i / kFrequencyDivisions;
        const double x = axes.X(frequency);
        grid += Line(x, kTop, x, kBottom, "class=\"grid\"");
        if (i % 2 == 0) {
            grid += Text(x, kBottom + 20, "middle", FormatFrequency(frequency, 4));
        }
    }
    const AmplitudeRange& range = axes.range;
    const int steps = static_cast<int>(std::lround((range.top - range.bottom) / range.step));
    for (int i = 0; i <= steps; ++i) {
        const double amplitude = range.bottom + range.step * i;
        const double y = axes.Y(amplitude);
        grid += Line(kLeft, y, kRight, y, "class=\"grid\"");
        grid += Text(kLeft - 8, y + 4, "end", FormatNumber(amplitude));
    }
    return grid;
}

std::string Trace(const Axes& axes) {
    std::string points;
    const Spectrum& spectrum = axes.spectrum;
    for (size_t i = 0; i < spectrum.amplitudes.size(); ++i) {
        const double value = spectrum.amplitudes[i];
        if (!std::isfinite(value)) {
            continue;
        }
        points += (points.empty() ? "" : " ") + Coordinate(axes.X(spectrum.FrequencyOf(i))) + "," +
                  Coordinate(axes.Y(value));
    }
    return "<polyline class=\"trace\" points=\"" + points + "\"/>\n";
}

std::string PeakMarks(const Axes& axes) {
    std::string marks;
    const Spectrum& spectrum = axes.spectrum;
    for (size_t p = 0; p < spectrum.peaks.size(); ++p) {
        const Peak& peak = spectrum.peaks[p];
        const double x = axes.X(peak.frequency);
        const double y = axes.Y(peak.amplitude);
        marks += "<circle class=\"peak\" cx=\"" + Coordinate(x) + "\" cy=\"" + Coordinate(y) +
                 "\" r=\"4\"/>\n";
        const std::string label = std::to_string(p + 1) + ": " + FormatFrequency(peak.frequency) +
                                  ", " + FormatFixed(peak.amplitude, 1) + " " +
                                  spectrum.amplitude_unit;
        // Labels of peaks in the right part of the plot stand to the left of the mark.
        const bool right_part = x > kLeft + (kRight - kLeft) * 0.7;
        marks += Text(right_part ? x - 6 : x + 6, std::max(y - 8, kTop + 12),
                      right_part ? "end" : "start", label, "class=\"peak-label\"");
    }
    return marks;
}

}  // namespace

std::string EscapeXml(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            case '\'':
                escaped += "&apos;";
                break;
            default:
                // Control characters are not allowed in XML 1.0 text.
                escaped += (static_cast<unsigned char>(c) < 0x20 && c != '\t') ? ' ' : c;
        }
    }
    return escaped;
}

std::string RenderSvgPlot(const Spectrum& spectrum) {
    const Axes axes{spectrum, ChooseAmplitudeRange(spectrum.amplitudes)};
    std::string svg =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
        FormatNumber(kWidth) + "\" height=\"" + FormatNumber(kHeight) + "\" viewBox=\"0 0 " +
        FormatNumber(kWidth) + " " + FormatNumber(kHeight) + "\">\n";
    svg +=
        "<style>text{font-family:sans-serif;font-size:12px;fill:#222}"
        ".settings{font-size:13px}.grid{stroke:#ddd;stroke-width:1}"
        ".frame{fill:none;stroke:#444;stroke-width:1}"
        ".trace{fill:none;stroke:#0057b8;stroke-width:1.2}"
        ".peak{fill:#d62728}.peak-label{fill:#d62728;font-size:11px}</style>\n";
    svg += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    svg += SettingsBlock(spectrum);
    svg += Grid(axes);
    svg += "<rect class=\"frame\" x=\"" + Coordinate(kLeft) + "\" y=\"" + Coordinate(kTop) +
           "\" width=\"" + Coordinate(kRight - kLeft) + "\" height=\"" +
           Coordinate(kBottom - kTop) + "\"/>\n";
    svg += Trace(axes);
    svg += PeakMarks(axes);
    svg += Text((kLeft + kRight) / 2, kBottom + 50, "middle", "Frequency", "class=\"axis-title\"");
    svg += Text(25, (kTop + kBottom) / 2, "middle", "Amplitude (" + spectrum.amplitude_unit + ")",
                "class=\"axis-title\" transform=\"rotate(-90 25 " +
                    Coordinate((kTop + kBottom) / 2) + ")\"");
    svg += "</svg>\n";
    return svg;
}

}  // namespace tevo::cli

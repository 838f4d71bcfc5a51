#include "plot/terminal_plot.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "plot/amplitude_range.h"
#include "units/engineering_value.h"

namespace tevo::cli {

namespace {

constexpr int kLabelWidth = 10;  // "-100 dBm |"

std::string PadLeft(const std::string& text, size_t width) {
    return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

// The highest amplitude of the trace points that fall into each column.
std::vector<double> ColumnMaxima(const Spectrum& spectrum, int columns) {
    std::vector<double> maxima(columns, -std::numeric_limits<double>::infinity());
    const size_t points = spectrum.amplitudes.size();
    for (size_t i = 0; i < points; ++i) {
        const auto column =
            std::min<size_t>(i * static_cast<size_t>(columns) / points, columns - 1);
        maxima[column] = std::max(maxima[column], spectrum.amplitudes[i]);
    }
    return maxima;
}

// The column of the trace point nearest to `frequency`, so that a peak's number stands on
// the column that shows its point.
int ColumnOf(const Spectrum& spectrum, double frequency, int columns) {
    const double span = spectrum.stop - spectrum.start;
    const size_t points = spectrum.amplitudes.size();
    if (span <= 0 || points < 2) {
        return 0;
    }
    const double position = (frequency - spectrum.start) / span * static_cast<double>(points - 1);
    const auto index =
        static_cast<size_t>(std::clamp(std::lround(position), 0L, static_cast<long>(points - 1)));
    return static_cast<int>(
        std::min<size_t>(index * static_cast<size_t>(columns) / points, columns - 1));
}

// Filled rows of a column, counted from the bottom.
int BarHeight(double value, const AmplitudeRange& range, int rows) {
    if (!std::isfinite(value)) {
        return 0;
    }
    const double share = (value - range.bottom) / (range.top - range.bottom);
    return std::clamp(static_cast<int>(std::lround(share * rows)), 0, rows);
}

std::string AmplitudeLabel(double value, const std::string& unit) {
    return FormatNumber(std::round(value * 10) / 10) + " " + unit;
}

std::string FrequencyAxis(const Spectrum& spectrum, int columns) {
    const std::string left = FormatFrequency(spectrum.start);
    const std::string middle = FormatFrequency((spectrum.start + spectrum.stop) / 2);
    const std::string right = FormatFrequency(spectrum.stop);
    std::string line(static_cast<size_t>(columns), ' ');
    line.replace(0, std::min(left.size(), line.size()), left.substr(0, line.size()));
    const size_t middle_at =
        static_cast<size_t>(columns / 2) - std::min<size_t>(middle.size() / 2, columns / 2);
    if (middle_at > left.size() && middle_at + middle.size() + 1 < line.size() - right.size()) {
        line.replace(middle_at, middle.size(), middle);
    }
    if (right.size() < line.size() - left.size()) {
        line.replace(line.size() - right.size(), right.size(), right);
    }
    return std::string(kLabelWidth, ' ') + line;
}

}  // namespace

std::string RenderTerminalPlot(const Spectrum& spectrum, TerminalPlotSize size) {
    const int columns = std::max(size.columns, 8);
    const int rows = std::max(size.rows, 4);
    if (spectrum.amplitudes.empty()) {
        return "(no trace points)\n";
    }
    const AmplitudeRange range = ChooseAmplitudeRange(spectrum.amplitudes);
    const std::vector<double> maxima = ColumnMaxima(spectrum, columns);

    std::vector<std::string> grid(static_cast<size_t>(rows), std::string(columns, ' '));
    std::vector<int> heights(static_cast<size_t>(columns));
    for (int c = 0; c < columns; ++c) {
        heights[c] = BarHeight(maxima[c], range, rows);
        for (int h = 0; h < heights[c]; ++h) {
            grid[rows - 1 - h][c] = '#';
        }
    }
    for (size_t p = 0; p < spectrum.peaks.size(); ++p) {
        const int column = ColumnOf(spectrum, spectrum.peaks[p].frequency, columns);
        const int row = std::max(rows - 1 - heights[column], 0);
        grid[row][column] = p < 9 ? static_cast<char>('1' + p) : '*';
    }

    std::string text;
    for (int r = 0; r < rows; ++r) {
        std::string label;
        // Labels on the top row, the bottom row and every row that lies on a grid step.
        const double upper = range.top - (range.top - range.bottom) * r / rows;
        if (r == 0 || r == rows - 1 || r == rows / 2) {
            label = AmplitudeLabel(r == rows - 1 ? range.bottom : upper, spectrum.amplitude_unit);
        }
        text += PadLeft(label, kLabelWidth - 2) + " |" + grid[r] + "\n";
    }
    text += std::string(kLabelWidth - 1, ' ') + "+" + std::string(columns, '-') + "\n";
    text += FrequencyAxis(spectrum, columns) + "\n";
    return text;
}

}  // namespace tevo::cli

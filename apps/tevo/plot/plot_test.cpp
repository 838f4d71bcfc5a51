// The terminal plot, the SVG document and the CSV file of one spectrum.
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include <sstream>
#include <vector>

#include "plot/amplitude_range.h"
#include "plot/csv_writer.h"
#include "plot/svg_plot.h"
#include "plot/terminal_plot.h"

namespace tevo::cli {
namespace {

// 101 points from 0 to 1 GHz at -100 dBm with two carriers: -20 dBm at point 20 (200 MHz)
// and -50 dBm at point 80 (800 MHz).
Spectrum TwoCarriers() {
    Spectrum spectrum;
    spectrum.start = 0;
    spectrum.stop = 1e9;
    spectrum.amplitudes.assign(101, -100.0);
    spectrum.amplitudes[20] = -20;
    spectrum.amplitudes[80] = -50;
    spectrum.settings = {{"RBW", "1 MHz"}, {"Note", "a <b> & \"c\""}};
    spectrum.peaks = {{200e6, -20}, {800e6, -50}};
    return spectrum;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}

TEST(AmplitudeRange, RoundsOutwardToWholeSteps) {
    const std::vector<double> wide = {-93.2, -20.1, -55};
    const AmplitudeRange range = ChooseAmplitudeRange(wide);
    EXPECT_EQ(range.bottom, -100);
    EXPECT_EQ(range.top, -20);
    EXPECT_EQ(range.step, 10);
    const std::vector<double> flat = {-50.2, -50.2};
    const AmplitudeRange narrow = ChooseAmplitudeRange(flat);
    EXPECT_LT(narrow.bottom, narrow.top);  // never an empty range
    EXPECT_LE(narrow.bottom, -50.2);
    EXPECT_GE(narrow.top, -50.2);
}

TEST(TerminalPlot, DrawsColumnsToScaleAndNumbersThePeaks) {
    const std::string plot = RenderTerminalPlot(TwoCarriers(), {50, 8});
    const std::vector<std::string> lines = Lines(plot);
    ASSERT_EQ(lines.size(), 10u);  // 8 rows, the axis line, the frequency labels
    const size_t bar = lines[0].find('|') + 1;
    for (int row = 0; row < 8; ++row) {
        ASSERT_EQ(lines[row].size(), bar + 50) << lines[row];
    }
    // The range is -100 to -20 dBm, 10 dB a row. Point 20 of 101 falls into column 9 of 50,
    // point 80 into column 39.
    EXPECT_EQ(lines[0][bar + 9], '1');  // the highest peak fills its column: number on top
    for (int row = 1; row < 8; ++row) {
        EXPECT_EQ(lines[row][bar + 9], '#') << row;
    }
    // -50 dBm: 5 of 8 rows filled (rows 3 to 7), its number just above.
    EXPECT_EQ(lines[2][bar + 39], '2');
    EXPECT_EQ(lines[3][bar + 39], '#');
    EXPECT_EQ(lines[7][bar + 39], '#');
    EXPECT_EQ(lines[1][bar + 39], ' ');
    EXPECT_EQ(lines[2][bar + 38], ' ');
    EXPECT_EQ(lines[7][bar + 38], ' ');  // the floor lies on the bottom of the range
    EXPECT_EQ(lines[0].substr(0, bar), " -20 dBm |");
    EXPECT_EQ(lines[4].substr(0, bar), " -60 dBm |");
    EXPECT_EQ(lines[7].substr(0, bar), "-100 dBm |");
    EXPECT_EQ(lines[8].substr(bar - 1), "+" + std::string(50, '-'));
    EXPECT_EQ(lines[9].find("0 Hz"), bar);
    EXPECT_NE(lines[9].find("500 MHz"), std::string::npos);
    EXPECT_EQ(lines[9].rfind("1 GHz"), lines[9].size() - 5);
}

TEST(TerminalPlot, AnEmptyTraceSaysSo) {
    Spectrum empty;
    EXPECT_EQ(RenderTerminalPlot(empty), "(no trace points)\n");
}

TEST(SvgPlot, IsAWellFormedDocumentWithAxesSettingsAndPeaks) {
    const std::string svg = RenderSvgPlot(TwoCarriers());
    pugi::xml_document document;
    const pugi::xml_parse_result parsed = document.load_string(svg.c_str());
    ASSERT_TRUE(parsed) << parsed.description();
    const pugi::xml_node root = document.child("svg");
    ASSERT_TRUE(root);
    EXPECT_STREQ(root.attribute("xmlns").value(), "http://www.w3.org/2000/svg");

    const pugi::xml_node trace = root.find_child_by_attribute("polyline", "class", "trace");
    ASSERT_TRUE(trace);
    std::istringstream points(trace.attribute("points").value());
    std::vector<std::pair<double, double>> xy;
    for (std::string pair; points >> pair;) {
        const size_t comma = pair.find(',');
        xy.emplace_back(std::stod(pair.substr(0, comma)), std::stod(pair.substr(comma + 1)));
    }
    ASSERT_EQ(xy.size(), 101u);
    EXPECT_LT(xy.front().first, xy.back().first);
    EXPECT_LT(xy[20].second, xy[80].second);  // the higher carrier is drawn higher up
    EXPECT_LT(xy[80].second, xy[50].second);

    std::vector<std::string> texts;
    for (const pugi::xml_node text : root.children("text")) {
        texts.emplace_back(text.child_value());
    }
    auto has = [&](const std::string& wanted) {
        return std::find(texts.begin(), texts.end(), wanted) != texts.end();
    };
    EXPECT_TRUE(has("Frequency"));
    EXPECT_TRUE(has("Amplitude (dBm)"));
    EXPECT_TRUE(has("0 Hz"));
    EXPECT_TRUE(has("1 GHz"));
    EXPECT_TRUE(has("-20"));
    EXPECT_TRUE(has("-100"));
    EXPECT_TRUE(has("RBW: 1 MHz  |  Note: a <b> & \"c\""));  // escaped in the file
    EXPECT_TRUE(has("1: 200 MHz, -20.0 dBm"));
    EXPECT_TRUE(has("2: 800 MHz, -50.0 dBm"));

    std::vector<pugi::xml_node> circles;
    for (const pugi::xml_node circle : root.children("circle")) {
        circles.push_back(circle);
    }
    ASSERT_EQ(circles.size(), 2u);
    EXPECT_DOUBLE_EQ(circles[0].attribute("cx").as_double(), xy[20].first);
    EXPECT_DOUBLE_EQ(circles[0].attribute("cy").as_double(), xy[20].second);
}

TEST(SvgPlot, EscapesMarkupAndControlCharacters) {
    EXPECT_EQ(EscapeXml("a<b>&\"'\x01"), "a&lt;b&gt;&amp;&quot;&apos; ");
}

TEST(CsvWriter, WritesOneLinePerPointWithExactNumbers) {
    Spectrum spectrum = TwoCarriers();
    spectrum.amplitudes = {-90.5, -20, -33.25};
    spectrum.stop = 2e9;
    EXPECT_EQ(RenderCsv(spectrum),
              "frequency_hz,amplitude_dBm\n"
              "0,-90.5\n"
              "1000000000,-20\n"
              "2000000000,-33.25\n");
}

}  // namespace
}  // namespace tevo::cli

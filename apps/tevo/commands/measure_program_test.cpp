// tevo measure as a user runs it: the installed program against the emulator, connected
// each way, with the peak table checked against the emulator's carriers, and the CSV and
// SVG files it writes.
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include <algorithm>
#include <regex>
#include <sstream>

#include "instrument/synthetic_spectrum.h"
#include "testing/installed_tevo.h"
#include "units/engineering_value.h"

namespace tevo::cli {
namespace {

using namespace tevo::cli::testing;

struct TablePeak {
    double frequency = 0;
    double amplitude = 0;
};

// The rows of the peak table that `tevo measure` printed.
std::vector<TablePeak> PeakTable(const std::string& out) {
    std::vector<TablePeak> peaks;
    std::istringstream lines(out);
    bool in_table = false;
    const std::regex row(R"(^(\d+) +(.+?) {2,}(-?[0-9.]+) dBm$)");
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("Peak  Frequency", 0) == 0) {
            in_table = true;
            continue;
        }
        std::smatch match;
        if (!in_table || !std::regex_match(line, match, row)) {
            continue;
        }
        const ParsedValue frequency = ParseEngineeringValue(match[2].str(), Quantity::kFrequency);
        EXPECT_TRUE(frequency.value) << line;
        peaks.push_back({frequency.value.value_or(0), std::stod(match[3].str())});
    }
    return peaks;
}

// The emulator's carriers between start and stop, highest first.
std::vector<tevo::emulator::Carrier> CarriersBetween(double start, double stop) {
    std::vector<tevo::emulator::Carrier> carriers;
    for (const auto& carrier : tevo::emulator::InputCarriers()) {
        if (carrier.frequency >= start && carrier.frequency <= stop) {
            carriers.push_back(carrier);
        }
    }
    std::sort(carriers.begin(), carriers.end(),
              [](const auto& a, const auto& b) { return a.level > b.level; });
    return carriers;
}

// Each peak lies within one trace point of the carrier of its rank, at its level.
void ExpectPeaksAtCarriers(const std::vector<TablePeak>& peaks, double start, double stop,
                           size_t count, size_t points = 501) {
    const std::vector<tevo::emulator::Carrier> carriers = CarriersBetween(start, stop);
    ASSERT_EQ(peaks.size(), std::min(count, carriers.size()));
    const double point = (stop - start) / static_cast<double>(points - 1);
    for (size_t i = 0; i < peaks.size(); ++i) {
        EXPECT_NEAR(peaks[i].frequency, carriers[i].frequency, point) << "peak " << i + 1;
        EXPECT_NEAR(peaks[i].amplitude, carriers[i].level, 1.0) << "peak " << i + 1;
    }
}

std::string Setting(const std::string& out, const std::string& label) {
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(label + "  ", 0) == 0) {
            return line.substr(line.find_first_not_of(' ', label.size()));
        }
    }
    return {};
}

using Measure = InstalledTevo;

TEST_F(Measure, ConfiguresSweepsAndListsTheCarriersAsPeaks) {
    const ProgramResult run = OnEmulator(
        "measure", {"--start", "50MHz", "--stop", "6 GHz", "--rbw", "1MHz", "--vbw", "300k",
                    "--ref", "-10dBm", "--atten", "20dB", "--detector", "maxpeak", "--peaks", "5"});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const std::vector<std::string> received = ReceivedAfterInitialize();
    const std::vector<std::string> configuration(
        received.begin(), received.begin() + std::min<size_t>(6, received.size()));
    EXPECT_EQ(configuration,
              (std::vector<std::string>{"DISP:WIND1:TRAC:Y:RLEV -10.000000", "INP1:ATT 20.000000",
                                        "SENS1:FREQ:STAR 50000000.000000;STOP 6000000000.000000",
                                        "SENS1:BAND 1000000.000000", "SENS1:BAND:VID 300000.000000",
                                        "SENS1:DET MAX"}));
    EXPECT_NE(std::find(received.begin(), received.end(), "TRAC? TRACE1"), received.end());
    EXPECT_NE(std::find(received.begin(), received.end(), "CALC:MARK:MAX:NEXT"), received.end());
    // Peaks must rise 15 dB above their surroundings; the threshold is read and kept.
    const auto search = std::find(received.begin(), received.end(), "CALC1:THR?");
    ASSERT_NE(search, received.end());
    EXPECT_EQ(*std::next(search), "CALC1:MARK1:PEXC 15.000000;:CALC1:THR -120.000000");

    EXPECT_EQ(Setting(run.out, "Instrument"), resource_);
    EXPECT_EQ(Setting(run.out, "Start"), "50 MHz");
    EXPECT_EQ(Setting(run.out, "Stop"), "6 GHz");
    EXPECT_EQ(Setting(run.out, "RBW"), "1 MHz");
    EXPECT_EQ(Setting(run.out, "VBW"), "300 kHz");
    EXPECT_EQ(Setting(run.out, "Ref level"), "-10 dBm");
    EXPECT_EQ(Setting(run.out, "Attenuation"), "20 dB");
    EXPECT_EQ(Setting(run.out, "Detector"), "max peak");
    EXPECT_EQ(Setting(run.out, "Points"), "501");
    ExpectPeaksAtCarriers(PeakTable(run.out), 50e6, 6e9, 5);
    EXPECT_NE(run.out.find("+----"), std::string::npos);  // the terminal plot
    EXPECT_EQ(run.err, "");  // no progress line when stderr is no terminal
}

TEST_F(Measure, ByCenterAndSpanAroundOneCarrier) {
    const ProgramResult run = OnEmulator(
        "measure", {"--center", "2.4GHz", "--span", "200 MHz", "--rbw", "300kHz", "--peaks", "3"});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const std::vector<TablePeak> peaks = PeakTable(run.out);
    // One carrier in the span: the table ends when no further peak is found.
    ExpectPeaksAtCarriers(peaks, 2.3e9, 2.5e9, 3);
    ASSERT_EQ(peaks.size(), 1u);
    EXPECT_EQ(ReceivedAfterInitialize().front(),
              "SENS1:FREQ:CENT 2400000000.000000;SPAN 200000000.000000");
}

TEST_F(Measure, ByLogicalNameOfASessionOnTheEmulator) {
    AddBenchLogicalName();
    const ProgramResult run = Tevo({"measure", "--logical-name", "Bench", "--center", "1GHz",
                                    "--span", "100MHz", "--peaks", "1", "--no-plot"});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(Setting(run.out, "Instrument"), "Bench");
    ExpectPeaksAtCarriers(PeakTable(run.out), 0.95e9, 1.05e9, 1);
    EXPECT_EQ(run.out.find("+----"), std::string::npos);  // --no-plot
    EXPECT_GT(emulator_.ConnectionCount(), 0u);
}

TEST_F(Measure, SimulatedNeedsNoInstrument) {
    const ProgramResult run = Tevo({"measure", "--simulate", "--peaks", "2"});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_NE(Setting(run.out, "Instrument").find("(simulated)"), std::string::npos);
    EXPECT_NE(run.out.find("Peak  Frequency"), std::string::npos);
    EXPECT_EQ(emulator_.ConnectionCount(), 0u);
}

TEST_F(Measure, WithoutAConnectionOptionStartsTheBuiltInEmulator) {
    const ProgramResult run = Tevo({"measure", "--peaks", "3"});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_NE(run.err.find("Built-in KL-series emulator on TCPIP::127.0.0.1::"), std::string::npos)
        << run.err;
    // The analyzer's full span after preset: 0 to 13.6 GHz for the default model.
    ExpectPeaksAtCarriers(PeakTable(run.out), 0, 13.6e9, 3);
    EXPECT_EQ(emulator_.ConnectionCount(), 0u);
}

TEST_F(Measure, WritesTheTraceAsCsvAndAnSvgThatRenders) {
    const tevo::testing::TempDir folder("tevo-cli-files");
    const std::string csv = (folder / "trace.csv").string();
    const std::string svg = (folder / "spectrum.svg").string();
    const ProgramResult run = OnEmulator(
        "measure", {"--start", "0", "--stop", "3GHz", "--peaks", "2", "--csv", csv, "--svg", svg});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_NE(run.out.find("CSV written to " + csv), std::string::npos);
    EXPECT_NE(run.out.find("SVG written to " + svg), std::string::npos);

    std::istringstream lines(ReadWhole(csv));
    std::string line;
    ASSERT_TRUE(std::getline(lines, line));
    EXPECT_EQ(line, "frequency_hz,amplitude_dBm");
    std::vector<std::pair<double, double>> points;
    while (std::getline(lines, line)) {
        const size_t comma = line.find(',');
        ASSERT_NE(comma, std::string::npos) << line;
        points.emplace_back(std::stod(line.substr(0, comma)), std::stod(line.substr(comma + 1)));
    }
    ASSERT_EQ(points.size(), 501u);
    EXPECT_EQ(points.front().first, 0);
    EXPECT_EQ(points.back().first, 3e9);
    EXPECT_EQ(points[1].first, 6e6);
    const auto highest = std::max_element(points.begin(), points.end(),
                                          [](auto a, auto b) { return a.second < b.second; });
    const std::vector<TablePeak> peaks = PeakTable(run.out);
    ASSERT_FALSE(peaks.empty());
    EXPECT_EQ(highest->first, peaks[0].frequency);  // the marker found the trace's maximum
    EXPECT_NEAR(highest->second, peaks[0].amplitude, 0.01);

    pugi::xml_document document;
    ASSERT_TRUE(document.load_file(svg.c_str()));
    const pugi::xml_node root = document.child("svg");
    EXPECT_EQ(std::distance(root.children("circle").begin(), root.children("circle").end()), 2);
    EXPECT_TRUE(root.find_child_by_attribute("polyline", "class", "trace"));
    const std::string png = (folder / "spectrum.png").string();
    const ProgramResult rendered = RunChild("/usr/bin/rsvg-convert", {svg, "-o", png});
    EXPECT_EQ(rendered.exit_code, 0) << rendered.err;
    EXPECT_EQ(ReadWhole(png).substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
}

TEST_F(Measure, ASweepThatTimesOutIsADriverError) {
    emulator_.InjectFault(tevo::emulator::Fault::NoReply("INIT;*OPC?"));
    const ProgramResult run = OnEmulator("measure", {"--timeout", "300ms"});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.err.find("tevo: Traces.Item(Trace1).ReadY: Tevo: "), std::string::npos)
        << run.err;
    EXPECT_EQ(run.out, "");
}

// A sweep of about two seconds, so that the progress line has time to appear.
class SlowMeasure : public InstalledTevo {
  protected:
    SlowMeasure() : InstalledTevo(RealTime()) {}
    static tevo::emulator::EmulatorOptions RealTime() {
        tevo::emulator::EmulatorOptions options;
        options.time_scale = 1;
        return options;
    }
    void SetUp() override {
        InstalledTevo::SetUp();
        emulator_.Execute("SWE:TIME 2");
    }
};

TEST_F(SlowMeasure, ShowsAProgressLineOnlyOnATerminal) {
    const ProgramResult on_terminal = RunOnTerminal(
        SdkProgram("tevo"), {"measure", "--resource", resource_, "--peaks", "1", "--no-plot"});
    ASSERT_EQ(on_terminal.exit_code, 0) << on_terminal.out;
    EXPECT_NE(on_terminal.out.find("\rSweeping... 1."), std::string::npos) << on_terminal.out;

    const ProgramResult redirected = OnEmulator("measure", {"--peaks", "1", "--no-plot"});
    ASSERT_EQ(redirected.exit_code, 0) << redirected.err;
    EXPECT_EQ(Setting(redirected.out, "Sweep time"), "2000 ms");
    EXPECT_EQ(redirected.err, "");
    EXPECT_EQ(redirected.out.find("Sweeping"), std::string::npos);
}

}  // namespace
}  // namespace tevo::cli

// tevo measure: configure, sweep, find the peaks, and show the spectrum.
#include <CLI/CLI.hpp>

#include <fstream>
#include <memory>

#include "commands/command.h"
#include "measure/measurement.h"
#include "measure/measurement_report.h"
#include "output/terminal.h"
#include "plot/csv_writer.h"
#include "plot/svg_plot.h"
#include "plot/terminal_plot.h"
#include "session/errors.h"

namespace tevo::cli {

namespace {

struct MeasureCommandOptions {
    ConnectionOptions connection;
    MeasureArguments arguments;
    std::string csv_path;
    std::string svg_path;
    bool no_plot = false;
    int plot_width = 64;
    int plot_height = 16;
};

void WriteFile(const std::string& path, const std::string& content, const char* what) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << content;
    file.close();
    if (!file) {
        throw DriverError(std::string("cannot write the ") + what + " file " + path, E_FAIL);
    }
}

int RunMeasure(const MeasureCommandOptions& options, const Streams& streams) {
    const MeasurementRequest request = ParseMeasureArguments(options.arguments);
    // The driver waits for the end of a sweep within its I/O time-out: --timeout sets it.
    ConnectionOptions connection_options = options.connection;
    connection_options.io_timeout_ms = request.max_time_ms;
    DriverConnection connection(connection_options, streams.err);
    ApplyMeasurementSettings(connection.driver(), request);
    ProgressLineOptions progress;
    progress.show = StandardErrorIsTerminal();
    Spectrum spectrum = SweepAndRead(connection.driver(), request, streams.err, progress);
    spectrum.settings.insert(spectrum.settings.begin(),
                             {"Instrument", connection.resource_name() +
                                                (connection.simulated() ? " (simulated)" : "")});
    spectrum.peaks = FindPeaks(connection.driver(), request.peaks, request.peak_excursion,
                               NoiseLevel(spectrum.amplitudes, request.peak_excursion));

    streams.out << FormatSettings(spectrum) << "\n";
    if (!options.no_plot) {
        streams.out << RenderTerminalPlot(spectrum, {options.plot_width, options.plot_height})
                    << "\n";
    }
    streams.out << FormatPeakTable(spectrum);
    if (!options.csv_path.empty()) {
        WriteFile(options.csv_path, RenderCsv(spectrum), "CSV");
        streams.out << "CSV written to " << options.csv_path << "\n";
    }
    if (!options.svg_path.empty()) {
        WriteFile(options.svg_path, RenderSvgPlot(spectrum), "SVG");
        streams.out << "SVG written to " << options.svg_path << "\n";
    }
    return kExitSuccess;
}

}  // namespace

void AddMeasureCommand(CLI::App& app, CommandAction& action) {
    auto options = std::make_shared<MeasureCommandOptions>();
    CLI::App* command = app.add_subcommand(
        "measure", "Configure, sweep Trace1, find the highest peaks and show the spectrum");
    AddConnectionOptions(*command, options->connection);
    MeasureArguments& a = options->arguments;
    command->add_option("--center", a.center, "Center frequency, e.g. 1GHz (with --span)");
    command->add_option("--span", a.span, "Frequency span, e.g. \"200 MHz\" (with --center)");
    command->add_option("--start", a.start, "Start frequency, e.g. 50MHz");
    command->add_option("--stop", a.stop, "Stop frequency, e.g. 6GHz");
    command->add_option("--rbw", a.rbw, "Resolution bandwidth, e.g. 1MHz");
    command->add_option("--vbw", a.vbw, "Video bandwidth, e.g. 100k");
    command->add_option("--ref", a.ref, "Reference level, e.g. -10dBm");
    command->add_option("--atten", a.atten, "Input attenuation, e.g. 10dB");
    command->add_option("--detector", a.detector,
                        "Detector: autopeak, average, maxpeak, minpeak, sample or rms");
    command->add_option("--units", a.units, "Amplitude units: dBm, dBmV, dBuV, V or W");
    command->add_option("--peaks", a.peaks, "How many of the highest peaks to list (0-20)")
        ->capture_default_str();
    command
        ->add_option("--excursion", a.excursion,
                     "How far a peak must rise above its surroundings, e.g. 10dB")
        ->capture_default_str();
    command->add_option("--timeout", a.timeout, "Longest time a sweep may take, e.g. 10s")
        ->capture_default_str();
    command->add_option("--csv", options->csv_path, "Write frequency,amplitude pairs to FILE");
    command->add_option("--svg", options->svg_path, "Write the plot as an SVG image to FILE");
    command->add_flag("--no-plot", options->no_plot, "Do not print the terminal plot");
    command->add_option("--plot-width", options->plot_width, "Columns of the terminal plot")
        ->check(CLI::Range(16, 400))
        ->capture_default_str();
    command->add_option("--plot-height", options->plot_height, "Rows of the terminal plot")
        ->check(CLI::Range(4, 100))
        ->capture_default_str();
    command->callback([&action, options] {
        action = [options](const Streams& streams) { return RunMeasure(*options, streams); };
    });
}

}  // namespace tevo::cli

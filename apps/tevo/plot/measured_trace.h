// One measured spectrum as the plots and the CSV file see it: the trace's amplitudes over
// evenly spaced frequencies, the settings it was measured with and the peaks found in it.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace tevo::cli {

struct Peak {
    double frequency = 0;  // Hz
    double amplitude = 0;  // in the spectrum's amplitude unit
};

struct Spectrum {
    double start = 0;  // Hz, the first point's frequency
    double stop = 0;   // Hz, the last point's frequency
    std::vector<double> amplitudes;
    std::string amplitude_unit = "dBm";
    double reference_level = 0;  // the top of the analyzer's display, in amplitude_unit
    // Settings as label and value ("RBW", "1 MHz"), in the order they are shown.
    std::vector<std::pair<std::string, std::string>> settings;
    std::vector<Peak> peaks;

    // Frequency of point `index` (points spread evenly from start to stop).
    double FrequencyOf(size_t index) const {
        if (amplitudes.size() < 2) {
            return start;
        }
        return start + (stop - start) * static_cast<double>(index) /
                           static_cast<double>(amplitudes.size() - 1);
    }
};

}  // namespace tevo::cli

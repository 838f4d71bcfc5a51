#include "plot/csv_writer.h"

#include "units/engineering_value.h"

namespace tevo::cli {

std::string RenderCsv(const Spectrum& spectrum) {
    std::string csv = "frequency_hz,amplitude_" + spectrum.amplitude_unit + "\n";
    for (size_t i = 0; i < spectrum.amplitudes.size(); ++i) {
        csv += FormatNumber(spectrum.FrequencyOf(i)) + "," + FormatNumber(spectrum.amplitudes[i]) +
               "\n";
    }
    return csv;
}

}  // namespace tevo::cli

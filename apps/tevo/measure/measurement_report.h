// The text `tevo measure` prints: the settings as "label  value" lines and the peak table
// (number, frequency, amplitude).
#pragma once

#include <string>

#include "plot/measured_trace.h"

namespace tevo::cli {

std::string FormatSettings(const Spectrum& spectrum);
std::string FormatPeakTable(const Spectrum& spectrum);

}  // namespace tevo::cli

// The spectrum as CSV: a header line, then one line per trace point with its frequency in
// Hz and its amplitude, both with '.' as the decimal separator whatever the locale.
#pragma once

#include <string>

#include "plot/measured_trace.h"

namespace tevo::cli {

std::string RenderCsv(const Spectrum& spectrum);

}  // namespace tevo::cli

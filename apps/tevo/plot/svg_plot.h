// The spectrum as a standalone SVG document: the trace as a line over a grid, labelled
// frequency and amplitude axes, the settings above the plot, and each peak marked with its
// number, frequency and amplitude.
#pragma once

#include <string>

#include "plot/measured_trace.h"

namespace tevo::cli {

std::string RenderSvgPlot(const Spectrum& spectrum);

// Text made safe for XML character data and attribute values.
std::string EscapeXml(std::string_view text);

}  // namespace tevo::cli

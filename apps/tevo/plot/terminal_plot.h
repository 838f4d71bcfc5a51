// The spectrum as text for a terminal: one column of '#' per group of trace points (the
// highest point of the group), amplitude labels on the left, frequency labels below, and
// each peak marked with its number (1-9, then '*') above its column. Plain ASCII, so that it
// shows the same in any terminal, log file or e-mail.
#pragma once

#include <string>

#include "plot/measured_trace.h"

namespace tevo::cli {

struct TerminalPlotSize {
    int columns = 64;  // plot columns, without the labels
    int rows = 16;
};

std::string RenderTerminalPlot(const Spectrum& spectrum, TerminalPlotSize size = {});

}  // namespace tevo::cli

// One measurement through the driver's instrument-specific tree: configure what the request
// names, sweep and read Trace1 with ReadY (on a worker thread, with the progress line),
// read back the settings the analyzer actually uses, and find the highest peaks with the
// active marker (peak search, then next peak).
#pragma once

#include <ostream>

#include "measure/measurement_request.h"
#include "output/progress_line.h"
#include "plot/measured_trace.h"
#include "tevo/Tevo.h"

namespace tevo::cli {

// Sends the request's settings to the analyzer. Throws DriverError.
void ApplyMeasurementSettings(ITevo* driver, const MeasurementRequest& request);

// Sweeps and reads the trace; fills the spectrum's points and settings. Throws DriverError.
Spectrum SweepAndRead(ITevo* driver, const MeasurementRequest& request, std::ostream& progress,
                      const ProgressLineOptions& progress_options);

// Up to `count` peaks, highest first, found with the active marker on Trace1 (peak search,
// then next peak). A peak must rise at least `excursion` dB above its surroundings (the
// marker's peak excursion; its threshold is kept as it is) and above `noise_level`, the
// trace's median plus the excursion, so that noise is not listed as peaks. Fewer when the
// analyzer finds no further peak. Throws DriverError for other failures.
std::vector<Peak> FindPeaks(ITevo* driver, int count, double excursion, double noise_level);

// The level that peaks must exceed: the median of the trace (its noise) plus `excursion`.
double NoiseLevel(const std::vector<double>& amplitudes, double excursion);

}  // namespace tevo::cli

// The amplitude range a plot shows: from a round value below the lowest point to a round
// value above the highest, in whole steps of 10 units (or smaller for flat traces).
#pragma once

#include <span>

namespace tevo::cli {

struct AmplitudeRange {
    double bottom = -100;
    double top = 0;
    double step = 10;  // distance between labelled grid lines
};

AmplitudeRange ChooseAmplitudeRange(std::span<const double> amplitudes);

}  // namespace tevo::cli

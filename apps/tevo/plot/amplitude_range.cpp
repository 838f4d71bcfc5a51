#include "plot/amplitude_range.h"

#include <algorithm>
#include <cmath>

namespace tevo::cli {

AmplitudeRange ChooseAmplitudeRange(std::span<const double> amplitudes) {
    AmplitudeRange range;
    double lowest = 0;
    double highest = 0;
    bool any = false;
    for (const double value : amplitudes) {
        if (!std::isfinite(value)) {
            continue;
        }
        lowest = any ? std::min(lowest, value) : value;
        highest = any ? std::max(highest, value) : value;
        any = true;
    }
    if (!any) {
        return range;
    }
    const double spread = highest - lowest;
    range.step = spread > 40 ? 10 : (spread > 10 ? 5 : 1);
    range.bottom = std::floor(lowest / range.step) * range.step;
    range.top = std::ceil(highest / range.step) * range.step;
    if (range.top <= range.bottom) {
        range.top = range.bottom + range.step;
    }
    return range;
}

}  // namespace tevo::cli

// Peak search on trace values (dB scale), as the marker functions use it. A peak is a point
// higher than its neighbours whose level falls by at least the peak excursion on both
// sides before the trace rises above it again (or the trace ends); with a threshold, peaks
// below it do not count.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

namespace tevo::emulator {

struct PeakCriteria {
    double excursion = 6;             // dB
    std::optional<double> threshold;  // same scale as the values
};

// Indexes of the peaks, in ascending order.
std::vector<size_t> FindPeaks(std::span<const float> values, const PeakCriteria& criteria);

// The highest point (the first of equals); none when the trace is empty or the highest
// point is below the threshold.
std::optional<size_t> FindHighest(std::span<const float> values, const PeakCriteria& criteria);
// The lowest point (the first of equals); none when the trace is empty.
std::optional<size_t> FindLowest(std::span<const float> values);
// The highest peak lower than the value at index current.
std::optional<size_t> FindNextLower(std::span<const float> values, size_t current,
                                    const PeakCriteria& criteria);
// The nearest peak to the left (lower index) or right (higher index) of current.
std::optional<size_t> FindNextLeft(std::span<const float> values, size_t current,
                                   const PeakCriteria& criteria);
std::optional<size_t> FindNextRight(std::span<const float> values, size_t current,
                                    const PeakCriteria& criteria);

}  // namespace tevo::emulator

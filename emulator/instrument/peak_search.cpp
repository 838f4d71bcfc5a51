#include "instrument/peak_search.h"

#include <algorithm>

namespace tevo::emulator {

std::vector<size_t> FindPeaks(std::span<const float> values, const PeakCriteria& criteria) {
    std::vector<size_t> peaks;
    const size_t n = values.size();
    for (size_t i = 0; i < n; ++i) {
        const float v = values[i];
        // A plateau counts once, at its first point.
        if (i > 0 && values[i - 1] >= v)
            continue;
        size_t right = i + 1;
        while (right < n && values[right] == v)
            ++right;
        if (right < n && values[right] > v)
            continue;
        if (criteria.threshold && v < *criteria.threshold)
            continue;
        // Lowest level on each side before the trace rises above this peak.
        float left_min = v;
        for (size_t j = i; j-- > 0;) {
            if (values[j] > v)
                break;
            left_min = std::min(left_min, values[j]);
        }
        float right_min = v;
        for (size_t j = right; j < n; ++j) {
            if (values[j] > v)
                break;
            right_min = std::min(right_min, values[j]);
        }
        if (v - left_min >= criteria.excursion && v - right_min >= criteria.excursion)
            peaks.push_back(i);
    }
    return peaks;
}

std::optional<size_t> FindHighest(std::span<const float> values, const PeakCriteria& criteria) {
    if (values.empty())
        return std::nullopt;
    const size_t index =
        static_cast<size_t>(std::max_element(values.begin(), values.end()) - values.begin());
    if (criteria.threshold && values[index] < *criteria.threshold)
        return std::nullopt;
    return index;
}

std::optional<size_t> FindLowest(std::span<const float> values) {
    if (values.empty())
        return std::nullopt;
    return static_cast<size_t>(std::min_element(values.begin(), values.end()) - values.begin());
}

std::optional<size_t> FindNextLower(std::span<const float> values, size_t current,
                                    const PeakCriteria& criteria) {
    if (current >= values.size())
        return std::nullopt;
    const float level = values[current];
    std::optional<size_t> best;
    for (const size_t peak : FindPeaks(values, criteria)) {
        if (peak == current || values[peak] >= level)
            continue;
        if (!best || values[peak] > values[*best])
            best = peak;
    }
    return best;
}

std::optional<size_t> FindNextLeft(std::span<const float> values, size_t current,
                                   const PeakCriteria& criteria) {
    std::optional<size_t> best;
    for (const size_t peak : FindPeaks(values, criteria)) {
        if (peak < current)
            best = peak;
    }
    return best;
}

std::optional<size_t> FindNextRight(std::span<const float> values, size_t current,
                                    const PeakCriteria& criteria) {
    for (const size_t peak : FindPeaks(values, criteria)) {
        if (peak > current)
            return peak;
    }
    return std::nullopt;
}

}  // namespace tevo::emulator

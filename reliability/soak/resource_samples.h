// The process's resident memory and open descriptors, sampled during a soak, and the
// judgement whether they stayed flat after the warm-up.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tevo::reliability::soak {

struct ResourceSample {
    double seconds = 0;         // since the run began
    size_t resident_bytes = 0;  // /proc/self/statm, resident pages times the page size
    size_t descriptors = 0;     // entries of /proc/self/fd
};

// This process now; zeros where /proc cannot be read.
ResourceSample SampleThisProcess(double seconds);

struct FlatnessLimits {
    double warmup_seconds = 0;
    size_t resident_tolerance_bytes = 0;
    size_t descriptor_tolerance = 0;
};

struct FlatnessVerdict {
    bool flat = true;
    std::vector<std::string> problems;  // one line per resource that grew
};

// Judges the samples taken after the warm-up (at least four are needed): the lowest value
// of the last quarter may exceed the highest of the first quarter by the tolerance. Taking
// the lowest and the highest lets single spikes pass while steady growth fails.
FlatnessVerdict JudgeFlatness(const std::vector<ResourceSample>& samples,
                              const FlatnessLimits& limits);

}  // namespace tevo::reliability::soak

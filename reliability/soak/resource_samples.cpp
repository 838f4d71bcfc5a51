#include "resource_samples.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>

namespace tevo::reliability::soak {

namespace {

size_t ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    size_t total_pages = 0;
    size_t resident_pages = 0;
    if (!(statm >> total_pages >> resident_pages)) {
        return 0;
    }
    return resident_pages * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

size_t OpenDescriptors() {
    DIR* folder = opendir("/proc/self/fd");
    if (folder == nullptr) {
        return 0;
    }
    size_t count = 0;
    while (const dirent* entry = readdir(folder)) {
        if (entry->d_name[0] != '.') {
            ++count;
        }
    }
    closedir(folder);
    // The folder's own descriptor is not one of the process's.
    return count > 0 ? count - 1 : 0;
}

std::string Mebibytes(size_t bytes) {
    char text[32] = {};
    std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / (1024.0 * 1024.0));
    return text;
}

}  // namespace

ResourceSample SampleThisProcess(double seconds) {
    return ResourceSample{seconds, ResidentBytes(), OpenDescriptors()};
}

FlatnessVerdict JudgeFlatness(const std::vector<ResourceSample>& samples,
                              const FlatnessLimits& limits) {
    std::vector<ResourceSample> judged;
    std::copy_if(samples.begin(), samples.end(), std::back_inserter(judged),
                 [&](const ResourceSample& s) { return s.seconds >= limits.warmup_seconds; });
    FlatnessVerdict verdict;
    if (judged.size() < 4) {
        verdict.flat = false;
        verdict.problems.push_back("only " + std::to_string(judged.size()) +
                                   " samples after the warm-up; at least 4 are needed");
        return verdict;
    }
    const size_t quarter = judged.size() / 4;
    const auto first_end = judged.begin() + static_cast<std::ptrdiff_t>(quarter);
    const auto last_begin = judged.end() - static_cast<std::ptrdiff_t>(quarter);
    const auto judge = [&](size_t ResourceSample::*field, size_t tolerance, const char* name,
                           std::string (*show)(size_t)) {
        size_t early_high = 0;
        for (auto it = judged.begin(); it != first_end; ++it) {
            early_high = std::max(early_high, (*it).*field);
        }
        size_t late_low = SIZE_MAX;
        for (auto it = last_begin; it != judged.end(); ++it) {
            late_low = std::min(late_low, (*it).*field);
        }
        if (late_low > early_high + tolerance) {
            verdict.flat = false;
            verdict.problems.push_back(std::string(name) + " grew from " + show(early_high) +
                                       " to " + show(late_low) + " (tolerance " + show(tolerance) +
                                       ")");
        }
    };
    judge(&ResourceSample::resident_bytes, limits.resident_tolerance_bytes, "resident memory",
          Mebibytes);
    judge(&ResourceSample::descriptors, limits.descriptor_tolerance, "open descriptors",
          [](size_t n) { return std::to_string(n); });
    return verdict;
}

}  // namespace tevo::reliability::soak

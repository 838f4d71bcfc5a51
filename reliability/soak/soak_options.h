// The command line of tevo-soak.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tevo::reliability::soak {

struct SoakOptions {
    int sessions = 2;            // driver sessions on the emulator
    int threads = 2;             // threads calling each session
    double seconds = 60.0;       // how long the calls go on
    double warmup_seconds = -1;  // samples before this are not judged; < 0: a quarter of the run
    double interval_seconds = 1.0;
    double rss_tolerance_mib = 4.0;
    int descriptor_tolerance = 2;

    double Warmup() const { return warmup_seconds >= 0 ? warmup_seconds : seconds / 4; }
};

struct ParsedCommandLine {
    std::optional<SoakOptions> options;  // empty on error or --help
    bool help = false;
    std::string error;
};

ParsedCommandLine ParseSoakCommandLine(const std::vector<std::string>& args);
const char* SoakUsage();

}  // namespace tevo::reliability::soak

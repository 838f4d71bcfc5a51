#include "soak_options.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace tevo::reliability::soak {

namespace {

// The whole text as a number within [minimum, maximum], or nothing.
std::optional<double> NumberIn(const std::string& text, double minimum, double maximum) {
    if (text.empty()) {
        return std::nullopt;
    }
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !(value >= minimum && value <= maximum)) {
        return std::nullopt;
    }
    return value;
}

std::string Shown(double value) {
    char text[32] = {};
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

}  // namespace

const char* SoakUsage() {
    return "Usage: tevo-soak [--sessions N] [--threads M] [--seconds S] [--warmup W]\n"
           "                 [--interval I] [--rss-tolerance-mib R] [--fd-tolerance F]\n"
           "\n"
           "Runs N driver sessions (default 2) against an in-process analyzer emulator, each\n"
           "called by M threads (default 2) with mixed calls: property gets and puts, ReadY,\n"
           "FetchY, ErrorQuery, and Initialize/Close cycles of short-lived driver objects, for\n"
           "S seconds (default 60). Every I seconds (default 1) it samples the process's\n"
           "resident memory (/proc/self/statm) and open descriptors (/proc/self/fd).\n"
           "\n"
           "Samples of the first W seconds (default a quarter of the run) are warm-up. After\n"
           "it, the lowest value of the last quarter of the samples may exceed the highest of\n"
           "the first quarter by at most R MiB of memory (default 4) and F descriptors\n"
           "(default 2); more is growth.\n"
           "\n"
           "Exit status: 0 flat and every call succeeded, 1 growth or failed calls (the\n"
           "reason is printed), 2 usage error.\n";
}

ParsedCommandLine ParseSoakCommandLine(const std::vector<std::string>& args) {
    ParsedCommandLine parsed;
    SoakOptions options;
    struct Setting {
        const char* name;
        double minimum;
        double maximum;
        bool integer;
        void (*store)(SoakOptions&, double);
    };
    static const Setting kSettings[] = {
        {"--sessions", 1, 64, true,
         [](SoakOptions& o, double v) { o.sessions = static_cast<int>(v); }},
        {"--threads", 1, 64, true,
         [](SoakOptions& o, double v) { o.threads = static_cast<int>(v); }},
        {"--seconds", 1, 86400, false, [](SoakOptions& o, double v) { o.seconds = v; }},
        {"--warmup", 0, 86400, false, [](SoakOptions& o, double v) { o.warmup_seconds = v; }},
        {"--interval", 0.05, 3600, false, [](SoakOptions& o, double v) { o.interval_seconds = v; }},
        {"--rss-tolerance-mib", 0, 65536, false,
         [](SoakOptions& o, double v) { o.rss_tolerance_mib = v; }},
        {"--fd-tolerance", 0, 65536, true,
         [](SoakOptions& o, double v) { o.descriptor_tolerance = static_cast<int>(v); }},
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            parsed.help = true;
            return parsed;
        }
        const Setting* setting = nullptr;
        for (const Setting& candidate : kSettings) {
            if (arg == candidate.name) {
                setting = &candidate;
            }
        }
        if (setting == nullptr) {
            parsed.error = "unknown argument '" + arg + "'";
            return parsed;
        }
        if (i + 1 == args.size()) {
            parsed.error = arg + " needs a value";
            return parsed;
        }
        const std::string& text = args[++i];
        const std::optional<double> value = NumberIn(text, setting->minimum, setting->maximum);
        if (!value ||
            (setting->integer && *value != static_cast<double>(static_cast<long long>(*value)))) {
            parsed.error = arg;
            parsed.error += setting->integer ? " must be an integer" : " must be a number";
            parsed.error += " from " + Shown(setting->minimum);
            parsed.error += " to " + Shown(setting->maximum);
            parsed.error += ", not '" + text + "'";
            return parsed;
        }
        setting->store(options, *value);
    }
    if (options.Warmup() >= options.seconds) {
        parsed.error = "the warm-up must end before the run does";
        return parsed;
    }
    parsed.options = options;
    return parsed;
}

}  // namespace tevo::reliability::soak

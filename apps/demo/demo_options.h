// The demo's command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tevo::demo {

struct DemoOptions {
    std::string resource;  // empty: start the built-in emulator
    std::string options = "QueryInstrStatus=true";
    bool simulate = false;
    bool help = false;
};

// The options, or nothing with `error` set for a command line that cannot be used.
std::optional<DemoOptions> ParseDemoOptions(const std::vector<std::string>& args,
                                            std::string& error);

extern const char* const kDemoUsage;

}  // namespace tevo::demo

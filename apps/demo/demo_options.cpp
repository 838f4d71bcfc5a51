#include "demo_options.h"

namespace tevo::demo {

const char* const kDemoUsage =
    "Usage: tevo-demo [--resource DESCRIPTOR] [--options TEXT] [--simulate] [--help]\n"
    "\n"
    "Runs a session with the Tevo driver: Initialize with the identity check, the\n"
    "instrument's identity, self test, error query and Close.\n"
    "\n"
    "  --resource DESCRIPTOR  VISA resource of an analyzer, e.g.\n"
    "                         TCPIP::192.168.1.20::5025::SOCKET. Without it the demo starts\n"
    "                         the built-in KL-series emulator on a free local port\n"
    "                         (with --simulate: no instrument at all).\n"
    "  --options TEXT         Initialize option string (default QueryInstrStatus=true).\n"
    "  --simulate             Simulate the instrument (adds Simulate=true to the options).\n"
    "  --help                 Show this text.\n";

std::optional<DemoOptions> ParseDemoOptions(const std::vector<std::string>& args,
                                            std::string& error) {
    DemoOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool has_value = i + 1 < args.size();
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--simulate") {
            options.simulate = true;
        } else if (arg == "--resource" || arg == "--options") {
            if (!has_value) {
                error = arg + " needs a value";
                return std::nullopt;
            }
            (arg == "--resource" ? options.resource : options.options) = args[++i];
        } else {
            error = "unknown argument '" + arg + "'";
            return std::nullopt;
        }
    }
    if (options.simulate) {
        options.options =
            options.options.empty() ? "Simulate=true" : options.options + ",Simulate=true";
    }
    return options;
}

}  // namespace tevo::demo

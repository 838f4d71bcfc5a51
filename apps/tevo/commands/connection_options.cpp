#include <CLI/CLI.hpp>

#include "commands/command.h"

namespace tevo::cli {

void AddConnectionOptions(CLI::App& command, ConnectionOptions& options) {
    auto* resource = command.add_option("--resource,-r", options.resource,
                                        "VISA resource of the analyzer, e.g. "
                                        "TCPIP::192.168.1.20::5025::SOCKET");
    auto* logical = command.add_option("--logical-name,-l", options.logical_name,
                                       "IVI logical name of the configuration store, e.g. Tevo");
    resource->excludes(logical);
    command.add_flag("--simulate", options.simulate,
                     "Let the driver simulate the analyzer (no instrument needed)");
    command.add_option("--options", options.driver_options,
                       "More Initialize options, e.g. \"QueryInstrStatus=true,Cache=false\"");
    command.add_flag("--reset", options.reset, "Reset the analyzer after connecting");
    command.footer(
        "Without --resource, --logical-name or --simulate the built-in KL-series emulator is "
        "started on a free local port.");
}

}  // namespace tevo::cli

// What every subcommand shares: the action chosen by the command line, run after parsing,
// and the options that choose the analyzer.
#pragma once

#include <functional>
#include <ostream>

#include "session/driver_connection.h"

namespace CLI {
class App;
}

namespace tevo::cli {

// Streams for results (stdout) and for messages and progress (stderr).
struct Streams {
    std::ostream& out;
    std::ostream& err;
};

// The subcommand's work, set by its callback when the command line names it; returns the
// exit status or throws DriverError / UsageError.
using CommandAction = std::function<int(const Streams&)>;

// --resource, --logical-name, --simulate and --options on `command`.
void AddConnectionOptions(CLI::App& command, ConnectionOptions& options);

void AddMeasureCommand(CLI::App& app, CommandAction& action);
void AddGetCommand(CLI::App& app, CommandAction& action);
void AddSetCommand(CLI::App& app, CommandAction& action);
void AddCallCommand(CLI::App& app, CommandAction& action);
void AddScpiCommand(CLI::App& app, CommandAction& action);
void AddInfoCommand(CLI::App& app, CommandAction& action);
void AddSessionsCommand(CLI::App& app, CommandAction& action);

}  // namespace tevo::cli

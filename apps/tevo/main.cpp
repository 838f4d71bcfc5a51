// tevo: the Tevo driver from the command line. Measurements with a spectrum plot, any
// property or method of the driver by its dotted path, raw SCPI, the instrument's identity
// and the IVI configuration store's sessions.
//
// Exit status: 0 success, 1 driver or instrument error (the driver's description on
// stderr), 2 usage error.
#include <CLI/CLI.hpp>

#include <iostream>

#include "commands/command.h"
#include "session/errors.h"
#include "tevo/com/apartment.h"

namespace {

using namespace tevo::cli;

int ParseFailure(const CLI::App& app, const CLI::ParseError& failure) {
    if (failure.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) {
        return app.exit(failure);  // --help
    }
    std::cerr << "tevo: " << failure.what() << "\n";
    std::cerr << "Run 'tevo --help' or 'tevo COMMAND --help' for the usage.\n";
    return kExitUsageError;
}

// Parses the command line and runs the chosen subcommand; the exit status.
int Run(int argc, char** argv) {
    CLI::App app{
        "The Tevo driver from the command line: measurements with a spectrum plot, driver "
        "properties and methods by name, raw SCPI, identity and IVI sessions."};
    app.name("tevo");
    app.require_subcommand(1);
    app.footer(
        "Exit status: 0 success, 1 driver or instrument error, 2 usage error.\n"
        "Run 'tevo COMMAND --help' for the options of a command.");
    CommandAction action;
    AddMeasureCommand(app, action);
    AddGetCommand(app, action);
    AddSetCommand(app, action);
    AddCallCommand(app, action);
    AddScpiCommand(app, action);
    AddInfoCommand(app, action);
    AddSessionsCommand(app, action);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& failure) {
        return ParseFailure(app, failure);
    }
    if (!action) {
        return kExitUsageError;
    }
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    int status = kExitSuccess;
    try {
        status = action(Streams{std::cout, std::cerr});
    } catch (const UsageError& failure) {
        std::cerr << "tevo: " << failure.what() << "\n";
        status = kExitUsageError;
    } catch (const DriverError& failure) {
        std::cerr << "tevo: " << failure.what() << "\n";
        status = kExitDriverError;
    }
    std::cout.flush();
    CoUninitialize();
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& failure) {
        std::cerr << "tevo: " << failure.what() << "\n";
    } catch (...) {
        std::cerr << "tevo: unexpected failure\n";
    }
    return kExitDriverError;
}

// tevo scpi COMMAND...: raw SCPI through the driver's ITevoInstrumentIO. A message that
// ends with '?' is a query and its reply is printed; any other is written.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <memory>

#include "commands/command.h"
#include "session/errors.h"
#include "tevo/com/holders.h"

namespace tevo::cli {

namespace {

struct ScpiOptions {
    ConnectionOptions connection;
    std::vector<std::string> messages;
};

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

int RunScpi(const ScpiOptions& options, const Streams& streams) {
    if (std::any_of(options.messages.begin(), options.messages.end(),
                    [](const std::string& message) { return Trimmed(message).empty(); })) {
        throw UsageError("an empty SCPI message");
    }
    DriverConnection connection(options.connection, streams.err);
    tevo::com::ComPtr<ITevoInstrumentIO> io;
    Check(connection.driver()->get_InstrumentIO(&io), "InstrumentIO");
    for (const std::string& raw : options.messages) {
        const std::string message = Trimmed(raw);
        const tevo::com::Bstr command = tevo::com::Bstr::FromUtf8(message);
        if (message.back() == '?') {
            tevo::com::Bstr reply;
            Check(io->Query(command.Get(), &reply), message);
            streams.out << Trimmed(reply.ToUtf8()) << "\n";
        } else {
            Check(io->Write(command.Get()), message);
        }
    }
    return kExitSuccess;
}

}  // namespace

void AddScpiCommand(CLI::App& app, CommandAction& action) {
    auto options = std::make_shared<ScpiOptions>();
    CLI::App* command = app.add_subcommand(
        "scpi",
        "Send raw SCPI messages; those ending in '?' are queries whose replies are printed");
    AddConnectionOptions(*command, options->connection);
    command
        ->add_option("COMMAND", options->messages,
                     "SCPI messages, sent in order, e.g. \"*IDN?\" \"FREQ:CENT 1GHZ\"")
        ->required();
    command->callback([&action, options] {
        action = [options](const Streams& streams) { return RunScpi(*options, streams); };
    });
}

}  // namespace tevo::cli

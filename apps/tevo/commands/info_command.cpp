// tevo info: the instrument's identity, firmware, model and options, the driver's identity
// and revision, and the models it supports.
#include <CLI/CLI.hpp>

#include <memory>

#include "commands/command.h"
#include "output/json.h"
#include "session/errors.h"
#include "tevo/com/holders.h"

namespace tevo::cli {

namespace {

struct InfoOptions {
    ConnectionOptions connection;
    bool json = false;
};

using Getter = HRESULT (IIviDriverIdentity::*)(BSTR*);

std::string Text(IIviDriverIdentity* identity, Getter getter, const char* name) {
    tevo::com::Bstr text;
    Check((identity->*getter)(&text), std::string("Identity.") + name);
    return text.ToUtf8();
}

// The instrument's options (*OPT?); empty in simulation, where nothing is sent.
std::string InstrumentOptions(ITevo* driver, bool simulated) {
    if (simulated) {
        return "(simulated)";
    }
    tevo::com::ComPtr<ITevoInstrumentIO> io;
    Check(driver->get_InstrumentIO(&io), "InstrumentIO");
    tevo::com::Bstr reply;
    Check(io->Query(tevo::com::Bstr(L"*OPT?").Get(), &reply), "*OPT?");
    std::string options = reply.ToUtf8();
    while (!options.empty() && (options.back() == '\n' || options.back() == '\r')) {
        options.pop_back();
    }
    return options;
}

int RunInfo(const InfoOptions& options, const Streams& streams) {
    DriverConnection connection(options.connection, streams.err);
    tevo::com::ComPtr<IIviDriverIdentity> identity;
    Check(connection.driver()->get_Identity(&identity), "Identity");
    IIviDriverIdentity* id = identity.Get();
    const std::vector<std::pair<std::string, std::string>> lines = {
        {"Resource", connection.resource_name()},
        {"Manufacturer",
         Text(id, &IIviDriverIdentity::get_InstrumentManufacturer, "InstrumentManufacturer")},
        {"Model", Text(id, &IIviDriverIdentity::get_InstrumentModel, "InstrumentModel")},
        {"Firmware", Text(id, &IIviDriverIdentity::get_InstrumentFirmwareRevision,
                          "InstrumentFirmwareRevision")},
        {"Options", InstrumentOptions(connection.driver(), connection.simulated())},
        {"Driver", Text(id, &IIviDriverIdentity::get_Identifier, "Identifier")},
        {"Driver revision", Text(id, &IIviDriverIdentity::get_Revision, "Revision")},
        {"Driver vendor", Text(id, &IIviDriverIdentity::get_Vendor, "Vendor")},
        {"Supported models",
         Text(id, &IIviDriverIdentity::get_SupportedInstrumentModels, "SupportedInstrumentModels")},
    };
    if (options.json) {
        std::vector<std::pair<std::string, std::string>> members;
        members.reserve(lines.size());
        for (const auto& [label, value] : lines) {
            members.emplace_back(label, JsonString(value));
        }
        streams.out << JsonObject(members) << "\n";
        return kExitSuccess;
    }
    for (const auto& [label, value] : lines) {
        streams.out << label << ":" << std::string(18 - label.size(), ' ') << value << "\n";
    }
    return kExitSuccess;
}

}  // namespace

void AddInfoCommand(CLI::App& app, CommandAction& action) {
    auto options = std::make_shared<InfoOptions>();
    CLI::App* command = app.add_subcommand(
        "info", "Show the instrument's identity, firmware and options, and the driver's");
    AddConnectionOptions(*command, options->connection);
    command->add_flag("--json", options->json, "Print the information as JSON");
    command->callback([&action, options] {
        action = [options](const Streams& streams) { return RunInfo(*options, streams); };
    });
}

}  // namespace tevo::cli

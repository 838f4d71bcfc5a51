// tevo get PATH / tevo set PATH VALUE / tevo call PATH [ARG...]: any property or method of
// the driver by its dotted path, through IDispatch.
#include <CLI/CLI.hpp>

#include <memory>

#include "commands/command.h"
#include "dispatch/late_bound_path.h"
#include "dispatch/value_conversion.h"
#include "output/json.h"
#include "session/errors.h"

namespace tevo::cli {

namespace {

struct MemberCommandOptions {
    ConnectionOptions connection;
    std::string path;
    std::vector<std::string> arguments;
    bool json = false;
};

tevo::com::ComPtr<IDispatch> DispatchOf(ITevo* driver) {
    tevo::com::ComPtr<IDispatch> dispatch;
    Check(driver->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)),
          "IDispatch of the driver");
    return dispatch;
}

void PrintPlain(const PathResult& result, std::ostream& out) {
    if (result.value.Get()->vt != VT_EMPTY) {
        out << VariantToText(*result.value.Get(), result.type) << "\n";
    }
    for (const NamedValue& output : result.outputs) {
        const VARIANT& value = *output.value->Get();
        if ((value.vt & VT_ARRAY) != 0) {
            out << output.name << ":\n" << VariantToText(value, output.type) << "\n";
        } else {
            out << output.name << ": " << VariantToText(value, output.type) << "\n";
        }
    }
}

void PrintJson(const std::string& path, const PathResult& result, MemberAccess access,
               std::ostream& out) {
    std::vector<std::pair<std::string, std::string>> members = {{"path", JsonString(path)}};
    if (access != MemberAccess::kSet) {
        members.emplace_back(access == MemberAccess::kGet ? "value" : "result",
                             VariantToJson(*result.value.Get(), result.type));
    } else {
        members.emplace_back("ok", "true");
    }
    if (!result.outputs.empty()) {
        std::vector<std::pair<std::string, std::string>> outputs;
        for (const NamedValue& output : result.outputs) {
            outputs.emplace_back(output.name, VariantToJson(*output.value->Get(), output.type));
        }
        members.emplace_back("outputs", JsonObject(outputs));
    }
    out << JsonObject(members) << "\n";
}

int RunMember(const MemberCommandOptions& options, MemberAccess access, const Streams& streams) {
    ParseDispatchPath(options.path);  // usage errors before any connection
    DriverConnection connection(options.connection, streams.err);
    const auto dispatch = DispatchOf(connection.driver());
    const PathResult result = InvokePath(dispatch.Get(), options.path, access, options.arguments);
    if (options.json) {
        PrintJson(options.path, result, access, streams.out);
    } else {
        PrintPlain(result, streams.out);
    }
    return kExitSuccess;
}

CLI::App* AddMemberCommand(CLI::App& app, CommandAction& action, const char* name,
                           const char* description, MemberAccess access,
                           const std::shared_ptr<MemberCommandOptions>& options) {
    CLI::App* command = app.add_subcommand(name, description);
    AddConnectionOptions(*command, options->connection);
    command
        ->add_option("PATH", options->path,
                     "Dotted member path, e.g. Frequency.Start or Traces.Item(Trace2).Type "
                     "(names in any letter case)")
        ->required();
    command->add_flag("--json", options->json, "Print the result as JSON");
    command->callback([&action, options, access] {
        action = [options, access](const Streams& streams) {
            return RunMember(*options, access, streams);
        };
    });
    return command;
}

}  // namespace

void AddGetCommand(CLI::App& app, CommandAction& action) {
    auto options = std::make_shared<MemberCommandOptions>();
    AddMemberCommand(app, action, "get", "Read a driver property, e.g. tevo get Level.Reference",
                     MemberAccess::kGet, options);
}

void AddSetCommand(CLI::App& app, CommandAction& action) {
    auto options = std::make_shared<MemberCommandOptions>();
    CLI::App* command =
        AddMemberCommand(app, action, "set",
                         "Write a driver property, e.g. tevo set Frequency.Start 1GHz or "
                         "tevo set Acquisition.DetectorType MaxPeak",
                         MemberAccess::kSet, options);
    command
        ->add_option("VALUE", options->arguments,
                     "The value: a number with units (1GHz, -10dBm), true/false, an "
                     "enumeration member by name or number, or text")
        ->required()
        ->expected(1);
}

void AddCallCommand(CLI::App& app, CommandAction& action) {
    auto options = std::make_shared<MemberCommandOptions>();
    CLI::App* command = AddMemberCommand(
        app, action, "call", "Call a driver method, e.g. tevo call Marker.Search Highest",
        MemberAccess::kCall, options);
    command->add_option("ARG", options->arguments,
                        "The method's input arguments in order; output parameters are "
                        "printed after the call");
}

}  // namespace tevo::cli

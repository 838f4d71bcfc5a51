// tevo sessions: the logical names and driver sessions of the IVI configuration store (the
// master store of the system root), with the hardware asset and resource each session uses.
#include <CLI/CLI.hpp>

#include <memory>

#include "commands/command.h"
#include "output/json.h"
#include "session/errors.h"
#include "tevo/IviConfigServer.h"
#include "tevo/com/activation.h"
#include "tevo/com/holders.h"

namespace tevo::cli {

namespace {

using tevo::com::Bstr;
using tevo::com::ComPtr;

struct SessionsOptions {
    bool json = false;
};

struct LogicalNameEntry {
    std::string name;
    std::string session;
};

struct DriverSessionEntry {
    std::string name;
    std::string software_module;
    std::string hardware_asset;
    std::string resource;
};

VARIANT Position(LONG index) {
    VARIANT position;
    VariantInit(&position);
    position.vt = VT_I4;
    position.lVal = index;
    return position;
}

template <class Component>
std::string NameOf(Component* component) {
    Bstr name;
    if (component == nullptr || FAILED(component->get_Name(&name))) {
        return {};
    }
    return name.ToUtf8();
}

ComPtr<IIviConfigStore> OpenMasterStore() {
    CLSID clsid{};
    ComPtr<IIviConfigStore> store;
    HRESULT hr = CLSIDFromProgID(L"IviConfigServer.IviConfigStore", &clsid);
    if (SUCCEEDED(hr)) {
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IIviConfigStore,
                              reinterpret_cast<void**>(&store));
    }
    Check(hr, "creating the IVI configuration store");
    Bstr master;
    Check(store->get_MasterLocation(&master), "IviConfigStore.MasterLocation");
    Check(store->Deserialize(master.Get()), "reading the configuration store " + master.ToUtf8());
    return store;
}

std::vector<LogicalNameEntry> LogicalNames(IIviConfigStore* store) {
    ComPtr<IIviLogicalNameCollection> names;
    Check(store->get_LogicalNames(&names), "LogicalNames");
    LONG count = 0;
    Check(names->get_Count(&count), "LogicalNames.Count");
    std::vector<LogicalNameEntry> entries;
    for (LONG i = 1; i <= count; ++i) {
        ComPtr<IIviLogicalName> name;
        Check(names->get_Item(Position(i), &name), "LogicalNames.Item");
        ComPtr<IIviSession> session;
        name->get_Session(&session);
        entries.push_back({NameOf(name.Get()), NameOf(session.Get())});
    }
    return entries;
}

std::vector<DriverSessionEntry> DriverSessions(IIviConfigStore* store) {
    ComPtr<IIviDriverSessionCollection> sessions;
    Check(store->get_DriverSessions(&sessions), "DriverSessions");
    LONG count = 0;
    Check(sessions->get_Count(&count), "DriverSessions.Count");
    std::vector<DriverSessionEntry> entries;
    for (LONG i = 1; i <= count; ++i) {
        ComPtr<IIviDriverSession> session;
        Check(sessions->get_Item(Position(i), &session), "DriverSessions.Item");
        DriverSessionEntry entry;
        entry.name = NameOf(session.Get());
        ComPtr<IIviSoftwareModule> module;
        session->get_SoftwareModule(&module);
        entry.software_module = NameOf(module.Get());
        ComPtr<IIviHardwareAsset> asset;
        session->get_HardwareAsset(&asset);
        entry.hardware_asset = NameOf(asset.Get());
        Bstr resource;
        if (asset && SUCCEEDED(asset->get_IOResourceDescriptor(&resource))) {
            entry.resource = resource.ToUtf8();
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::string OrNone(const std::string& text) {
    return text.empty() ? "(none)" : text;
}

void PrintPlain(const std::vector<LogicalNameEntry>& names,
                const std::vector<DriverSessionEntry>& sessions, std::ostream& out) {
    out << "Logical names:\n";
    if (names.empty()) {
        out << "  (none)\n";
    }
    for (const LogicalNameEntry& name : names) {
        out << "  " << name.name << " -> " << OrNone(name.session) << "\n";
    }
    out << "Driver sessions:\n";
    if (sessions.empty()) {
        out << "  (none)\n";
    }
    for (const DriverSessionEntry& session : sessions) {
        out << "  " << session.name << "\n"
            << "    software module: " << OrNone(session.software_module) << "\n"
            << "    hardware asset:  " << OrNone(session.hardware_asset) << "\n"
            << "    resource:        " << OrNone(session.resource) << "\n";
    }
}

void PrintJson(const std::vector<LogicalNameEntry>& names,
               const std::vector<DriverSessionEntry>& sessions, std::ostream& out) {
    std::vector<std::string> name_objects;
    name_objects.reserve(names.size());
    for (const LogicalNameEntry& name : names) {
        name_objects.push_back(
            JsonObject({{"name", JsonString(name.name)}, {"session", JsonString(name.session)}}));
    }
    std::vector<std::string> session_objects;
    session_objects.reserve(sessions.size());
    for (const DriverSessionEntry& session : sessions) {
        session_objects.push_back(
            JsonObject({{"name", JsonString(session.name)},
                        {"software_module", JsonString(session.software_module)},
                        {"hardware_asset", JsonString(session.hardware_asset)},
                        {"resource", JsonString(session.resource)}}));
    }
    out << JsonObject({{"logical_names", JsonArray(name_objects)},
                       {"driver_sessions", JsonArray(session_objects)}})
        << "\n";
}

int RunSessions(const SessionsOptions& options, const Streams& streams) {
    const ComPtr<IIviConfigStore> store = OpenMasterStore();
    const std::vector<LogicalNameEntry> names = LogicalNames(store.Get());
    const std::vector<DriverSessionEntry> sessions = DriverSessions(store.Get());
    if (options.json) {
        PrintJson(names, sessions, streams.out);
    } else {
        PrintPlain(names, sessions, streams.out);
    }
    return kExitSuccess;
}

}  // namespace

void AddSessionsCommand(CLI::App& app, CommandAction& action) {
    auto options = std::make_shared<SessionsOptions>();
    CLI::App* command = app.add_subcommand(
        "sessions", "List the logical names and driver sessions of the IVI configuration store");
    command->add_flag("--json", options->json, "Print the lists as JSON");
    command->callback([&action, options] {
        action = [options](const Streams& streams) { return RunSessions(*options, streams); };
    });
}

}  // namespace tevo::cli

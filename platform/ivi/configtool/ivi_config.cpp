// The commands of ivi-config.
#include "ivi_config.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <cerrno>
#include <cstdint>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <tuple>
#include <type_traits>

#include "tevo/IviConfigServer.h"
#include "tevo/com/activation.h"
#include "tevo/com/apartment.h"
#include "tevo/com/com_ptr.h"
#include "tevo/com/errorinfo.h"
#include "tevo/com/holders.h"
#include "tevo/win/text.h"

namespace tevo::ivi::configtool {

namespace {

using tevo::com::Bstr;
using tevo::com::ComPtr;

constexpr char kProgramHelp[] =
    "Usage: ivi-config [--store FILE] COMMAND ...\n"
    "Lists and edits the IVI configuration store (the master store unless --store is given).\n"
    "\n"
    "Commands:\n"
    "  list [KIND]          list the entries (of one kind)\n"
    "  show KIND NAME       show one entry\n"
    "  add KIND NAME ...    add an entry; an existing entry stays as it is unless --replace\n"
    "  remove KIND NAME     remove an entry\n"
    "\n"
    "KIND is hardware-asset, software-module, driver-session, logical-name or published-api.\n"
    "Run 'ivi-config COMMAND --help' or 'ivi-config add KIND --help' for details.\n"
    "Exit code 0 on success; otherwise a message on standard error and a non-zero code.\n";

const std::map<std::string, std::string> kCommandHelp = {
    {"list",
     "Usage: ivi-config [--store FILE] list [KIND]\n"
     "Prints one entry per line: the name (published APIs: NAME MAJOR.MINOR TYPE); without\n"
     "KIND, each line starts with the kind.\n"},
    {"show",
     "Usage: ivi-config [--store FILE] show KIND NAME\n"
     "Prints the properties of one entry as 'Property: value' lines. A published API is\n"
     "named NAME:MAJOR.MINOR:TYPE.\n"},
    {"remove",
     "Usage: ivi-config [--store FILE] remove KIND NAME\n"
     "Removes one entry. An entry that others still refer to cannot be removed (a software\n"
     "module can: its sessions keep its name). A published API is named NAME:MAJOR.MINOR:TYPE.\n"},
    {"add",
     "Usage: ivi-config [--store FILE] add KIND NAME [OPTIONS] [--replace]\n"
     "KIND is hardware-asset, software-module, driver-session or logical-name; see\n"
     "'ivi-config add KIND --help'. An entry of that name is left exactly as it is unless\n"
     "--replace is given, which removes it first. --physical-name, --published-api and\n"
     "--virtual-name may be given more than once, every other option once.\n"},
    {"hardware-asset",
     "Usage: ivi-config add hardware-asset NAME --resource DESCRIPTOR [--description TEXT]\n"
     "       [--replace]\n"},
    {"software-module",
     "Usage: ivi-config add software-module NAME --progid PROGID [--prefix P] [--models LIST]\n"
     "       [--description TEXT] [--physical-name NAME:RCNAME[:RANGE:MIN:MAX]]...\n"
     "       [--published-api NAME:MAJOR.MINOR:TYPE]... [--replace]\n"
     "Published APIs missing from the store's global list are added to it.\n"},
    {"driver-session",
     "Usage: ivi-config add driver-session NAME --hardware-asset A --software-module M\n"
     "       [--description TEXT] [--cache B] [--interchange-check B] [--query-instr-status B]\n"
     "       [--range-check B] [--record-coercions B] [--simulate B] [--driver-setup TEXT]\n"
     "       [--virtual-name VIRTUAL=PHYSICAL]... [--replace]\n"
     "B is true or false. New sessions have cache and range-check true, the rest false.\n"},
    {"logical-name",
     "Usage: ivi-config add logical-name NAME --session S [--description TEXT] [--replace]\n"},
};

const char* const kKinds[] = {"hardware-asset", "software-module", "driver-session", "logical-name",
                              "published-api"};

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};
struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

VARIANT NameIndex(const Bstr& name) {
    VARIANT index;
    VariantInit(&index);
    index.vt = VT_BSTR;
    index.bstrVal = name.Get();  // borrowed: not cleared
    return index;
}

// Throws with the error info of a failed call.
void Check(HRESULT hr, const std::string& what) {
    if (SUCCEEDED(hr)) {
        return;
    }
    std::string detail;
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, &info) == S_OK && info) {
        Bstr description;
        if (SUCCEEDED(info->GetDescription(&description))) {
            detail = description.ToUtf8();
        }
    }
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
    throw Failure(what + " (" + code + ")" + (detail.empty() ? "" : ": " + detail));
}

template <class T>
ComPtr<T> Create(const wchar_t* progid, const IID& iid) {
    CLSID clsid{};
    Check(CLSIDFromProgID(progid, &clsid),
          "the configuration server class " + tevo::win::WideToUtf8(progid) + " is not registered");
    ComPtr<T> object;
    Check(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid,
                           object.ReleaseAndGetVoidAddressOf()),
          "cannot create " + tevo::win::WideToUtf8(progid));
    return object;
}

// An advisory lock on "<store>.lock" for the whole command (released when the process
// ends, also when it dies).
class StoreLock {
  public:
    StoreLock(const std::filesystem::path& store, bool exclusive) {
        std::error_code error;
        if (store.has_parent_path()) {
            std::filesystem::create_directories(store.parent_path(), error);
        }
        const std::string path = store.string() + ".lock";
        fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd_ < 0) {
            throw Failure("cannot open the lock file " + path);
        }
        while (::flock(fd_, exclusive ? LOCK_EX : LOCK_SH) != 0) {
            if (errno != EINTR) {
                throw Failure("cannot lock " + path);
            }
        }
    }
    ~StoreLock() { ::close(fd_); }
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;

  private:
    int fd_ = -1;
};

struct Options {
    std::string name;
    std::multimap<std::string, std::string> values;
    bool replace = false;

    std::optional<std::string> Get(const std::string& key) const {
        const auto it = values.find(key);
        return it == values.end() ? std::nullopt : std::optional<std::string>(it->second);
    }
    std::string Required(const std::string& key) const {
        auto value = Get(key);
        if (!value) {
            throw UsageError("--" + key + " is required");
        }
        return *value;
    }
};

// The options that may be given more than once; each of the others takes one value.
bool MayRepeat(const std::string& key) {
    return key == "physical-name" || key == "published-api" || key == "virtual-name";
}

Options ParseOptions(const std::vector<std::string>& args, std::size_t from,
                     const std::vector<std::string>& allowed) {
    Options options;
    for (std::size_t i = from; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--replace") {
            options.replace = true;
        } else if (arg.rfind("--", 0) == 0) {
            const std::string key = arg.substr(2);
            bool known = false;
            for (const auto& candidate : allowed) {
                known = known || candidate == key;
            }
            if (!known) {
                throw UsageError("unknown option " + arg);
            }
            if (i + 1 >= args.size()) {
                throw UsageError(arg + " needs a value");
            }
            if (!MayRepeat(key) && options.values.count(key) != 0) {
                throw UsageError(arg + " is given twice");
            }
            options.values.emplace(key, args[++i]);
        } else if (options.name.empty()) {
            options.name = arg;
        } else {
            throw UsageError("unexpected argument '" + arg + "'");
        }
    }
    if (options.name.empty()) {
        throw UsageError("a NAME is required");
    }
    return options;
}

VARIANT_BOOL ParseBool(const std::string& key, const std::string& text) {
    if (text == "true") {
        return VARIANT_TRUE;
    }
    if (text == "false") {
        return VARIANT_FALSE;
    }
    throw UsageError("--" + key + " must be true or false, not '" + text + "'");
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string::npos) {
            return parts;
        }
        start = end + 1;
    }
}

LONG ParseLong(const std::string& text, const std::string& what) {
    try {
        std::size_t used = 0;
        const long long value = std::stoll(text, &used);
        if (used == text.size() && value >= INT32_MIN && value <= INT32_MAX) {
            return static_cast<LONG>(value);
        }
    } catch (const std::exception&) {
    }
    throw UsageError(what + " is not a number: '" + text + "'");
}

struct ApiKey {
    std::string name;
    LONG major = 0;
    LONG minor = 0;
    std::string type;
};
ApiKey ParseApi(const std::string& text) {
    const auto parts = Split(text, ':');
    const auto version = parts.size() == 3 ? Split(parts[1], '.') : std::vector<std::string>();
    if (parts.size() != 3 || version.size() != 2 || parts[0].empty() || parts[2].empty()) {
        throw UsageError("a published API is NAME:MAJOR.MINOR:TYPE, not '" + text + "'");
    }
    return {parts[0], ParseLong(version[0], "MAJOR"), ParseLong(version[1], "MINOR"), parts[2]};
}

class Tool {
  public:
    Tool(std::optional<std::string> store_file) : store_file_(std::move(store_file)) {}

    int Execute(const std::vector<std::string>& args) {
        const std::string& command = args[0];
        if (command == "list") {
            if (args.size() > 2) {
                throw UsageError("list takes at most one KIND");
            }
            Open(false);
            if (args.size() == 2) {
                List(CheckKind(args[1]), false);
            } else {
                for (const char* kind : kKinds) {
                    List(kind, true);
                }
            }
            return 0;
        }
        if (command == "show" || command == "remove") {
            if (args.size() != 3) {
                throw UsageError(command + " takes KIND NAME");
            }
            const std::string kind = CheckKind(args[1]);
            Open(command == "remove");
            if (command == "show") {
                Show(kind, args[2]);
            } else {
                Remove(kind, args[2]);
                Save();
            }
            return 0;
        }
        if (command == "add") {
            if (args.size() < 2) {
                throw UsageError("add takes KIND NAME");
            }
            const std::string kind = CheckKind(args[1]);
            Add(kind, args);
            return 0;
        }
        throw UsageError("unknown command '" + command + "'");
    }

  private:
    static std::string CheckKind(const std::string& kind) {
        for (const char* candidate : kKinds) {
            if (kind == candidate) {
                return kind;
            }
        }
        throw UsageError("unknown kind '" + kind + "'");
    }

    void Open(bool for_change) {
        store_ = Create<IIviConfigStore>(L"IviConfigServer.IviConfigStore", IID_IIviConfigStore);
        Bstr location;
        if (store_file_) {
            path_ = std::filesystem::absolute(*store_file_);
            location = Bstr::FromUtf8(path_.string());
        } else {
            Check(store_->get_MasterLocation(&location), "cannot find the master store");
            path_ = location.ToUtf8();
        }
        lock_.emplace(path_, for_change);
        std::error_code error;
        // A store file that does not exist yet is an empty store; it is created on save.
        if (!std::filesystem::exists(path_, error) && (for_change || !store_file_)) {
            return;
        }
        Check(store_->Deserialize(location.Get()), "cannot load " + path_.string());
    }

    void Save() {
        Bstr location = Bstr::FromUtf8(path_.string());
        Check(store_->Serialize(location.Get()), "cannot save " + path_.string());
    }

    void List(const std::string& kind, bool with_kind) {
        const std::string prefix = with_kind ? kind + " " : "";
        auto print_all = [&](auto collection) {
            LONG count = 0;
            Check(collection->get_Count(&count), "cannot count");
            for (LONG i = 1; i <= count; ++i) {
                VARIANT index;
                VariantInit(&index);
                index.vt = VT_I4;
                index.lVal = i;
                std::cout << prefix << ItemName(collection.Get(), index) << "\n";
            }
        };
        if (kind == "hardware-asset") {
            ComPtr<IIviHardwareAssetCollection> c;
            Check(store_->get_HardwareAssets(&c), "HardwareAssets");
            print_all(c);
        } else if (kind == "software-module") {
            ComPtr<IIviSoftwareModuleCollection> c;
            Check(store_->get_SoftwareModules(&c), "SoftwareModules");
            print_all(c);
        } else if (kind == "driver-session") {
            ComPtr<IIviDriverSessionCollection> c;
            Check(store_->get_DriverSessions(&c), "DriverSessions");
            print_all(c);
        } else if (kind == "logical-name") {
            ComPtr<IIviLogicalNameCollection> c;
            Check(store_->get_LogicalNames(&c), "LogicalNames");
            print_all(c);
        } else {
            ComPtr<IIviPublishedAPICollection> c;
            Check(store_->get_PublishedAPIs(&c), "PublishedAPIs");
            print_all(c);
        }
    }

    template <class Coll>
    static std::string ItemName(Coll* collection, VARIANT index) {
        using Item = std::remove_pointer_t<
            std::remove_pointer_t<typename FirstOutParam<decltype(&Coll::get_Item)>::type>>;
        ComPtr<Item> item;
        Check(GetItem(collection, index, &item), "Item");
        return Describe(item.Get());
    }
    template <class T>
    struct FirstOutParam;
    template <class C, class R, class... A>
    struct FirstOutParam<R (C::*)(A...)> {
        using type = std::tuple_element_t<sizeof...(A) - 1, std::tuple<A...>>;
    };

    template <class Coll, class Item>
    static HRESULT GetItem(Coll* collection, VARIANT index, Item** out) {
        return collection->get_Item(index, out);
    }
    static HRESULT GetItem(IIviPublishedAPICollection* collection, VARIANT index,
                           IIviPublishedAPI** out) {
        return collection->get_Item(index, 0, 0, nullptr, out);
    }

    template <class Item>
    static std::string Describe(Item* item) {
        Bstr name;
        Check(item->get_Name(&name), "Name");
        return name.ToUtf8();
    }
    static std::string Describe(IIviPublishedAPI* api) {
        Bstr name;
        Bstr type;
        LONG major = 0;
        LONG minor = 0;
        Check(api->get_Name(&name), "Name");
        Check(api->get_Type(&type), "Type");
        Check(api->get_MajorVersion(&major), "MajorVersion");
        Check(api->get_MinorVersion(&minor), "MinorVersion");
        return name.ToUtf8() + " " + std::to_string(major) + "." + std::to_string(minor) + " " +
               type.ToUtf8();
    }

    ComPtr<IIviPublishedAPI> FindApi(const ApiKey& key, bool required) {
        ComPtr<IIviPublishedAPICollection> apis;
        Check(store_->get_PublishedAPIs(&apis), "PublishedAPIs");
        Bstr name = Bstr::FromUtf8(key.name);
        Bstr type = Bstr::FromUtf8(key.type);
        ComPtr<IIviPublishedAPI> api;
        const HRESULT hr = apis->get_Item(NameIndex(name), key.major, key.minor, type.Get(), &api);
        if (FAILED(hr) && required) {
            Check(hr, "no published API " + key.name);
        }
        return api;
    }

    void Show(const std::string& kind, const std::string& name_text) {
        const Bstr name = Bstr::FromUtf8(name_text);
        auto line = [](const char* key, const std::string& value) {
            std::cout << key << ": " << value << "\n";
        };
        auto text = [&](const char* key, auto* object,
                        HRESULT (std::remove_pointer_t<decltype(object)>::*getter)(BSTR*)) {
            Bstr value;
            Check((object->*getter)(&value), key);
            line(key, value.ToUtf8());
        };
        auto flag = [&](const char* key, IIviDriverSession* session,
                        HRESULT (IIviDriverSession::*getter)(VARIANT_BOOL*)) {
            VARIANT_BOOL value = VARIANT_FALSE;
            Check((session->*getter)(&value), key);
            line(key, value != VARIANT_FALSE ? "true" : "false");
        };
        if (kind == "hardware-asset") {
            ComPtr<IIviHardwareAssetCollection> c;
            Check(store_->get_HardwareAssets(&c), "HardwareAssets");
            ComPtr<IIviHardwareAsset> asset;
            Check(c->get_Item(NameIndex(name), &asset), "no hardware asset " + name_text);
            text("Name", asset.Get(), &IIviHardwareAsset::get_Name);
            text("Description", asset.Get(), &IIviHardwareAsset::get_Description);
            text("IOResourceDescriptor", asset.Get(), &IIviHardwareAsset::get_IOResourceDescriptor);
        } else if (kind == "software-module") {
            ComPtr<IIviSoftwareModuleCollection> c;
            Check(store_->get_SoftwareModules(&c), "SoftwareModules");
            ComPtr<IIviSoftwareModule> module;
            Check(c->get_Item(NameIndex(name), &module), "no software module " + name_text);
            text("Name", module.Get(), &IIviSoftwareModule::get_Name);
            text("Description", module.Get(), &IIviSoftwareModule::get_Description);
            text("ProgID", module.Get(), &IIviSoftwareModule::get_ProgID);
            text("Prefix", module.Get(), &IIviSoftwareModule::get_Prefix);
            text("SupportedInstrumentModels", module.Get(),
                 &IIviSoftwareModule::get_SupportedInstrumentModels);
            ComPtr<IIviPhysicalNameCollection> names;
            Check(module->get_PhysicalNames(&names), "PhysicalNames");
            LONG count = 0;
            Check(names->get_Count(&count), "Count");
            for (LONG i = 1; i <= count; ++i) {
                VARIANT index;
                VariantInit(&index);
                index.vt = VT_I4;
                index.lVal = i;
                ComPtr<IIviPhysicalName> physical;
                Check(names->get_Item(index, &physical), "PhysicalNames");
                Bstr physical_name;
                Bstr rc_name;
                Check(physical->get_Name(&physical_name), "Name");
                Check(physical->get_RCName(&rc_name), "RCName");
                std::string value = physical_name.ToUtf8() + ":" + rc_name.ToUtf8();
                ComPtr<IIviPhysicalRangeCollection> ranges;
                Check(physical->get_PhysicalRanges(&ranges), "PhysicalRanges");
                LONG range_count = 0;
                Check(ranges->get_Count(&range_count), "Count");
                for (LONG r = 1; r <= range_count; ++r) {
                    index.lVal = r;
                    ComPtr<IIviPhysicalRange> range;
                    Check(ranges->get_Item(index, &range), "PhysicalRanges");
                    Bstr range_name;
                    LONG min = 0;
                    LONG max = 0;
                    Check(range->get_Name(&range_name), "Name");
                    Check(range->get_Min(&min), "Min");
                    Check(range->get_Max(&max), "Max");
                    value += ":" + range_name.ToUtf8() + ":" + std::to_string(min) + ":" +
                             std::to_string(max);
                }
                line("PhysicalName", value);
            }
            ComPtr<IIviPublishedAPICollection> apis;
            Check(module->get_PublishedAPIs(&apis), "PublishedAPIs");
            Check(apis->get_Count(&count), "Count");
            for (LONG i = 1; i <= count; ++i) {
                VARIANT index;
                VariantInit(&index);
                index.vt = VT_I4;
                index.lVal = i;
                line("PublishedAPI", ItemName(apis.Get(), index));
            }
        } else if (kind == "driver-session") {
            ComPtr<IIviDriverSessionCollection> c;
            Check(store_->get_DriverSessions(&c), "DriverSessions");
            ComPtr<IIviDriverSession> session;
            Check(c->get_Item(NameIndex(name), &session), "no driver session " + name_text);
            text("Name", session.Get(), &IIviDriverSession::get_Name);
            text("Description", session.Get(), &IIviDriverSession::get_Description);
            ComPtr<IIviHardwareAsset> asset;
            Check(session->get_HardwareAsset(&asset), "HardwareAsset");
            line("HardwareAsset", asset ? Describe(asset.Get()) : "");
            text("SoftwareModuleName", session.Get(), &IIviDriverSession::get_SoftwareModuleName);
            flag("Cache", session.Get(), &IIviDriverSession::get_Cache);
            text("DriverSetup", session.Get(), &IIviDriverSession::get_DriverSetup);
            flag("InterchangeCheck", session.Get(), &IIviDriverSession::get_InterchangeCheck);
            flag("QueryInstrStatus", session.Get(), &IIviDriverSession::get_QueryInstrStatus);
            flag("RangeCheck", session.Get(), &IIviDriverSession::get_RangeCheck);
            flag("RecordCoercions", session.Get(), &IIviDriverSession::get_RecordCoercions);
            flag("Simulate", session.Get(), &IIviDriverSession::get_Simulate);
            ComPtr<IIviVirtualNameCollection> names;
            Check(session->get_VirtualNames(&names), "VirtualNames");
            LONG count = 0;
            Check(names->get_Count(&count), "Count");
            for (LONG i = 1; i <= count; ++i) {
                VARIANT index;
                VariantInit(&index);
                index.vt = VT_I4;
                index.lVal = i;
                ComPtr<IIviVirtualName> virtual_name;
                Check(names->get_Item(index, &virtual_name), "VirtualNames");
                Bstr virtual_text;
                Bstr map_to;
                Check(virtual_name->get_Name(&virtual_text), "Name");
                Check(virtual_name->get_MapTo(&map_to), "MapTo");
                line("VirtualName", virtual_text.ToUtf8() + "=" + map_to.ToUtf8());
            }
        } else if (kind == "logical-name") {
            ComPtr<IIviLogicalNameCollection> c;
            Check(store_->get_LogicalNames(&c), "LogicalNames");
            ComPtr<IIviLogicalName> logical;
            Check(c->get_Item(NameIndex(name), &logical), "no logical name " + name_text);
            text("Name", logical.Get(), &IIviLogicalName::get_Name);
            text("Description", logical.Get(), &IIviLogicalName::get_Description);
            ComPtr<IIviSession> session;
            Check(logical->get_Session(&session), "Session");
            line("Session", session ? Describe(session.Get()) : "");
        } else {
            const ComPtr<IIviPublishedAPI> api = FindApi(ParseApi(name_text), true);
            text("Name", api.Get(), &IIviPublishedAPI::get_Name);
            LONG major = 0;
            LONG minor = 0;
            Check(api->get_MajorVersion(&major), "MajorVersion");
            Check(api->get_MinorVersion(&minor), "MinorVersion");
            line("MajorVersion", std::to_string(major));
            line("MinorVersion", std::to_string(minor));
            text("Type", api.Get(), &IIviPublishedAPI::get_Type);
        }
    }

    // Removes an entry; false when there is none of that name.
    bool Remove(const std::string& kind, const std::string& name_text, bool must_exist = true) {
        const Bstr name = Bstr::FromUtf8(name_text);
        HRESULT hr = S_OK;
        if (kind == "hardware-asset") {
            ComPtr<IIviHardwareAssetCollection> c;
            Check(store_->get_HardwareAssets(&c), "HardwareAssets");
            hr = c->Remove(NameIndex(name));
        } else if (kind == "software-module") {
            ComPtr<IIviSoftwareModuleCollection> c;
            Check(store_->get_SoftwareModules(&c), "SoftwareModules");
            hr = c->Remove(NameIndex(name));
        } else if (kind == "driver-session") {
            ComPtr<IIviDriverSessionCollection> c;
            Check(store_->get_DriverSessions(&c), "DriverSessions");
            hr = c->Remove(NameIndex(name));
        } else if (kind == "logical-name") {
            ComPtr<IIviLogicalNameCollection> c;
            Check(store_->get_LogicalNames(&c), "LogicalNames");
            hr = c->Remove(NameIndex(name));
        } else {
            const ApiKey key = ParseApi(name_text);
            ComPtr<IIviPublishedAPICollection> c;
            Check(store_->get_PublishedAPIs(&c), "PublishedAPIs");
            Bstr api_name = Bstr::FromUtf8(key.name);
            Bstr type = Bstr::FromUtf8(key.type);
            ComPtr<IIviPublishedAPI> removed;
            hr = c->Remove(NameIndex(api_name), key.major, key.minor, type.Get(), &removed);
        }
        if (hr == E_IVICONFIG_NOT_EXIST && !must_exist) {
            return false;
        }
        Check(hr, "cannot remove " + kind + " " + name_text);
        return true;
    }

    template <class Coll>
    static bool Exists(Coll* collection, const Bstr& name) {
        using Item = std::remove_pointer_t<
            std::remove_pointer_t<typename FirstOutParam<decltype(&Coll::get_Item)>::type>>;
        ComPtr<Item> item;
        return SUCCEEDED(collection->get_Item(NameIndex(name), &item));
    }

    void Add(const std::string& kind, const std::vector<std::string>& args) {
        static const std::map<std::string, std::vector<std::string>> kAllowed = {
            {"hardware-asset", {"resource", "description"}},
            {"software-module",
             {"progid", "prefix", "models", "description", "physical-name", "published-api"}},
            {"driver-session",
             {"hardware-asset", "software-module", "description", "cache", "interchange-check",
              "query-instr-status", "range-check", "record-coercions", "simulate", "driver-setup",
              "virtual-name"}},
            {"logical-name", {"session", "description"}},
        };
        const auto allowed = kAllowed.find(kind);
        if (allowed == kAllowed.end()) {
            throw UsageError("published APIs are added with 'add software-module --published-api'");
        }
        const Options options = ParseOptions(args, 2, allowed->second);
        // Check the option values before touching the store.
        if (kind == "hardware-asset") {
            options.Required("resource");
        } else if (kind == "software-module") {
            options.Required("progid");
            for (auto [it, end] = options.values.equal_range("published-api"); it != end; ++it) {
                ParseApi(it->second);
            }
        } else if (kind == "driver-session") {
            options.Required("hardware-asset");
            options.Required("software-module");
            for (const char* key : {"cache", "interchange-check", "query-instr-status",
                                    "range-check", "record-coercions", "simulate"}) {
                if (auto value = options.Get(key)) {
                    ParseBool(key, *value);
                }
            }
        } else {
            options.Required("session");
        }
        Open(true);
        const Bstr name = Bstr::FromUtf8(options.name);
        if (options.replace) {
            Remove(kind, options.name, false);
        } else if (Present(kind, name)) {
            std::cout << kind << " " << options.name << " exists already; left unchanged\n";
            return;
        }
        if (kind == "hardware-asset") {
            AddAsset(options);
        } else if (kind == "software-module") {
            AddModule(options);
        } else if (kind == "driver-session") {
            AddSession(options);
        } else {
            AddLogicalName(options);
        }
        Save();
    }

    bool Present(const std::string& kind, const Bstr& name) {
        if (kind == "hardware-asset") {
            ComPtr<IIviHardwareAssetCollection> c;
            Check(store_->get_HardwareAssets(&c), "HardwareAssets");
            return Exists(c.Get(), name);
        }
        if (kind == "software-module") {
            ComPtr<IIviSoftwareModuleCollection> c;
            Check(store_->get_SoftwareModules(&c), "SoftwareModules");
            return Exists(c.Get(), name);
        }
        if (kind == "driver-session") {
            ComPtr<IIviSessionCollection> c;
            Check(store_->get_Sessions(&c), "Sessions");
            return Exists(c.Get(), name);
        }
        ComPtr<IIviLogicalNameCollection> c;
        Check(store_->get_LogicalNames(&c), "LogicalNames");
        return Exists(c.Get(), name);
    }

    static Bstr B(const std::optional<std::string>& text) {
        return Bstr::FromUtf8(text.value_or(""));
    }

    void AddAsset(const Options& options) {
        auto asset =
            Create<IIviHardwareAsset>(L"IviConfigServer.IviHardwareAsset", IID_IIviHardwareAsset);
        Check(asset->put_Name(B(options.name).Get()), "Name");
        Check(asset->put_Description(B(options.Get("description")).Get()), "Description");
        Check(asset->put_IOResourceDescriptor(B(options.Get("resource")).Get()),
              "IOResourceDescriptor");
        ComPtr<IIviHardwareAssetCollection> c;
        Check(store_->get_HardwareAssets(&c), "HardwareAssets");
        Check(c->Add(asset.Get()), "cannot add hardware asset " + options.name);
    }

    void AddModule(const Options& options) {
        auto module = Create<IIviSoftwareModule>(L"IviConfigServer.IviSoftwareModule",
                                                 IID_IIviSoftwareModule);
        Check(module->put_Name(B(options.name).Get()), "Name");
        Check(module->put_Description(B(options.Get("description")).Get()), "Description");
        Check(module->put_ProgID(B(options.Get("progid")).Get()), "ProgID");
        Check(module->put_Prefix(B(options.Get("prefix")).Get()), "Prefix");
        Check(module->put_SupportedInstrumentModels(B(options.Get("models")).Get()),
              "SupportedInstrumentModels");
        ComPtr<IIviPhysicalNameCollection> names;
        Check(module->get_PhysicalNames(&names), "PhysicalNames");
        for (auto [it, end] = options.values.equal_range("physical-name"); it != end; ++it) {
            const auto parts = Split(it->second, ':');
            if ((parts.size() != 2 && parts.size() != 5) || parts[1].empty()) {
                throw UsageError("a physical name is NAME:RCNAME[:RANGE:MIN:MAX], not '" +
                                 it->second + "'");
            }
            auto physical =
                Create<IIviPhysicalName>(L"IviConfigServer.IviPhysicalName", IID_IIviPhysicalName);
            Check(physical->put_Name(B(parts[0]).Get()), "Name");
            Check(physical->put_RCName(B(parts[1]).Get()), "RCName");
            if (parts.size() == 5) {
                auto range = Create<IIviPhysicalRange>(L"IviConfigServer.IviPhysicalRange",
                                                       IID_IIviPhysicalRange);
                Check(range->put_Name(B(parts[2]).Get()), "Name");
                Check(range->put_Min(ParseLong(parts[3], "MIN")), "Min");
                Check(range->put_Max(ParseLong(parts[4], "MAX")), "Max");
                ComPtr<IIviPhysicalRangeCollection> ranges;
                Check(physical->get_PhysicalRanges(&ranges), "PhysicalRanges");
                Check(ranges->Add(range.Get()), "cannot add range " + parts[2]);
            }
            Check(names->Add(physical.Get()), "cannot add physical name " + parts[0]);
        }
        ComPtr<IIviSoftwareModuleCollection> modules;
        Check(store_->get_SoftwareModules(&modules), "SoftwareModules");
        Check(modules->Add(module.Get()), "cannot add software module " + options.name);
        // Published APIs: the global entry first (created when missing), then the module's.
        ComPtr<IIviPublishedAPICollection> module_apis;
        Check(module->get_PublishedAPIs(&module_apis), "PublishedAPIs");
        for (auto [it, end] = options.values.equal_range("published-api"); it != end; ++it) {
            const ApiKey key = ParseApi(it->second);
            ComPtr<IIviPublishedAPI> api = FindApi(key, false);
            if (!api) {
                api = Create<IIviPublishedAPI>(L"IviConfigServer.IviPublishedAPI",
                                               IID_IIviPublishedAPI);
                Check(api->put_Name(B(key.name).Get()), "Name");
                Check(api->put_MajorVersion(key.major), "MajorVersion");
                Check(api->put_MinorVersion(key.minor), "MinorVersion");
                Check(api->put_Type(B(key.type).Get()), "Type");
                ComPtr<IIviPublishedAPICollection> apis;
                Check(store_->get_PublishedAPIs(&apis), "PublishedAPIs");
                Check(apis->Add(api.Get()), "cannot add published API " + key.name);
            }
            Bstr api_name = B(key.name);
            Bstr type = B(key.type);
            ComPtr<IIviPublishedAPI> listed;
            if (FAILED(module_apis->get_Item(NameIndex(api_name), key.major, key.minor, type.Get(),
                                             &listed))) {
                Check(module_apis->Add(api.Get()), "cannot add published API " + key.name);
            }
        }
    }

    void AddSession(const Options& options) {
        auto session =
            Create<IIviDriverSession>(L"IviConfigServer.IviDriverSession", IID_IIviDriverSession);
        Check(session->put_Name(B(options.name).Get()), "Name");
        Check(session->put_Description(B(options.Get("description")).Get()), "Description");
        ComPtr<IIviHardwareAssetCollection> assets;
        Check(store_->get_HardwareAssets(&assets), "HardwareAssets");
        ComPtr<IIviHardwareAsset> asset;
        const Bstr asset_name = B(options.Get("hardware-asset"));
        Check(assets->get_Item(NameIndex(asset_name), &asset),
              "no hardware asset " + asset_name.ToUtf8());
        Check(session->putref_HardwareAsset(asset.Get()), "HardwareAsset");
        ComPtr<IIviSoftwareModuleCollection> modules;
        Check(store_->get_SoftwareModules(&modules), "SoftwareModules");
        ComPtr<IIviSoftwareModule> module;
        const Bstr module_name = B(options.Get("software-module"));
        Check(modules->get_Item(NameIndex(module_name), &module),
              "no software module " + module_name.ToUtf8());
        Check(session->putref_SoftwareModule(module.Get()), "SoftwareModule");
        const std::pair<const char*, HRESULT (IIviDriverSession::*)(VARIANT_BOOL)> flags[] = {
            {"cache", &IIviDriverSession::put_Cache},
            {"interchange-check", &IIviDriverSession::put_InterchangeCheck},
            {"query-instr-status", &IIviDriverSession::put_QueryInstrStatus},
            {"range-check", &IIviDriverSession::put_RangeCheck},
            {"record-coercions", &IIviDriverSession::put_RecordCoercions},
            {"simulate", &IIviDriverSession::put_Simulate},
        };
        for (const auto& [key, setter] : flags) {
            if (auto value = options.Get(key)) {
                Check((session.Get()->*setter)(ParseBool(key, *value)), key);
            }
        }
        Check(session->put_DriverSetup(B(options.Get("driver-setup")).Get()), "DriverSetup");
        ComPtr<IIviVirtualNameCollection> names;
        Check(session->get_VirtualNames(&names), "VirtualNames");
        for (auto [it, end] = options.values.equal_range("virtual-name"); it != end; ++it) {
            const std::size_t equals = it->second.find('=');
            if (equals == std::string::npos || equals == 0 || equals + 1 == it->second.size()) {
                throw UsageError("a virtual name is VIRTUAL=PHYSICAL, not '" + it->second + "'");
            }
            auto virtual_name =
                Create<IIviVirtualName>(L"IviConfigServer.IviVirtualName", IID_IIviVirtualName);
            Check(virtual_name->put_Name(B(it->second.substr(0, equals)).Get()), "Name");
            Check(virtual_name->put_MapTo(B(it->second.substr(equals + 1)).Get()), "MapTo");
            Check(names->Add(virtual_name.Get()), "cannot add virtual name " + it->second);
        }
        ComPtr<IIviDriverSessionCollection> sessions;
        Check(store_->get_DriverSessions(&sessions), "DriverSessions");
        Check(sessions->Add(session.Get()), "cannot add driver session " + options.name);
    }

    void AddLogicalName(const Options& options) {
        auto logical =
            Create<IIviLogicalName>(L"IviConfigServer.IviLogicalName", IID_IIviLogicalName);
        Check(logical->put_Name(B(options.name).Get()), "Name");
        Check(logical->put_Description(B(options.Get("description")).Get()), "Description");
        ComPtr<IIviSessionCollection> sessions;
        Check(store_->get_Sessions(&sessions), "Sessions");
        ComPtr<IIviSession> session;
        const Bstr session_name = B(options.Get("session"));
        Check(sessions->get_Item(NameIndex(session_name), &session),
              "no session " + session_name.ToUtf8());
        Check(logical->putref_Session(session.Get()), "Session");
        ComPtr<IIviLogicalNameCollection> names;
        Check(store_->get_LogicalNames(&names), "LogicalNames");
        Check(names->Add(logical.Get()), "cannot add logical name " + options.name);
    }

    std::optional<std::string> store_file_;
    std::filesystem::path path_;
    ComPtr<IIviConfigStore> store_;
    std::optional<StoreLock> lock_;
};

// Printable ASCII as it is, every other byte as \xNN: shows an argument that is not text.
std::string Escaped(const std::string& bytes) {
    std::string shown;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F) {
            shown += c;
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", byte);
            shown += escape;
        }
    }
    return shown;
}

// Every argument is stored or looked up as UTF-8 text; a malformed sequence would turn into
// U+FFFD, so that different names would meet in one entry.
void CheckArgumentsAreUtf8(const std::vector<std::string>& args) {
    for (const auto& arg : args) {
        if (!tevo::win::IsValidUtf8(arg)) {
            throw UsageError("the argument '" + Escaped(arg) + "' is not valid UTF-8");
        }
    }
}

// Takes a leading "--store FILE" off the arguments: the file, or nothing for the master
// store. FILE must not name a folder (a store is one file).
std::optional<std::string> TakeStoreOption(std::vector<std::string>& args) {
    std::optional<std::string> store_file;
    while (!args.empty() && args[0] == "--store") {
        if (store_file) {
            throw UsageError("--store is given twice");
        }
        if (args.size() < 2 || args[1].empty()) {
            throw UsageError("--store needs a FILE");
        }
        store_file = args[1];
        args.erase(args.begin(), args.begin() + 2);
    }
    std::error_code error;
    if (store_file && (std::filesystem::is_directory(*store_file, error) ||
                       !std::filesystem::path(*store_file).has_filename())) {
        throw UsageError("--store names a folder, not a store file: '" + *store_file + "'");
    }
    return store_file;
}

int ReportUsageError(const UsageError& error) {
    std::cerr << "ivi-config: " << error.what() << "\nRun 'ivi-config --help' for usage.\n";
    return 2;
}

bool WantsHelp(const std::vector<std::string>& args) {
    for (const auto& arg : args) {
        if (arg == "--help" || arg == "-h") {
            return true;
        }
    }
    return false;
}

}  // namespace

int Run(const std::vector<std::string>& all_args) {
    std::vector<std::string> args = all_args;
    std::optional<std::string> store_file;
    try {
        CheckArgumentsAreUtf8(args);
        store_file = TakeStoreOption(args);
    } catch (const UsageError& error) {
        return ReportUsageError(error);
    }
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        std::cout << kProgramHelp;
        return args.empty() ? 2 : 0;
    }
    if (WantsHelp(args)) {
        auto help = kCommandHelp.find(
            args[0] == "add" && args.size() > 1 && args[1] != "--help" ? args[1] : args[0]);
        if (help == kCommandHelp.end()) {
            std::cerr << "ivi-config: unknown command '" << args[0] << "'\n";
            return 2;
        }
        std::cout << help->second;
        return 0;
    }
    const HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    int code = 0;
    try {
        Tool tool(store_file);
        code = tool.Execute(args);
    } catch (const UsageError& error) {
        code = ReportUsageError(error);
    } catch (const std::exception& error) {
        std::cerr << "ivi-config: " << error.what() << "\n";
        code = 1;
    }
    if (SUCCEEDED(init)) {
        CoUninitialize();
    }
    return code;
}

}  // namespace tevo::ivi::configtool

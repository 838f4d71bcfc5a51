// Reading and writing the configuration-store XML. The writer emits the standard element
// order, TAB indentation, 0/1 booleans and fresh p1, p2, ... ids; the reader accepts any
// child order, true/false booleans and files without the newer module elements, resolves
// idref against the global entries of the expected kind, and ignores unknown elements. Text
// that is not UTF-8, or that the store cannot hold (stored_text.h), fails the load.
#include "store_xml.h"

#include <pugixml.hpp>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <map>
#include <set>
#include <sstream>

#include "data_components.h"
#include "stored_text.h"
#include "tevo/win/text.h"

namespace tevo::ivi::config {

namespace {

using tevo::com::ComPtr;
using tevo::win::Utf8ToWide;
using tevo::win::WideToUtf8;

// ---------------------------------------------------------------- writer

class Writer {
  public:
    std::string Write(ConfigStoreObject& store, const std::wstring& master) {
        pugi::xml_document doc;
        auto declaration = doc.append_child(pugi::node_declaration);
        declaration.append_attribute("version") = "1.0";
        declaration.append_attribute("encoding") = "utf-8";
        auto root = doc.append_child("IviConfigStore");
        root.append_attribute("xmlns:dt") = "urn:schemas-microsoft-com:datatypes";
        Text(root, "Name", kServerName);
        Text(root, "Description", store.description);
        Text(root, "Vendor", kServerVendor);
        Text(root, "Revision", kServerRevision);
        Number(root, "SpecificationMajorVersion", kSpecificationMajorVersion);
        Number(root, "SpecificationMinorVersion", kSpecificationMinorVersion);
        Text(root, "MasterLocation", master);
        Text(root, "ProcessDefaultLocation", L"");
        Text(root, "ActualLocation", L"");

        auto apis = root.append_child("PublishedAPIs");
        for (const auto& item : store.published_apis->Items()) {
            WriteApi(apis, *ImplOf<PublishedApiObject>(item.Get()).Get(), item.Get());
        }
        auto modules = root.append_child("SoftwareModules");
        for (const auto& item : store.software_modules->Items()) {
            WriteModule(modules, *ImplOf<SoftwareModuleObject>(item.Get()).Get());
        }
        auto assets = root.append_child("HardwareAssets");
        for (const auto& item : store.hardware_assets->Items()) {
            const auto asset = ImplOf<HardwareAssetObject>(item.Get());
            auto node = Entity(assets, "IviHardwareAsset", item.Get());
            Text(node, "Name", asset->name);
            Text(node, "Description", asset->description);
            WriteDataComponents(node, *asset->data_components.Get());
            Text(node, "IOResourceDescriptor", asset->io_resource_descriptor);
        }
        auto driver_sessions = root.append_child("DriverSessions");
        for (const auto& item : store.driver_sessions->Items()) {
            WriteSession(driver_sessions, *ImplOf<SessionObject>(item.Get()).Get());
        }
        auto sessions = root.append_child("Sessions");
        for (const auto& item : store.sessions->Items()) {
            const auto session = ImplOf<SessionObject>(item.Get());
            if (session->driver_session) {
                Reference(sessions, "IviDriverSession", item.Get());
            } else {
                WriteSession(sessions, *session.Get());
            }
        }
        auto logical_names = root.append_child("LogicalNames");
        for (const auto& item : store.logical_names->Items()) {
            const auto logical = ImplOf<LogicalNameObject>(item.Get());
            auto node = Entity(logical_names, "IviLogicalName", item.Get());
            Text(node, "Name", logical->name);
            Text(node, "Description", logical->description);
            if (logical->session) {
                Reference(node,
                          logical->session->driver_session ? "IviDriverSession" : "IviSession",
                          static_cast<IIviSession*>(logical->session.Get()));
            }
        }
        std::ostringstream out;
        doc.save(out, "\t", pugi::format_indent | pugi::format_no_empty_element_tags,
                 pugi::encoding_utf8);
        return out.str();
    }

  private:
    static void Text(pugi::xml_node parent, const char* name, const std::wstring& value) {
        auto node = parent.append_child(name);
        if (!value.empty()) {
            node.text() = WideToUtf8(value).c_str();
        }
    }
    static void Number(pugi::xml_node parent, const char* name, long long value) {
        parent.append_child(name).text() = std::to_string(value).c_str();
    }
    static void Real(pugi::xml_node parent, const char* name, double value) {
        std::ostringstream text;
        text.imbue(std::locale::classic());
        text.precision(17);
        text << value;
        parent.append_child(name).text() = text.str().c_str();
    }
    static void Bool(pugi::xml_node parent, const char* name, bool value) {
        parent.append_child(name).text() = value ? "1" : "0";
    }

    pugi::xml_node Entity(pugi::xml_node parent, const char* element, IUnknown* object) {
        auto node = parent.append_child(element);
        const std::string id = "p" + std::to_string(++next_id_);
        node.append_attribute("id") = id.c_str();
        ids_[object] = id;
        return node;
    }
    void Reference(pugi::xml_node parent, const char* element, IUnknown* object) {
        parent.append_child(element).append_attribute("idref") = ids_[object].c_str();
    }

    void WriteApi(pugi::xml_node parent, const PublishedApiObject& api, IUnknown* object) {
        auto node = Entity(parent, "IviPublishedAPI", object);
        Text(node, "Name", api.name);
        Number(node, "MajorVersion", api.major);
        Number(node, "MinorVersion", api.minor);
        Text(node, "Type", api.type);
    }

    void WriteDataComponents(pugi::xml_node parent, DataComponentCollection& components) {
        auto wrapper = parent.append_child("DataComponents");
        for (const auto& item : components.Items()) {
            const DataComponentState& state = *StateOf(item.Get());
            const std::string element = "Ivi" + WideToUtf8(DataKindName(state.kind));
            auto node = Entity(wrapper, element.c_str(), item.Get());
            Text(node, "Name", state.name);
            Text(node, "Description", state.description);
            Bool(node, "ReadOnly", state.read_only);
            Text(node, "UsedInSession", state.used_in_session);
            Text(node, "Type", DataKindName(state.kind));
            Number(node, "HelpContextID", state.help_context_id);
            Text(node, "HelpFilePath", state.help_file_path);
            Text(node, "SoftwareModuleKey", state.software_module_key);
            switch (state.kind) {
                case DataKind::kStructure:
                    WriteDataComponents(node, *state.children.Get());
                    break;
                case DataKind::kBoolean:
                    Bool(node, "Value", state.bool_value);
                    break;
                case DataKind::kString:
                    Text(node, "Value", state.string_value);
                    break;
                case DataKind::kInteger:
                    Text(node, "Units", state.units);
                    Number(node, "Value", state.long_value);
                    break;
                case DataKind::kReal:
                    Text(node, "Units", state.units);
                    Real(node, "Value", state.real_value);
                    break;
                case DataKind::kApiReference:
                    Text(node, "Value", state.string_value);
                    if (state.published_api) {
                        Reference(node, "IviPublishedAPI", state.published_api.Get());
                    }
                    break;
            }
        }
    }

    void WritePhysicalNames(pugi::xml_node parent, PhysicalNameCollection& names) {
        auto wrapper = parent.append_child("PhysicalNames");
        for (const auto& item : names.Items()) {
            const auto name = ImplOf<PhysicalNameObject>(item.Get());
            auto node = Entity(wrapper, "IviPhysicalName", item.Get());
            Text(node, "Name", name->name);
            Text(node, "RCName", name->rc_name);
            WritePhysicalNames(node, *name->children.Get());
            auto ranges = node.append_child("PhysicalRanges");
            for (const auto& range_item : name->ranges->Items()) {
                const auto range = ImplOf<PhysicalRangeObject>(range_item.Get());
                auto range_node = Entity(ranges, "IviPhysicalRange", range_item.Get());
                Text(range_node, "Name", range->name);
                Number(range_node, "Max", range->max);
                Number(range_node, "Min", range->min);
            }
        }
    }

    void WriteModule(pugi::xml_node parent, SoftwareModuleObject& module) {
        auto node = Entity(parent, "IviSoftwareModule", static_cast<IIviSoftwareModule*>(&module));
        Text(node, "Name", module.name);
        Text(node, "Description", module.description);
        WriteDataComponents(node, *module.data_components.Get());
        Text(node, "ModulePath", module.module_path32);
        Text(node, "Prefix", module.prefix);
        Text(node, "ProgID", module.prog_id);
        Text(node, "SupportedInstrumentModels", module.supported_instrument_models);
        WritePhysicalNames(node, *module.physical_names.Get());
        auto apis = node.append_child("PublishedAPIs");
        for (const auto& api : module.published_apis->Items()) {
            Reference(apis, "IviPublishedAPI", api.Get());
        }
        Text(node, "AssemblyQualifiedClassName", module.assembly_qualified_class_name);
        Text(node, "ModulePath64", module.module_path64);
    }

    void WriteSession(pugi::xml_node parent, SessionObject& session) {
        IUnknown* object = static_cast<IIviSession*>(&session);
        auto node =
            Entity(parent, session.driver_session ? "IviDriverSession" : "IviSession", object);
        Text(node, "Name", session.name);
        Text(node, "Description", session.description);
        WriteDataComponents(node, *session.data_components.Get());
        if (session.hardware_asset) {
            Reference(node, "IviHardwareAsset",
                      static_cast<IIviHardwareAsset*>(session.hardware_asset.Get()));
        }
        if (session.software_module) {
            Reference(node, "IviSoftwareModuleRef",
                      static_cast<IIviSoftwareModule*>(session.software_module.Get()));
        }
        auto names = node.append_child("VirtualNames");
        for (const auto& item : session.virtual_names->Items()) {
            const auto name = ImplOf<VirtualNameObject>(item.Get());
            auto name_node = Entity(names, "IviVirtualName", item.Get());
            Text(name_node, "Name", name->name);
            Text(name_node, "MapTo", name->map_to);
            auto ranges = name_node.append_child("VirtualRanges");
            for (const auto& range_item : name->ranges->Items()) {
                const auto range = ImplOf<VirtualRangeObject>(range_item.Get());
                auto range_node = Entity(ranges, "IviVirtualRange", range_item.Get());
                Text(range_node, "Name", range->name);
                Number(range_node, "Max", range->max);
                Number(range_node, "Min", range->min);
                Number(range_node, "StartingPhysicalIndex", range->starting_physical_index);
            }
        }
        Text(node, "SoftwareModuleName", session.software_module_name);
        if (session.driver_session) {
            Bool(node, "Cache", session.cache);
            Text(node, "DriverSetup", session.driver_setup);
            Bool(node, "InterchangeCheck", session.interchange_check);
            Bool(node, "QueryInstrStatus", session.query_instr_status);
            Bool(node, "RangeCheck", session.range_check);
            Bool(node, "RecordCoercions", session.record_coercions);
            Bool(node, "Simulate", session.simulate);
        }
    }

    int next_id_ = 0;
    std::map<IUnknown*, std::string> ids_;
};

// ---------------------------------------------------------------- reader

// How deep physical names may nest in a store file; far more than any driver's repeated
// capabilities need.
constexpr int kMaxPhysicalNameDepth = 64;

struct ReadError {
    std::wstring text;
};

class Reader {
  public:
    explicit Reader(ConfigStoreObject& store) : store_(store) {}

    void Read(pugi::xml_node root) {
        if (std::string_view(root.name()) != "IviConfigStore") {
            Throw("the root element is <" + std::string(root.name()) + ">, not <IviConfigStore>");
        }
        if (auto description = root.child("Description")) {
            store_.description = String(root, "Description");
        }
        CheckIds(root);
        for (auto node : root.child("PublishedAPIs").children("IviPublishedAPI")) {
            auto api = MakeObject<PublishedApiObject>();
            api->name = NameText(node, "Name");
            api->major = Long(node, "MajorVersion");
            api->minor = Long(node, "MinorVersion");
            api->type = NameText(node, "Type");
            if (api->name.empty() || api->type.empty()) {
                Throw("a published API without a name or type", node);
            }
            if (store_.published_apis->Find(api->name, api->major, api->minor, api->type)) {
                Throw("the published API '" + WideToUtf8(api->name) + "' is defined twice", node);
            }
            api->store_id = store_.id;
            store_.published_apis->Append(api.Get());
            Define(node, static_cast<IIviPublishedAPI*>(api.Get()));
        }
        for (auto node : root.child("SoftwareModules").children("IviSoftwareModule")) {
            ReadModule(node);
        }
        for (auto node : root.child("HardwareAssets").children("IviHardwareAsset")) {
            auto asset = MakeObject<HardwareAssetObject>();
            asset->name =
                Name(node, static_cast<bool>(store_.hardware_assets->Find(NameText(node, "Name"))));
            asset->description = String(node, "Description");
            ReadDataComponents(node.child("DataComponents"), *asset->data_components.Get());
            asset->io_resource_descriptor = String(node, "IOResourceDescriptor");
            asset->store_id = store_.id;
            store_.hardware_assets->Append(asset.Get());
            Define(node, static_cast<IIviHardwareAsset*>(asset.Get()));
        }
        for (auto node : root.child("DriverSessions").children()) {
            if (std::string_view(node.name()) == "IviDriverSession") {
                ReadSession(node, true);
            }
        }
        for (auto node : root.child("Sessions").children()) {
            const std::string_view element = node.name();
            if (element != "IviSession" && element != "IviDriverSession") {
                continue;
            }
            if (node.attribute("idref")) {
                auto session = Resolve<SessionObject>(node);
                if (!store_.sessions->Contains(static_cast<IIviSession*>(session.Get()))) {
                    store_.sessions->Append(session.Get());
                }
            } else {
                ReadSession(node, element == "IviDriverSession");
            }
        }
        for (auto node : root.child("LogicalNames").children("IviLogicalName")) {
            auto logical = MakeObject<LogicalNameObject>();
            logical->name =
                Name(node, static_cast<bool>(store_.logical_names->Find(NameText(node, "Name"))));
            logical->description = String(node, "Description");
            for (auto ref : node.children()) {
                const std::string_view element = ref.name();
                if ((element == "IviSession" || element == "IviDriverSession") &&
                    ref.attribute("idref")) {
                    logical->session = Resolve<SessionObject>(ref);
                }
            }
            logical->store_id = store_.id;
            store_.logical_names->Append(logical.Get());
        }
    }

  private:
    [[noreturn]] static void Throw(const std::string& text, pugi::xml_node node = {}) {
        std::string where;
        if (node) {
            where = " (element <" + std::string(node.name()) + ">";
            // The entry's name, unless it is the text that cannot be read.
            const std::string name = TextOf(node.child("Name"));
            if (!name.empty() && tevo::win::IsValidUtf8(name) &&
                StoredTextProblem(Utf8ToWide(name), TextKind::kName).empty()) {
                where += " '" + name + "'";
            }
            where += ")";
        }
        throw ReadError{Utf8ToWide(text + where)};
    }

    static std::string TextOf(pugi::xml_node node) {
        std::string text = node.text().get();
        if (text.find_first_not_of(" \t\r\n") == std::string::npos) {
            return {};
        }
        return text;
    }
    // The text of a child element, refused when it is not UTF-8 (a parser does not check
    // that, and each malformed sequence would turn into U+FFFD) or holds what the store
    // cannot hold (character references such as &#1; decode to forbidden characters).
    static std::wstring String(pugi::xml_node parent, const char* name,
                               TextKind kind = TextKind::kFreeText) {
        const std::string text = TextOf(parent.child(name));
        if (!tevo::win::IsValidUtf8(text)) {
            Throw(std::string("<") + name + "> is not valid UTF-8", parent);
        }
        std::wstring wide = Utf8ToWide(text);
        const std::wstring problem = StoredTextProblem(wide, kind);
        if (!problem.empty()) {
            Throw(std::string("<") + name + ">: " + WideToUtf8(problem), parent);
        }
        return wide;
    }
    static std::wstring NameText(pugi::xml_node parent, const char* name) {
        return String(parent, name, TextKind::kName);
    }
    static std::wstring Name(pugi::xml_node node, bool duplicate) {
        std::wstring name = NameText(node, "Name");
        if (name.empty()) {
            Throw("an entry without a name", node);
        }
        if (duplicate) {
            Throw("the name '" + WideToUtf8(name) + "' is used twice", node);
        }
        return name;
    }
    static LONG Long(pugi::xml_node parent, const char* name, bool required = true) {
        auto child = parent.child(name);
        if (!child) {
            if (required) {
                Throw(std::string("<") + name + "> is missing", parent);
            }
            return 0;
        }
        const std::string text = TextOf(child);
        errno = 0;
        char* end = nullptr;
        const long long value = std::strtoll(text.c_str(), &end, 10);
        if (text.empty() || *end != '\0' || errno != 0 ||
            value < std::numeric_limits<LONG>::min() || value > std::numeric_limits<LONG>::max()) {
            Throw(std::string("<") + name + "> is not a 32-bit integer: '" + text + "'", parent);
        }
        return static_cast<LONG>(value);
    }
    static bool Bool(pugi::xml_node parent, const char* name) {
        const std::string text = TextOf(parent.child(name));
        if (text == "1" || text == "true") {
            return true;
        }
        if (text == "0" || text == "false" || !parent.child(name)) {
            return false;
        }
        Throw(std::string("<") + name + "> is not a boolean: '" + text + "'", parent);
    }
    static double Real(pugi::xml_node parent, const char* name) {
        const std::string text = TextOf(parent.child(name));
        std::istringstream in(text);
        in.imbue(std::locale::classic());
        double value = 0.0;
        in >> value;
        if (text.empty() || in.fail() || !in.eof()) {
            Throw(std::string("<") + name + "> is not a real number: '" + text + "'", parent);
        }
        return value;
    }

    // Every id is unique in the file.
    static void CheckIds(pugi::xml_node root) {
        std::set<std::string> seen;
        for (auto node : root.select_nodes("//*[@id]")) {
            const std::string id = node.node().attribute("id").value();
            if (!seen.insert(id).second) {
                Throw("the id '" + id + "' is used twice", node.node());
            }
        }
    }

    void Define(pugi::xml_node node, IUnknown* object) {
        if (auto id = node.attribute("id")) {
            ids_[id.value()] = ComPtr<IUnknown>(object);
        }
    }

    template <class T>
    ComPtr<T> Resolve(pugi::xml_node ref) {
        const std::string id = ref.attribute("idref").value();
        const auto found = ids_.find(id);
        ComPtr<T> target = found == ids_.end() ? ComPtr<T>() : ImplOf<T>(found->second.Get());
        if (!target) {
            Throw("the reference <" + std::string(ref.name()) + " idref=\"" + id +
                      "\"> does not name an entry of that kind",
                  ref.parent());
        }
        return target;
    }

    void ReadDataComponents(pugi::xml_node wrapper, DataComponentCollection& into) {
        for (auto node : wrapper.children()) {
            DataKind kind{};
            if (node.type() != pugi::node_element ||
                !DataKindFromTypeName(Utf8ToWide(node.name()), &kind) ||
                std::string_view(node.name()).substr(0, 3) != "Ivi") {
                continue;
            }
            auto component = NewDataComponent(kind);
            DataComponentState& state = *StateOf(component.Get());
            state.name = Name(node, static_cast<bool>(into.Find(NameText(node, "Name"))));
            const std::wstring type = String(node, "Type");
            if (!type.empty() && type != DataKindName(kind)) {
                Throw("<Type> does not match the element", node);
            }
            state.description = String(node, "Description");
            state.read_only = Bool(node, "ReadOnly");
            if (!CanonicalUsedInSession(String(node, "UsedInSession"), &state.used_in_session)) {
                Throw("<UsedInSession> is not Required, Optional or None", node);
            }
            state.help_context_id = Long(node, "HelpContextID", false);
            state.help_file_path = String(node, "HelpFilePath");
            state.software_module_key = String(node, "SoftwareModuleKey");
            switch (kind) {
                case DataKind::kStructure:
                    ReadDataComponents(node.child("DataComponents"), *state.children.Get());
                    break;
                case DataKind::kBoolean:
                    state.bool_value = Bool(node, "Value");
                    break;
                case DataKind::kString:
                    state.string_value = String(node, "Value");
                    break;
                case DataKind::kInteger:
                    state.units = String(node, "Units");
                    state.long_value = Long(node, "Value");
                    break;
                case DataKind::kReal:
                    state.units = String(node, "Units");
                    state.real_value = Real(node, "Value");
                    break;
                case DataKind::kApiReference:
                    state.string_value = String(node, "Value");
                    if (auto ref = node.child("IviPublishedAPI")) {
                        state.published_api =
                            ComPtr<IIviPublishedAPI>(Resolve<PublishedApiObject>(ref).Get());
                    }
                    break;
            }
            into.Append(component.Get());
        }
    }

    // Physical names nest (a repeated capability within another); `depth` is the level of
    // the names in `wrapper`, from 1. Nesting is bounded, as reading, checking, writing and
    // releasing them all recurse.
    void ReadPhysicalNames(pugi::xml_node wrapper, PhysicalNameCollection& into, int depth) {
        for (auto node : wrapper.children("IviPhysicalName")) {
            if (depth > kMaxPhysicalNameDepth) {
                Throw("physical names are nested more than " +
                          std::to_string(kMaxPhysicalNameDepth) + " levels deep",
                      node);
            }
            auto name = MakeObject<PhysicalNameObject>();
            name->name = NameText(node, "Name");
            name->rc_name = NameText(node, "RCName");
            ReadPhysicalNames(node.child("PhysicalNames"), *name->children.Get(), depth + 1);
            for (auto range_node : node.child("PhysicalRanges").children("IviPhysicalRange")) {
                auto range = MakeObject<PhysicalRangeObject>();
                range->name = NameText(range_node, "Name");
                range->max = Long(range_node, "Max");
                range->min = Long(range_node, "Min");
                name->ranges->Append(range.Get());
            }
            into.Append(name.Get());
        }
    }

    void ReadModule(pugi::xml_node node) {
        auto module = MakeObject<SoftwareModuleObject>();
        module->name =
            Name(node, static_cast<bool>(store_.software_modules->Find(NameText(node, "Name"))));
        module->description = String(node, "Description");
        ReadDataComponents(node.child("DataComponents"), *module->data_components.Get());
        module->module_path32 = String(node, "ModulePath");
        module->prefix = String(node, "Prefix");
        module->prog_id = String(node, "ProgID");
        module->supported_instrument_models = String(node, "SupportedInstrumentModels");
        ReadPhysicalNames(node.child("PhysicalNames"), *module->physical_names.Get(), 1);
        for (auto ref : node.child("PublishedAPIs").children("IviPublishedAPI")) {
            auto api = Resolve<PublishedApiObject>(ref);
            if (!module->published_apis->Contains(static_cast<IIviPublishedAPI*>(api.Get()))) {
                module->published_apis->Append(api.Get());
            }
        }
        module->assembly_qualified_class_name = String(node, "AssemblyQualifiedClassName");
        module->module_path64 = String(node, "ModulePath64");
        module->store_id = store_.id;
        store_.software_modules->Append(module.Get());
        Define(node, static_cast<IIviSoftwareModule*>(module.Get()));
    }

    void ReadSession(pugi::xml_node node, bool driver_session) {
        auto session = MakeObject<SessionObject>(driver_session);
        session->name =
            Name(node, static_cast<bool>(store_.sessions->Find(NameText(node, "Name"))));
        session->description = String(node, "Description");
        ReadDataComponents(node.child("DataComponents"), *session->data_components.Get());
        if (auto ref = node.child("IviHardwareAsset")) {
            session->hardware_asset = Resolve<HardwareAssetObject>(ref);
        }
        if (auto ref = node.child("IviSoftwareModuleRef")) {
            session->software_module = Resolve<SoftwareModuleObject>(ref);
        }
        for (auto name_node : node.child("VirtualNames").children("IviVirtualName")) {
            auto name = MakeObject<VirtualNameObject>();
            name->name = NameText(name_node, "Name");
            name->map_to = NameText(name_node, "MapTo");
            for (auto range_node : name_node.child("VirtualRanges").children("IviVirtualRange")) {
                auto range = MakeObject<VirtualRangeObject>();
                range->name = NameText(range_node, "Name");
                range->max = Long(range_node, "Max");
                range->min = Long(range_node, "Min");
                range->starting_physical_index = Long(range_node, "StartingPhysicalIndex");
                name->ranges->Append(range.Get());
            }
            session->virtual_names->Append(name.Get());
        }
        session->software_module_name = String(node, "SoftwareModuleName");
        if (session->software_module_name.empty() && session->software_module) {
            session->software_module_name = session->software_module->name;
        }
        if (driver_session) {
            session->cache = Bool(node, "Cache");
            session->driver_setup = String(node, "DriverSetup");
            session->interchange_check = Bool(node, "InterchangeCheck");
            session->query_instr_status = Bool(node, "QueryInstrStatus");
            session->range_check = Bool(node, "RangeCheck");
            session->record_coercions = Bool(node, "RecordCoercions");
            session->simulate = Bool(node, "Simulate");
            store_.driver_sessions->Append(session.Get());
        } else {
            store_.sessions->Append(session.Get());
        }
        session->store_id = store_.id;
        Define(node, static_cast<IIviSession*>(session.Get()));
    }

    ConfigStoreObject& store_;
    std::map<std::string, ComPtr<IUnknown>> ids_;
};

// The 1-based line of a byte offset.
long LineOf(std::string_view bytes, std::ptrdiff_t offset) {
    long line = 1;
    for (std::ptrdiff_t i = 0; i < offset && i < static_cast<std::ptrdiff_t>(bytes.size()); ++i) {
        line += bytes[static_cast<std::size_t>(i)] == '\n' ? 1 : 0;
    }
    return line;
}

bool HasColon(const std::wstring& name) {
    return name.find(L':') != std::wstring::npos;
}

bool CheckPhysicalNames(PhysicalNameCollection& names, std::wstring* error) {
    bool empty_seen = false;
    std::set<std::wstring> seen;
    for (const auto& item : names.Items()) {
        const auto name = ImplOf<PhysicalNameObject>(item.Get());
        if (HasColon(name->name) || name->rc_name.empty()) {
            *error = L"the physical name '" + name->name + L"' has a colon or no RCName";
            return false;
        }
        if (name->name.empty() && (empty_seen || name->ranges->Items().empty())) {
            *error = L"an empty physical name needs ranges, and only one may exist per collection";
            return false;
        }
        empty_seen = empty_seen || name->name.empty();
        if (!name->name.empty() && !seen.insert(name->name).second) {
            *error = L"the physical name '" + name->name + L"' is used twice";
            return false;
        }
        for (const auto& range_item : name->ranges->Items()) {
            const auto range = ImplOf<PhysicalRangeObject>(range_item.Get());
            if (range->min < 0 || range->max < 0 || range->min > range->max) {
                *error = L"the physical range '" + range->name + L"' of '" + name->name +
                         L"' is not a range of non-negative numbers";
                return false;
            }
        }
        if (!CheckPhysicalNames(*name->children.Get(), error)) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool ReadStoreXml(std::string_view bytes, ConfigStoreObject& store, std::wstring* error) {
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed =
        doc.load_buffer(bytes.data(), bytes.size(), pugi::parse_default, pugi::encoding_auto);
    if (!parsed) {
        *error = L"line " + std::to_wstring(LineOf(bytes, parsed.offset)) + L": " +
                 Utf8ToWide(parsed.description());
        return false;
    }
    try {
        Reader(store).Read(doc.document_element());
    } catch (const ReadError& failure) {
        *error = failure.text;
        return false;
    }
    return true;
}

bool ValidateStore(ConfigStoreObject& store, std::wstring* error) {
    for (const auto& item : store.software_modules->Items()) {
        const auto module = ImplOf<SoftwareModuleObject>(item.Get());
        if (!CheckPhysicalNames(*module->physical_names.Get(), error)) {
            *error = L"software module '" + module->name + L"': " + *error;
            return false;
        }
    }
    for (const auto& item : store.sessions->Items()) {
        const auto session = ImplOf<SessionObject>(item.Get());
        for (const auto& name_item : session->virtual_names->Items()) {
            const auto name = ImplOf<VirtualNameObject>(name_item.Get());
            const bool has_ranges = !name->ranges->Items().empty();
            if (HasColon(name->name) ||
                ((name->name.empty() || name->map_to.empty()) && !has_ranges)) {
                *error = L"session '" + session->name + L"': the virtual name '" + name->name +
                         L"' has a colon, or an empty name or MapTo without ranges";
                return false;
            }
            for (const auto& range_item : name->ranges->Items()) {
                const auto range = ImplOf<VirtualRangeObject>(range_item.Get());
                if (range->min < 0 || range->max < 0 || range->min > range->max ||
                    range->starting_physical_index < 0) {
                    *error = L"session '" + session->name + L"': the virtual range '" +
                             range->name + L"' is not a range of non-negative numbers";
                    return false;
                }
            }
        }
    }
    return true;
}

std::string WriteStoreXml(ConfigStoreObject& store, const std::wstring& master_location) {
    return Writer().Write(store, master_location);
}

}  // namespace tevo::ivi::config

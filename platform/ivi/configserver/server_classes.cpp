// The class table and the server's DllGetClassObject and DllCanUnloadNow, on the server
// kit.
#include "server_classes.h"

#include <iterator>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "config_store.h"
#include "data_components.h"
#include "tevo/com/activation.h"

namespace tevo::ivi::config {

namespace {

template <class T, class... Args>
tevo::com::ComPtr<IUnknown> Create(Args... args) {
    tevo::com::ComPtr<IUnknown> result;
    T* object = new (std::nothrow) T(args...);
    if (object != nullptr) {
        result.Attach(static_cast<IUnknown*>(static_cast<typename T::PrimaryInterface*>(object)));
    }
    return result;
}

tevo::com::ComPtr<IUnknown> CreateData(DataKind kind) {
    tevo::com::ComPtr<IUnknown> result;
    result.Attach(NewDataComponent(kind).Detach());
    return result;
}

const ServerClass kClasses[] = {
    {&CLSID_IviConfigStore, "IviConfigStore", [] { return Create<ConfigStoreObject>(); }},
    {&CLSID_IviHardwareAsset, "IviHardwareAsset", [] { return Create<HardwareAssetObject>(); }},
    {&CLSID_IviSoftwareModule, "IviSoftwareModule", [] { return Create<SoftwareModuleObject>(); }},
    {&CLSID_IviSession, "IviSession", [] { return Create<SessionObject>(false); }},
    {&CLSID_IviDriverSession, "IviDriverSession", [] { return Create<SessionObject>(true); }},
    {&CLSID_IviLogicalName, "IviLogicalName", [] { return Create<LogicalNameObject>(); }},
    {&CLSID_IviPublishedAPI, "IviPublishedAPI", [] { return Create<PublishedApiObject>(); }},
    {&CLSID_IviPhysicalName, "IviPhysicalName", [] { return Create<PhysicalNameObject>(); }},
    {&CLSID_IviPhysicalRange, "IviPhysicalRange", [] { return Create<PhysicalRangeObject>(); }},
    {&CLSID_IviVirtualName, "IviVirtualName", [] { return Create<VirtualNameObject>(); }},
    {&CLSID_IviVirtualRange, "IviVirtualRange", [] { return Create<VirtualRangeObject>(); }},
    {&CLSID_IviStructure, "IviStructure", [] { return CreateData(DataKind::kStructure); }},
    {&CLSID_IviBoolean, "IviBoolean", [] { return CreateData(DataKind::kBoolean); }},
    {&CLSID_IviReal, "IviReal", [] { return CreateData(DataKind::kReal); }},
    {&CLSID_IviInteger, "IviInteger", [] { return CreateData(DataKind::kInteger); }},
    {&CLSID_IviString, "IviString", [] { return CreateData(DataKind::kString); }},
    {&CLSID_IviAPIReference, "IviAPIReference", [] { return CreateData(DataKind::kApiReference); }},
};

// The server kit's view of the table: creation through the class's create function, and
// the registration data (description "<Class> Class", ProgID "IviConfigServer.<Class>.1",
// version-independent ProgID "IviConfigServer.<Class>", the type library).
template <std::size_t Index>
HRESULT CreateClass(IUnknown* /*outer*/, REFIID riid, void** object) {
    const tevo::com::ComPtr<IUnknown> created = kClasses[Index].create();
    if (!created) {
        return E_OUTOFMEMORY;
    }
    return created->QueryInterface(riid, object);
}

struct KitTable {
    std::vector<std::string> texts;  // descriptions and ProgIDs, three per class
    std::vector<tevo::com::server::ClassEntry> entries;
};

template <std::size_t... Index>
KitTable MakeKitTable(std::index_sequence<Index...> /*indices*/) {
    KitTable table;
    table.texts.reserve(3 * sizeof...(Index));
    for (const ServerClass& server_class : kClasses) {
        const std::string independent = std::string("IviConfigServer.") + server_class.name;
        table.texts.push_back(std::string(server_class.name) + " Class");
        table.texts.push_back(independent + ".1");
        table.texts.push_back(independent);
    }
    const tevo::com::server::CreateFunction creators[] = {&CreateClass<Index>...};
    for (std::size_t i = 0; i < sizeof...(Index); ++i) {
        table.entries.push_back(
            {kClasses[i].clsid,
             true,
             creators[i],
             {table.texts[3 * i].c_str(), table.texts[3 * i + 1].c_str(),
              table.texts[3 * i + 2].c_str(), "Both", &LIBID_IVICONFIGSERVERLib}});
    }
    return table;
}

// Objects count themselves (LiveObjects); they hold the module loaded.
LONG LiveObjectCount() {
    return static_cast<LONG>(LiveObjects().load());
}

}  // namespace

std::span<const ServerClass> ServerClasses() {
    return kClasses;
}

tevo::com::server::ServerModule& ServerModule() {
    static const KitTable table = MakeKitTable(std::make_index_sequence<std::size(kClasses)>());
    static tevo::com::server::ServerModule module(table.entries, LiveObjectCount);
    return module;
}

}  // namespace tevo::ivi::config

TEVO_SERVER_KIT_CLASS_OBJECT_EXPORTS(tevo::ivi::config::ServerModule())

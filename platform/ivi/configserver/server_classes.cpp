// The class table, the class factory and the server's DllGetClassObject and
// DllCanUnloadNow.
#include "server_classes.h"

#include <atomic>
#include <new>
#include <vector>

#include "config_store.h"
#include "data_components.h"

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

std::atomic<LONG> g_server_locks{0};

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

// One factory per class; it lives as long as the library (its references are not counted).
class ClassFactory final : public IClassFactory {
  public:
    explicit ClassFactory(const ServerClass* server_class) : class_(server_class) {}
    HRESULT QueryInterface(REFIID riid, void** ppvObject) override {
        if (ppvObject == nullptr) {
            return E_POINTER;
        }
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppvObject = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *ppvObject = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) override {
        if (ppvObject == nullptr) {
            return E_POINTER;
        }
        *ppvObject = nullptr;
        if (pUnkOuter != nullptr) {
            return CLASS_E_NOAGGREGATION;
        }
        const tevo::com::ComPtr<IUnknown> object = class_->create();
        if (!object) {
            return E_OUTOFMEMORY;
        }
        return object->QueryInterface(riid, ppvObject);
    }
    HRESULT LockServer(BOOL fLock) override {
        if (fLock != FALSE) {
            ++g_server_locks;
        } else {
            --g_server_locks;
        }
        return S_OK;
    }

  private:
    const ServerClass* class_;
};

}  // namespace

std::span<const ServerClass> ServerClasses() {
    return kClasses;
}

}  // namespace tevo::ivi::config

using tevo::ivi::config::ServerClasses;

extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID rclsid,
                                                                            REFIID riid,
                                                                            LPVOID* ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    static std::vector<tevo::ivi::config::ClassFactory> factories = [] {
        std::vector<tevo::ivi::config::ClassFactory> all;
        for (const auto& server_class : ServerClasses()) {
            all.emplace_back(&server_class);
        }
        return all;
    }();
    for (std::size_t i = 0; i < ServerClasses().size(); ++i) {
        if (*ServerClasses()[i].clsid == rclsid) {
            return factories[i].QueryInterface(riid, ppv);
        }
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" __attribute__((visibility("default"))) HRESULT DllCanUnloadNow() {
    return tevo::ivi::config::LiveObjects() == 0 && tevo::ivi::config::g_server_locks == 0
               ? S_OK
               : S_FALSE;
}

// The store object.
#include "config_store.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "store_xml.h"
#include "tevo/win/files.h"
#include "tevo/win/sysroot.h"
#include "tevo/win/text.h"

namespace tevo::ivi::config {

namespace {

std::uint64_t NextStoreId() {
    static std::atomic<std::uint64_t> next{1};
    return next++;
}

std::wstring ProcessDefault() {
    const char* value = std::getenv(kProcessDefaultVariable);
    return value == nullptr ? std::wstring() : tevo::win::Utf8ToWide(value);
}

// The whole file; false when it cannot be opened or a read fails (the stream library
// reports some read errors by throwing, which must not escape a COM method).
bool ReadWholeFile(const std::filesystem::path& path, std::string* bytes) {
    try {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            return false;
        }
        bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        return !in.bad();
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace

bool MasterStorePath(std::wstring* path) {
    try {
        *path =
            tevo::win::Utf8ToWide((tevo::win::IviDataDirectory() / kMasterStoreFileName).string());
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

ConfigStoreObject::ConfigStoreObject()
    : id(NextStoreId()),
      published_apis(MakeObject<PublishedApiCollection>()),
      software_modules(MakeObject<SoftwareModuleCollection>(
          IID_IIviSoftwareModuleCollection, IID_IIviSoftwareModule, EmptyNames::kRejected)),
      hardware_assets(MakeObject<HardwareAssetCollection>(
          IID_IIviHardwareAssetCollection, IID_IIviHardwareAsset, EmptyNames::kRejected)),
      driver_sessions(MakeObject<DriverSessionCollection>(
          IID_IIviDriverSessionCollection, IID_IIviDriverSession, EmptyNames::kRejected)),
      sessions(MakeObject<SessionCollection>(IID_IIviSessionCollection, IID_IIviSession,
                                             EmptyNames::kRejected)),
      logical_names(MakeObject<LogicalNameCollection>(IID_IIviLogicalNameCollection,
                                                      IID_IIviLogicalName, EmptyNames::kRejected)) {
    published_apis->SetOwner(this);
    software_modules->SetOwner(this);
    hardware_assets->SetOwner(this);
    driver_sessions->SetOwner(this);
    sessions->SetOwner(this);
    logical_names->SetOwner(this);
}

ConfigStoreObject::~ConfigStoreObject() {
    // Collections that clients still hold outlive the store: they stop calling it.
    const StateLock lock(StateMutex());
    published_apis->SetOwner(nullptr);
    software_modules->SetOwner(nullptr);
    hardware_assets->SetOwner(nullptr);
    driver_sessions->SetOwner(nullptr);
    sessions->SetOwner(nullptr);
    logical_names->SetOwner(nullptr);
}

void ConfigStoreObject::Clear() {
    auto forget = [](auto& items) {
        for (auto& item : items) {
            if (auto base = ImplOf<ObjectBase>(item.Get())) {
                if (auto* member = dynamic_cast<GlobalMembership*>(base.Get())) {
                    member->store_id = 0;
                }
            }
        }
        items.clear();
    };
    forget(logical_names->Items());
    forget(sessions->Items());
    forget(driver_sessions->Items());
    forget(hardware_assets->Items());
    forget(software_modules->Items());
    forget(published_apis->Items());
}

HRESULT ConfigStoreObject::get_Name(BSTR* pVal) {
    return GetString(kServerName, pVal);
}
HRESULT ConfigStoreObject::get_Vendor(BSTR* pVal) {
    return GetString(kServerVendor, pVal);
}
HRESULT ConfigStoreObject::get_Revision(BSTR* pVal) {
    return GetString(kServerRevision, pVal);
}
HRESULT ConfigStoreObject::get_SpecificationMajorVersion(LONG* pVal) {
    return GetLong(kSpecificationMajorVersion, pVal);
}
HRESULT ConfigStoreObject::get_SpecificationMinorVersion(LONG* pVal) {
    return GetLong(kSpecificationMinorVersion, pVal);
}

HRESULT ConfigStoreObject::get_MasterLocation(BSTR* pVal) {
    if (pVal == nullptr) {
        return E_POINTER;
    }
    std::wstring path;
    if (!MasterStorePath(&path)) {
        *pVal = nullptr;
        return FailOperation(E_IVICONFIG_MASTER_NOT_FOUND, L"MasterLocation",
                             L"The IVI data directory of the system root cannot be determined.");
    }
    return GetString(path, pVal);
}

HRESULT ConfigStoreObject::get_ProcessDefaultLocation(BSTR* pVal) {
    const StateLock lock(StateMutex());
    return GetString(ProcessDefault(), pVal);
}

HRESULT ConfigStoreObject::put_ProcessDefaultLocation(BSTR newVal) {
    const std::string value = tevo::com::BstrToUtf8(newVal);
    const StateLock lock(StateMutex());
    if (value.empty()) {
        ::unsetenv(kProcessDefaultVariable);
    } else {
        ::setenv(kProcessDefaultVariable, value.c_str(), 1);
    }
    return S_OK;
}

HRESULT ConfigStoreObject::get_ActualLocation(BSTR* pVal) {
    return GetString(actual_location, pVal);
}

HRESULT ConfigStoreObject::get_PublishedAPIs(IIviPublishedAPICollection** pVal) {
    return GetObjectRef(published_apis, pVal);
}
HRESULT ConfigStoreObject::get_SoftwareModules(IIviSoftwareModuleCollection** pVal) {
    return GetObjectRef(software_modules, pVal);
}
HRESULT ConfigStoreObject::get_HardwareAssets(IIviHardwareAssetCollection** pVal) {
    return GetObjectRef(hardware_assets, pVal);
}
HRESULT ConfigStoreObject::get_DriverSessions(IIviDriverSessionCollection** pVal) {
    return GetObjectRef(driver_sessions, pVal);
}
HRESULT ConfigStoreObject::get_Sessions(IIviSessionCollection** pVal) {
    return GetObjectRef(sessions, pVal);
}
HRESULT ConfigStoreObject::get_LogicalNames(IIviLogicalNameCollection** pVal) {
    return GetObjectRef(logical_names, pVal);
}

HRESULT ConfigStoreObject::Deserialize(BSTR Location) {
    namespace fs = std::filesystem;
    const std::wstring location = ToWide(Location);
    const StateLock lock(StateMutex());
    if (deserialized) {
        return FailOperation(E_IVICONFIG_ALREADY_DESERIALIZED, L"Deserialize",
                             L"This instance has loaded a store already; use a new instance.");
    }
    const fs::path path(tevo::win::WideToUtf8(location));
    const tevo::win::ResolvedPath resolved = tevo::win::ResolvePath(path.string());
    std::wstring master;
    // A system root that has never saved a store has an empty master store, as a fresh
    // installation has: loading it gives an empty store.
    if (!resolved.exists && MasterStorePath(&master) && location == master) {
        deserialized = true;
        actual_location = location;
        return Succeed();
    }
    std::error_code ec;
    if (resolved.exists && !fs::is_regular_file(resolved.path, ec)) {
        return FailOperation(E_IVICONFIG_DESERIALIZE_FAILED, L"Deserialize",
                             L"'" + location + L"' is not a file.");
    }
    std::string bytes;
    if (!ReadWholeFile(resolved.path, &bytes)) {
        return FailOperation(E_IVICONFIG_DESERIALIZE_FAILED, L"Deserialize",
                             L"The file '" + location + L"' cannot be read.");
    }
    std::wstring error;
    if (!ReadStoreXml(bytes, *this, &error) || !ValidateStore(*this, &error)) {
        Clear();
        description = kServerDescription;
        return FailOperation(E_IVICONFIG_DESERIALIZE_FAILED, L"Deserialize",
                             location + L": " + error);
    }
    deserialized = true;
    actual_location = location;
    return Succeed();
}

HRESULT ConfigStoreObject::Serialize(BSTR Location) {
    namespace fs = std::filesystem;
    const std::wstring location = ToWide(Location);
    if (location.empty()) {
        return FailOperation(E_IVICONFIG_SERIALIZE_FAILED, L"Serialize", L"No file name given.");
    }
    const StateLock lock(StateMutex());
    std::wstring error;
    if (!ValidateStore(*this, &error)) {
        return FailOperation(E_IVICONFIG_SERIALIZE_FAILED, L"Serialize", error);
    }
    std::wstring master;
    MasterStorePath(&master);
    const std::string bytes = WriteStoreXml(*this, master);
    std::error_code ec;
    const fs::path path = fs::absolute(fs::path(tevo::win::WideToUtf8(location)), ec);
    if (!ec && path.has_parent_path()) {
        fs::create_directories(path.parent_path(), ec);
    }
    if (ec || !tevo::win::WriteFileAtomically(path, bytes)) {
        return FailOperation(E_IVICONFIG_SERIALIZE_FAILED, L"Serialize",
                             L"The file '" + location + L"' cannot be written.");
    }
    actual_location = location;
    return Succeed();
}

HRESULT ConfigStoreObject::GetSession(BSTR Name, IIviSession** pVal) {
    if (pVal == nullptr) {
        return E_POINTER;
    }
    *pVal = nullptr;
    const std::wstring name = ToWide(Name);
    const StateLock lock(StateMutex());
    if (auto logical = logical_names->Find(name)) {
        const auto impl = ImplOf<LogicalNameObject>(logical.Get());
        if (impl && impl->session) {
            *pVal = impl->session.Get();
            (*pVal)->AddRef();
            return Succeed();
        }
    }
    if (auto session = sessions->Find(name)) {
        return session.CopyTo(pVal);
    }
    return FailOperation(E_IVICONFIG_SESSION_NOT_FOUND, L"GetSession",
                         L"Name " + name + L" could not be resolved to a session.");
}

HRESULT ConfigStoreObject::GetDriverSession(BSTR Name, IIviDriverSession** pVal) {
    if (pVal == nullptr) {
        return E_POINTER;
    }
    *pVal = nullptr;
    const std::wstring name = ToWide(Name);
    const StateLock lock(StateMutex());
    if (auto logical = logical_names->Find(name)) {
        const auto impl = ImplOf<LogicalNameObject>(logical.Get());
        if (impl && impl->session && impl->session->driver_session) {
            *pVal = impl->session.Get();
            (*pVal)->AddRef();
            return Succeed();
        }
    }
    if (auto session = driver_sessions->Find(name)) {
        return session.CopyTo(pVal);
    }
    return FailOperation(E_IVICONFIG_SESSION_NOT_FOUND, L"GetDriverSession",
                         L"Name " + name + L" could not be resolved to a driver session.");
}

// ---- The rules of the global collections ----

HRESULT ConfigStoreObject::BeforeAdd(IUnknown* collection, IUnknown* item) {
    const auto base = ImplOf<ObjectBase>(item);
    auto* member = dynamic_cast<GlobalMembership*>(base.Get());
    if (member == nullptr || (member->store_id != 0 && member->store_id != id)) {
        return FailOperation(E_INVALIDARG, L"Add",
                             L"The object belongs to another store or collection.");
    }
    if (auto* session = dynamic_cast<SessionObject*>(base.Get())) {
        if (collection == static_cast<IIviSessionCollection*>(sessions.Get()) &&
            !session->driver_session) {
            // fine: plain sessions live in Sessions only
        } else if (!session->driver_session) {
            return FailOperation(E_INVALIDARG, L"Add", L"The session is not a driver session.");
        }
        // A driver session is listed in both collections: its name must be free in both.
        if ((sessions->Find(session->name) && !sessions->Contains(item)) ||
            (session->driver_session && driver_sessions->Find(session->name) &&
             !driver_sessions->Contains(item))) {
            return FailOperation(
                E_IVICONFIG_ALREADY_EXIST, L"Add",
                L"The name '" + session->name + L"' already exists in the collection.");
        }
        if (session->hardware_asset) {
            const HRESULT hr = CheckGlobalReference(session->hardware_asset->store_id, id, L"Add");
            if (FAILED(hr)) {
                return hr;
            }
        }
        if (session->software_module) {
            const HRESULT hr = CheckGlobalReference(session->software_module->store_id, id, L"Add");
            if (FAILED(hr)) {
                return hr;
            }
        }
    } else if (auto* logical = dynamic_cast<LogicalNameObject*>(base.Get())) {
        if (logical->session) {
            return CheckGlobalReference(logical->session->store_id, id, L"Add");
        }
    }
    return S_OK;
}

void ConfigStoreObject::AfterAdd(IUnknown* /*collection*/, IUnknown* item) {
    const auto base = ImplOf<ObjectBase>(item);
    dynamic_cast<GlobalMembership*>(base.Get())->store_id = id;
    if (auto* session = dynamic_cast<SessionObject*>(base.Get())) {
        if (session->driver_session) {
            if (!sessions->Contains(item)) {
                sessions->Append(static_cast<IIviSession*>(session));
            }
            if (!driver_sessions->Contains(item)) {
                driver_sessions->Append(static_cast<IIviDriverSession*>(session));
            }
        }
    } else if (auto* module = dynamic_cast<SoftwareModuleObject*>(base.Get())) {
        // Sessions that remember a removed module by name get it back.
        const tevo::com::ComPtr<SoftwareModuleObject> module_ptr(module);
        for (const auto& entry : sessions->Items()) {
            const auto session = ImplOf<SessionObject>(entry.Get());
            if (session && !session->software_module &&
                session->software_module_name == module->name) {
                session->software_module = module_ptr;
            }
        }
    }
}

HRESULT ConfigStoreObject::BeforeRemove(IUnknown* /*collection*/, IUnknown* item) {
    const auto base = ImplOf<ObjectBase>(item);
    auto still_referenced = [](const std::wstring& user) {
        return FailOperation(E_IVICONFIG_LOCAL_REFERENCE_EXIST, L"Remove",
                             L"The object is still referenced by '" + user + L"'.");
    };
    if (auto* asset = dynamic_cast<HardwareAssetObject*>(base.Get())) {
        for (const auto& entry : sessions->Items()) {
            const auto session = ImplOf<SessionObject>(entry.Get());
            if (session && session->hardware_asset.Get() == asset) {
                return still_referenced(session->name);
            }
        }
    } else if (auto* session = dynamic_cast<SessionObject*>(base.Get())) {
        for (const auto& entry : logical_names->Items()) {
            const auto logical = ImplOf<LogicalNameObject>(entry.Get());
            if (logical && logical->session.Get() == session) {
                return still_referenced(logical->name);
            }
        }
    } else if (dynamic_cast<PublishedApiObject*>(base.Get()) != nullptr) {
        for (const auto& entry : software_modules->Items()) {
            const auto module = ImplOf<SoftwareModuleObject>(entry.Get());
            if (module && module->published_apis->Contains(item)) {
                return still_referenced(module->name);
            }
        }
    }
    return S_OK;
}

void ConfigStoreObject::AfterRemove(IUnknown* /*collection*/, IUnknown* item) {
    const auto base = ImplOf<ObjectBase>(item);
    dynamic_cast<GlobalMembership*>(base.Get())->store_id = 0;
    if (dynamic_cast<SessionObject*>(base.Get()) != nullptr) {
        sessions->Erase(item);
        driver_sessions->Erase(item);
    } else if (auto* module = dynamic_cast<SoftwareModuleObject*>(base.Get())) {
        // A module may go while sessions use it: they keep its name and their copies.
        for (const auto& entry : sessions->Items()) {
            const auto session = ImplOf<SessionObject>(entry.Get());
            if (session && session->software_module.Get() == module) {
                session->software_module = nullptr;
            }
        }
    }
}

}  // namespace tevo::ivi::config

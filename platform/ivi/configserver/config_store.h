// The store object: the six global collections, the store file locations, loading and
// saving, and the session lookups.
#pragma once

#include <cstdint>
#include <string>

#include "entities.h"

namespace tevo::ivi::config {

// What the store reports about this server.
inline constexpr wchar_t kServerName[] = L"Tevo IVI Configuration Server (64-bit)";
inline constexpr wchar_t kServerVendor[] = L"Tevo platform";
inline constexpr wchar_t kServerRevision[] = L"1.0.0.0";
inline constexpr wchar_t kServerDescription[] = L"IVI configuration store";
inline constexpr LONG kSpecificationMajorVersion = 2;
inline constexpr LONG kSpecificationMinorVersion = 5;
inline constexpr char kMasterStoreFileName[] = "IviConfigurationStore.xml";
inline constexpr char kProcessDefaultVariable[] = "IVICONFIGSERVERDEFAULT";

class ConfigStoreObject final : public ComObject<IIviConfigStore>, public CollectionOwner {
  public:
    ConfigStoreObject();
    ~ConfigStoreObject() override;

    HRESULT get_Name(BSTR* pVal) override;
    TEVO_CONFIG_STRING_PROPERTY(Description, description)
    HRESULT get_Vendor(BSTR* pVal) override;
    HRESULT get_Revision(BSTR* pVal) override;
    HRESULT get_SpecificationMajorVersion(LONG* pVal) override;
    HRESULT get_SpecificationMinorVersion(LONG* pVal) override;
    HRESULT get_MasterLocation(BSTR* pVal) override;
    HRESULT get_ProcessDefaultLocation(BSTR* pVal) override;
    HRESULT put_ProcessDefaultLocation(BSTR newVal) override;
    HRESULT get_ActualLocation(BSTR* pVal) override;
    HRESULT get_PublishedAPIs(IIviPublishedAPICollection** pVal) override;
    HRESULT get_SoftwareModules(IIviSoftwareModuleCollection** pVal) override;
    HRESULT get_HardwareAssets(IIviHardwareAssetCollection** pVal) override;
    HRESULT get_DriverSessions(IIviDriverSessionCollection** pVal) override;
    HRESULT get_Sessions(IIviSessionCollection** pVal) override;
    HRESULT get_LogicalNames(IIviLogicalNameCollection** pVal) override;
    HRESULT Deserialize(BSTR Location) override;
    HRESULT Serialize(BSTR Location) override;
    HRESULT GetSession(BSTR Name, IIviSession** pVal) override;
    HRESULT GetDriverSession(BSTR Name, IIviDriverSession** pVal) override;

    // CollectionOwner (the six global collections).
    HRESULT BeforeAdd(IUnknown* collection, IUnknown* item) override;
    void AfterAdd(IUnknown* collection, IUnknown* item) override;
    HRESULT BeforeRemove(IUnknown* collection, IUnknown* item) override;
    void AfterRemove(IUnknown* collection, IUnknown* item) override;

    // Empties the six collections (a failed load leaves the instance empty).
    void Clear();

    const std::uint64_t id;
    std::wstring description = kServerDescription;
    std::wstring actual_location;
    bool deserialized = false;
    tevo::com::ComPtr<PublishedApiCollection> published_apis;
    tevo::com::ComPtr<SoftwareModuleCollection> software_modules;
    tevo::com::ComPtr<HardwareAssetCollection> hardware_assets;
    tevo::com::ComPtr<DriverSessionCollection> driver_sessions;
    tevo::com::ComPtr<SessionCollection> sessions;
    tevo::com::ComPtr<LogicalNameCollection> logical_names;

  protected:
    bool Implements(REFIID riid) const override { return riid == IID_IIviConfigStore; }
};

// The master store file: IviConfigurationStore.xml in the IVI data directory of the system
// root. False when the system root cannot be determined.
bool MasterStorePath(std::wstring* path);

}  // namespace tevo::ivi::config

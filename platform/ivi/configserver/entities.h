// The entries of the configuration store: published APIs, physical and virtual names with
// their ranges, data components, hardware assets, software modules, sessions (plain and
// driver sessions are one class) and logical names. State is guarded by StateMutex().
#pragma once

#include <cstdint>
#include <string>

#include "collection.h"
#include "config_object.h"

namespace tevo::ivi::config {

using DataComponentCollection = Collection<IIviDataComponentCollection, IIviDataComponent>;
using PhysicalNameCollection = Collection<IIviPhysicalNameCollection, IIviPhysicalName>;
using PhysicalRangeCollection = Collection<IIviPhysicalRangeCollection, IIviPhysicalRange>;
using VirtualNameCollection = Collection<IIviVirtualNameCollection, IIviVirtualName>;
using VirtualRangeCollection = Collection<IIviVirtualRangeCollection, IIviVirtualRange>;
using HardwareAssetCollection = Collection<IIviHardwareAssetCollection, IIviHardwareAsset>;
using SoftwareModuleCollection = Collection<IIviSoftwareModuleCollection, IIviSoftwareModule>;
using SessionCollection = Collection<IIviSessionCollection, IIviSession>;
using DriverSessionCollection = Collection<IIviDriverSessionCollection, IIviDriverSession>;
using LogicalNameCollection = Collection<IIviLogicalNameCollection, IIviLogicalName>;

tevo::com::ComPtr<DataComponentCollection> NewDataComponentCollection();
tevo::com::ComPtr<PhysicalNameCollection> NewPhysicalNameCollection();
tevo::com::ComPtr<PhysicalRangeCollection> NewPhysicalRangeCollection();
tevo::com::ComPtr<VirtualNameCollection> NewVirtualNameCollection();
tevo::com::ComPtr<VirtualRangeCollection> NewVirtualRangeCollection();

// Global entries remember the store whose global collection holds them (0: none).
struct GlobalMembership {
    std::uint64_t store_id = 0;
};

// ---- Published API ----
class PublishedApiObject final : public ComObject<IIviPublishedAPI>, public GlobalMembership {
  public:
    TEVO_CONFIG_NAME_PROPERTY(Name, name)
    TEVO_CONFIG_LONG_PROPERTY(MajorVersion, major)
    TEVO_CONFIG_LONG_PROPERTY(MinorVersion, minor)
    TEVO_CONFIG_NAME_PROPERTY(Type, type)

    std::wstring name;
    LONG major = 0;
    LONG minor = 0;
    std::wstring type;

  protected:
    bool Implements(REFIID riid) const override { return riid == IID_IIviPublishedAPI; }
};

// ---- Physical names and ranges ----
class PhysicalRangeObject final : public ComObject<IIviPhysicalRange> {
  public:
    TEVO_CONFIG_NAME_PROPERTY(Name, name)
    TEVO_CONFIG_LONG_PROPERTY(Max, max)
    TEVO_CONFIG_LONG_PROPERTY(Min, min)

    std::wstring name;
    LONG min = 0;
    LONG max = 0;

  protected:
    bool Implements(REFIID riid) const override { return riid == IID_IIviPhysicalRange; }
};

class PhysicalNameObject final : public ComObject<IIviPhysicalName> {
  public:
    PhysicalNameObject();
    TEVO_CONFIG_NAME_PROPERTY(Name, name)
    TEVO_CONFIG_NAME_PROPERTY(RCName, rc_name)
    HRESULT get_PhysicalNames(IIviPhysicalNameCollection** pVal) override;
    HRESULT get_PhysicalRanges(IIviPhysicalRangeCollection** pVal) override;

    std::wstring name;
    std::wstring rc_name;
    tevo::com::ComPtr<PhysicalNameCollection> children;
    tevo::com::ComPtr<PhysicalRangeCollection> ranges;

  protected:
    bool Implements(REFIID riid) const override { return riid == IID_IIviPhysicalName; }
};

// ---- Virtual names and ranges ----
class VirtualRangeObject final : public ComObject<IIviVirtualRange> {
  public:
    TEVO_CONFIG_NAME_PROPERTY(Name, name)
    TEVO_CONFIG_LONG_PROPERTY(Max, max)
    TEVO_CONFIG_LONG_PROPERTY(Min, min)
    TEVO_CONFIG_LONG_PROPERTY(StartingPhysicalIndex, starting_physical_index)

    std::wstring name;
    LONG min = 0;
    LONG max = 0;
    LONG starting_physical_index = 0;

  protected:
    bool Implements(REFIID riid) const override { return riid == IID_IIviVirtualRange; }
};

class VirtualNameObject final : public ComObject<IIviVirtualName> {
  public:
    VirtualNameObject();
    TEVO_CONFIG_NAME_PROPERTY(Name, name)
    TEVO_CONFIG_NAME_PROPERTY(MapTo, map_to)
    HRESULT get_VirtualRanges(IIviVirtualRangeCollection** pVal) override;

    std::wstring name;
    std::wstring map_to;
    tevo::com::ComPtr<VirtualRangeCollection> ranges;

  protected:
    bool Implements(REFIID riid) const override { return riid == IID_IIviVirtualName; }
};

// ---- Hardware asset ----
class HardwareAssetObject final : public ComObject<IIviHardwareAsset>, public GlobalMembership {
  public:
    HardwareAssetObject();
    TEVO_CONFIG_NAME_PROPERTY(Name, name)
    TEVO_CONFIG_STRING_PROPERTY(Description, description)
    HRESULT get_DataComponents(IIviDataComponentCollection** pVal) override;
    TEVO_CONFIG_STRING_PROPERTY(IOResourceDescriptor, io_resource_descriptor)

    std::wstring name;
    std::wstring description;
    tevo::com::ComPtr<DataComponentCollection> data_components;
    std::wstring io_resource_descriptor;

  protected:
    bool Implements(REFIID riid) const override {
        return riid == IID_IIviConfigComponent || riid == IID_IIviHardwareAsset;
    }
};

// ---- Software module ----
class SoftwareModuleObject final : public ComObject<IIviSoftwareModule2>, public GlobalMembership {
  public:
    SoftwareModuleObject();
    TEVO_CONFIG_NAME_PROPERTY(Name, name)
    TEVO_CONFIG_STRING_PROPERTY(Description, description)
    HRESULT get_DataComponents(IIviDataComponentCollection** pVal) override;
    // This is a 64-bit process: ModulePath is ModulePath64, and setting it is not supported.
    HRESULT get_ModulePath(BSTR* pVal) override { return GetString(module_path64, pVal); }
    HRESULT put_ModulePath(BSTR newVal) override;
    TEVO_CONFIG_STRING_PROPERTY(Prefix, prefix)
    TEVO_CONFIG_STRING_PROPERTY(ProgID, prog_id)
    TEVO_CONFIG_STRING_PROPERTY(SupportedInstrumentModels, supported_instrument_models)
    HRESULT get_PhysicalNames(IIviPhysicalNameCollection** pVal) override;
    HRESULT get_PublishedAPIs(IIviPublishedAPICollection** pVal) override;
    TEVO_CONFIG_STRING_PROPERTY(ModulePath32, module_path32)
    TEVO_CONFIG_STRING_PROPERTY(ModulePath64, module_path64)
    TEVO_CONFIG_STRING_PROPERTY(AssemblyQualifiedClassName, assembly_qualified_class_name)

    std::wstring name;
    std::wstring description;
    tevo::com::ComPtr<DataComponentCollection> data_components;
    std::wstring module_path32;
    std::wstring module_path64;
    std::wstring assembly_qualified_class_name;
    std::wstring prefix;
    std::wstring prog_id;
    std::wstring supported_instrument_models;
    tevo::com::ComPtr<PhysicalNameCollection> physical_names;
    tevo::com::ComPtr<PublishedApiCollection> published_apis;

  protected:
    bool Implements(REFIID riid) const override {
        return riid == IID_IIviConfigComponent || riid == IID_IIviSoftwareModule ||
               riid == IID_IIviSoftwareModule2;
    }
};

// ---- Sessions: a plain session, or a driver session with the seven settings ----
class SessionObject final : public ComObject<IIviDriverSession>, public GlobalMembership {
  public:
    explicit SessionObject(bool driver_session);
    TEVO_CONFIG_NAME_PROPERTY(Name, name)
    TEVO_CONFIG_STRING_PROPERTY(Description, description)
    HRESULT get_DataComponents(IIviDataComponentCollection** pVal) override;
    HRESULT get_HardwareAsset(IIviHardwareAsset** pVal) override;
    HRESULT putref_HardwareAsset(IIviHardwareAsset* newVal) override;
    HRESULT get_SoftwareModule(IIviSoftwareModule** pVal) override;
    HRESULT putref_SoftwareModule(IIviSoftwareModule* newVal) override;
    HRESULT get_SoftwareModuleName(BSTR* pVal) override {
        return GetString(software_module_name, pVal);
    }
    HRESULT get_VirtualNames(IIviVirtualNameCollection** pVal) override;
    TEVO_CONFIG_BOOL_PROPERTY(Cache, cache)
    TEVO_CONFIG_STRING_PROPERTY(DriverSetup, driver_setup)
    TEVO_CONFIG_BOOL_PROPERTY(InterchangeCheck, interchange_check)
    TEVO_CONFIG_BOOL_PROPERTY(QueryInstrStatus, query_instr_status)
    TEVO_CONFIG_BOOL_PROPERTY(RangeCheck, range_check)
    TEVO_CONFIG_BOOL_PROPERTY(RecordCoercions, record_coercions)
    TEVO_CONFIG_BOOL_PROPERTY(Simulate, simulate)

    // Sets the module reference (the caller holds the lock and checked the module): the
    // copies of the old module's components go, the new module's Required ones come.
    void LinkModule(const tevo::com::ComPtr<SoftwareModuleObject>& module);

    const bool driver_session;
    std::wstring name;
    std::wstring description;
    tevo::com::ComPtr<DataComponentCollection> data_components;
    tevo::com::ComPtr<HardwareAssetObject> hardware_asset;
    tevo::com::ComPtr<SoftwareModuleObject> software_module;
    std::wstring software_module_name;
    tevo::com::ComPtr<VirtualNameCollection> virtual_names;
    // New driver sessions use the IVI inherent defaults: Cache and RangeCheck on.
    bool cache = true;
    std::wstring driver_setup;
    bool interchange_check = false;
    bool query_instr_status = false;
    bool range_check = true;
    bool record_coercions = false;
    bool simulate = false;

  protected:
    bool Implements(REFIID riid) const override {
        return riid == IID_IIviConfigComponent || riid == IID_IIviSession ||
               (driver_session && riid == IID_IIviDriverSession);
    }
};

// ---- Logical name ----
class LogicalNameObject final : public ComObject<IIviLogicalName>, public GlobalMembership {
  public:
    TEVO_CONFIG_NAME_PROPERTY(Name, name)
    TEVO_CONFIG_STRING_PROPERTY(Description, description)
    HRESULT get_Session(IIviSession** pVal) override;
    HRESULT putref_Session(IIviSession* newVal) override;

    std::wstring name;
    std::wstring description;
    tevo::com::ComPtr<SessionObject> session;

  protected:
    bool Implements(REFIID riid) const override { return riid == IID_IIviLogicalName; }
};

// Whether a referenced global entry may be used by an object of store `owner_store_id`
// (0: an object not in any store): it must be in a global collection, of that store when
// the referrer is in one. Otherwise fails with Not In Global Collection.
HRESULT CheckGlobalReference(std::uint64_t referent_store_id, std::uint64_t owner_store_id,
                             std::wstring_view operation);

}  // namespace tevo::ivi::config

// The behaviour of the store's entries beyond plain properties: contained collections,
// references to global entries, and the copying of a module's data components into a
// session.
#include "entities.h"

#include <cmath>

#include "data_components.h"

namespace tevo::ivi::config {

namespace {

constexpr wchar_t kConfigurableInitialSettings[] = L"Configurable Initial Settings";

bool IsRequired(const DataComponentState& state) {
    return state.kind != DataKind::kStructure && state.used_in_session == L"Required";
}

}  // namespace

tevo::com::ComPtr<DataComponentCollection> NewDataComponentCollection() {
    return MakeObject<DataComponentCollection>(IID_IIviDataComponentCollection,
                                               IID_IIviDataComponent, EmptyNames::kRejected,
                                               E_IVICONFIG_INVALID_DATA_COMPONENT);
}
tevo::com::ComPtr<PhysicalNameCollection> NewPhysicalNameCollection() {
    return MakeObject<PhysicalNameCollection>(IID_IIviPhysicalNameCollection, IID_IIviPhysicalName,
                                              EmptyNames::kAllowed);
}
tevo::com::ComPtr<PhysicalRangeCollection> NewPhysicalRangeCollection() {
    return MakeObject<PhysicalRangeCollection>(IID_IIviPhysicalRangeCollection,
                                               IID_IIviPhysicalRange, EmptyNames::kRejected);
}
tevo::com::ComPtr<VirtualNameCollection> NewVirtualNameCollection() {
    return MakeObject<VirtualNameCollection>(IID_IIviVirtualNameCollection, IID_IIviVirtualName,
                                             EmptyNames::kAllowed);
}
tevo::com::ComPtr<VirtualRangeCollection> NewVirtualRangeCollection() {
    return MakeObject<VirtualRangeCollection>(IID_IIviVirtualRangeCollection, IID_IIviVirtualRange,
                                              EmptyNames::kRejected);
}

HRESULT ReadIndex(const VARIANT& index, std::size_t count, std::wstring_view operation,
                  CollectionIndex* result) {
    const VARIANT* value = &index;
    if (value->vt == (VT_BYREF | VT_VARIANT) && value->pvarVal != nullptr) {
        value = value->pvarVal;
    }
    long long number = 0;
    bool numeric = true;
    switch (value->vt) {
        case VT_BSTR:
            result->name = ToWide(value->bstrVal);
            return S_OK;
        case VT_BYREF | VT_BSTR:
            result->name = value->pbstrVal != nullptr ? ToWide(*value->pbstrVal) : std::wstring();
            return S_OK;
        case VT_I1:
            number = value->cVal;
            break;
        case VT_UI1:
            number = value->bVal;
            break;
        case VT_I2:
            number = value->iVal;
            break;
        case VT_UI2:
            number = value->uiVal;
            break;
        case VT_I4:
        case VT_INT:
            number = value->lVal;
            break;
        case VT_UI4:
        case VT_UINT:
            number = value->ulVal;
            break;
        case VT_I8:
            number = value->llVal;
            break;
        case VT_BYREF | VT_I4:
            number = value->plVal != nullptr ? *value->plVal : 0;
            break;
        case VT_BYREF | VT_I2:
            number = value->piVal != nullptr ? *value->piVal : 0;
            break;
        case VT_R8:
        case VT_R4: {
            const double real = value->vt == VT_R8 ? value->dblVal : value->fltVal;
            numeric = std::floor(real) == real && std::fabs(real) < 4e9;
            number = numeric ? static_cast<long long>(real) : 0;
            break;
        }
        default:
            numeric = false;
            break;
    }
    if (!numeric) {
        return FailOperation(DISP_E_TYPEMISMATCH, operation,
                             L"The index is neither a name nor a 1-based position.");
    }
    if (number < 1 || static_cast<unsigned long long>(number) > count) {
        return FailOperation(E_IVICONFIG_NOT_EXIST, operation,
                             L"The index " + std::to_wstring(number) +
                                 L" does not exist in the collection (1 to " +
                                 std::to_wstring(count) + L").");
    }
    result->position = static_cast<std::size_t>(number - 1);
    return S_OK;
}

HRESULT CheckGlobalReference(std::uint64_t referent_store_id, std::uint64_t owner_store_id,
                             std::wstring_view operation) {
    if (referent_store_id == 0 || (owner_store_id != 0 && owner_store_id != referent_store_id)) {
        return FailOperation(E_IVICONFIG_NOT_IN_GLOBAL, operation,
                             L"The object is not in the global collection, or is not the same "
                             L"object.");
    }
    return S_OK;
}

// ---- Physical and virtual names ----

PhysicalNameObject::PhysicalNameObject()
    : children(NewPhysicalNameCollection()), ranges(NewPhysicalRangeCollection()) {}

HRESULT PhysicalNameObject::get_PhysicalNames(IIviPhysicalNameCollection** pVal) {
    return GetObjectRef(children, pVal);
}
HRESULT PhysicalNameObject::get_PhysicalRanges(IIviPhysicalRangeCollection** pVal) {
    return GetObjectRef(ranges, pVal);
}

VirtualNameObject::VirtualNameObject() : ranges(NewVirtualRangeCollection()) {}

HRESULT VirtualNameObject::get_VirtualRanges(IIviVirtualRangeCollection** pVal) {
    return GetObjectRef(ranges, pVal);
}

// ---- Hardware asset and software module ----

HardwareAssetObject::HardwareAssetObject() : data_components(NewDataComponentCollection()) {}

HRESULT HardwareAssetObject::get_DataComponents(IIviDataComponentCollection** pVal) {
    return GetObjectRef(data_components, pVal);
}

SoftwareModuleObject::SoftwareModuleObject()
    : data_components(NewDataComponentCollection()),
      physical_names(NewPhysicalNameCollection()),
      published_apis(MakeObject<PublishedApiCollection>()) {}

HRESULT SoftwareModuleObject::get_DataComponents(IIviDataComponentCollection** pVal) {
    return GetObjectRef(data_components, pVal);
}
HRESULT SoftwareModuleObject::put_ModulePath(BSTR /*newVal*/) {
    return FailOperation(E_IVICONFIG_NOT_SUPPORTED, L"ModulePath",
                         L"In a 64-bit process, set ModulePath32 or ModulePath64.");
}
HRESULT SoftwareModuleObject::get_PhysicalNames(IIviPhysicalNameCollection** pVal) {
    return GetObjectRef(physical_names, pVal);
}
HRESULT SoftwareModuleObject::get_PublishedAPIs(IIviPublishedAPICollection** pVal) {
    return GetObjectRef(published_apis, pVal);
}

// ---- Sessions ----

SessionObject::SessionObject(bool is_driver_session)
    : driver_session(is_driver_session),
      data_components(NewDataComponentCollection()),
      virtual_names(NewVirtualNameCollection()) {}

HRESULT SessionObject::get_DataComponents(IIviDataComponentCollection** pVal) {
    return GetObjectRef(data_components, pVal);
}
HRESULT SessionObject::get_HardwareAsset(IIviHardwareAsset** pVal) {
    return GetObjectRef(hardware_asset, pVal);
}
HRESULT SessionObject::get_SoftwareModule(IIviSoftwareModule** pVal) {
    return GetObjectRef(software_module, pVal);
}
HRESULT SessionObject::get_VirtualNames(IIviVirtualNameCollection** pVal) {
    return GetObjectRef(virtual_names, pVal);
}

HRESULT SessionObject::putref_HardwareAsset(IIviHardwareAsset* newVal) {
    const StateLock lock(StateMutex());
    tevo::com::ComPtr<HardwareAssetObject> asset;
    if (newVal != nullptr) {
        asset = ImplOf<HardwareAssetObject>(newVal);
        const HRESULT hr =
            CheckGlobalReference(asset ? asset->store_id : 0, store_id, L"HardwareAsset");
        if (FAILED(hr)) {
            return hr;
        }
    }
    hardware_asset = asset;
    return Succeed();
}

HRESULT SessionObject::putref_SoftwareModule(IIviSoftwareModule* newVal) {
    const StateLock lock(StateMutex());
    tevo::com::ComPtr<SoftwareModuleObject> module;
    if (newVal != nullptr) {
        module = ImplOf<SoftwareModuleObject>(newVal);
        const HRESULT hr =
            CheckGlobalReference(module ? module->store_id : 0, store_id, L"SoftwareModule");
        if (FAILED(hr)) {
            return hr;
        }
    }
    LinkModule(module);
    return Succeed();
}

void SessionObject::LinkModule(const tevo::com::ComPtr<SoftwareModuleObject>& module) {
    if (module.Get() == software_module.Get()) {
        return;
    }
    // Remove the copies of the old module's Required components (matched by name and
    // kind), at the top level and inside "Configurable Initial Settings".
    auto remove_copies = [](DataComponentCollection& from, DataComponentCollection& copies) {
        for (const auto& original : from.Items()) {
            const DataComponentState* state = StateOf(original.Get());
            if (state == nullptr || !IsRequired(*state)) {
                continue;
            }
            if (auto copy = copies.Find(state->name)) {
                const DataComponentState* copy_state = StateOf(copy.Get());
                if (copy_state != nullptr && copy_state->kind == state->kind) {
                    copies.Erase(copy.Get());
                }
            }
        }
    };
    auto settings_of = [](DataComponentCollection& collection) -> DataComponentState* {
        auto structure = collection.Find(kConfigurableInitialSettings);
        DataComponentState* state = structure ? StateOf(structure.Get()) : nullptr;
        return state != nullptr && state->kind == DataKind::kStructure ? state : nullptr;
    };
    if (software_module) {
        remove_copies(*software_module->data_components.Get(), *data_components.Get());
        DataComponentState* from = settings_of(*software_module->data_components.Get());
        DataComponentState* to = settings_of(*data_components.Get());
        if (from != nullptr && to != nullptr) {
            remove_copies(*from->children.Get(), *to->children.Get());
            if (to->children->Items().empty()) {
                data_components->Erase(data_components->Find(kConfigurableInitialSettings).Get());
            }
        }
    }
    software_module = module;
    if (!module) {
        return;
    }
    software_module_name = module->name;
    // Copy the new module's Required components, with ReadOnly off.
    auto copy_required = [](DataComponentCollection& from, DataComponentCollection& to) {
        for (const auto& original : from.Items()) {
            const DataComponentState* state = StateOf(original.Get());
            if (state == nullptr || !IsRequired(*state) || to.Find(state->name)) {
                continue;
            }
            auto copy = CopyDataComponent(original.Get());
            StateOf(copy.Get())->read_only = false;
            to.Append(copy.Get());
        }
    };
    copy_required(*module->data_components.Get(), *data_components.Get());
    if (DataComponentState* from = settings_of(*module->data_components.Get())) {
        DataComponentState* to = settings_of(*data_components.Get());
        if (to == nullptr) {
            auto structure = NewDataComponent(DataKind::kStructure);
            DataComponentState* structure_state = StateOf(structure.Get());
            structure_state->name = kConfigurableInitialSettings;
            structure_state->description = from->description;
            structure_state->used_in_session = from->used_in_session;
            copy_required(*from->children.Get(), *structure_state->children.Get());
            if (!structure_state->children->Items().empty()) {
                data_components->Append(structure.Get());
            }
        } else {
            copy_required(*from->children.Get(), *to->children.Get());
        }
    }
}

// ---- Logical name ----

HRESULT LogicalNameObject::get_Session(IIviSession** pVal) {
    return GetObjectRef(session, pVal);
}

HRESULT LogicalNameObject::putref_Session(IIviSession* newVal) {
    const StateLock lock(StateMutex());
    tevo::com::ComPtr<SessionObject> target;
    if (newVal != nullptr) {
        target = ImplOf<SessionObject>(newVal);
        const HRESULT hr =
            CheckGlobalReference(target ? target->store_id : 0, store_id, L"Session");
        if (FAILED(hr)) {
            return hr;
        }
    }
    session = target;
    return Succeed();
}

// ---- Published-API collections ----

HRESULT PublishedApiCollection::get_Count(LONG* pVal) {
    if (pVal == nullptr) {
        return E_POINTER;
    }
    const StateLock lock(StateMutex());
    *pVal = static_cast<LONG>(items_.size());
    return S_OK;
}

tevo::com::ComPtr<IIviPublishedAPI> PublishedApiCollection::Find(std::wstring_view name, LONG major,
                                                                 LONG minor,
                                                                 std::wstring_view type) const {
    for (const auto& item : items_) {
        const auto api = ImplOf<PublishedApiObject>(item.Get());
        if (api && api->name == name && api->major == major && api->minor == minor &&
            api->type == type) {
            return item;
        }
    }
    return {};
}

bool PublishedApiCollection::Contains(IUnknown* item) const {
    for (const auto& existing : items_) {
        if (static_cast<IUnknown*>(existing.Get()) == item) {
            return true;
        }
    }
    return false;
}

HRESULT PublishedApiCollection::Locate(const VARIANT& index, LONG major, LONG minor, BSTR type,
                                       std::wstring_view operation, std::size_t* position) {
    CollectionIndex found;
    const HRESULT hr = ReadIndex(index, items_.size(), operation, &found);
    if (FAILED(hr)) {
        return hr;
    }
    if (found.position) {
        *position = *found.position;
        return S_OK;
    }
    const std::wstring type_text = ToWide(type);
    const auto item = Find(*found.name, major, minor, type_text);
    for (std::size_t i = 0; item && i < items_.size(); ++i) {
        if (items_[i].Get() == item.Get()) {
            *position = i;
            return S_OK;
        }
    }
    return FailOperation(E_IVICONFIG_NOT_EXIST, operation,
                         L"The published API '" + *found.name + L"' " + std::to_wstring(major) +
                             L"." + std::to_wstring(minor) + L" of type '" + type_text +
                             L"' does not exist in the collection.");
}

HRESULT PublishedApiCollection::get_Item(VARIANT Index, LONG MajorVersion, LONG MinorVersion,
                                         BSTR Type, IIviPublishedAPI** pVal) {
    if (pVal == nullptr) {
        return E_POINTER;
    }
    *pVal = nullptr;
    const StateLock lock(StateMutex());
    std::size_t position = 0;
    const HRESULT hr = Locate(Index, MajorVersion, MinorVersion, Type, L"Item", &position);
    if (FAILED(hr)) {
        return hr;
    }
    return items_[position].CopyTo(pVal);
}

HRESULT PublishedApiCollection::Add(IIviPublishedAPI* Item) {
    if (Item == nullptr) {
        return E_POINTER;
    }
    const StateLock lock(StateMutex());
    const auto api = ImplOf<PublishedApiObject>(Item);
    if (!api) {
        return FailOperation(E_INVALIDARG, L"Add", L"The item is not an object of this server.");
    }
    if (api->name.empty() || api->type.empty()) {
        return FailOperation(E_INVALIDARG, L"Add", L"A published API needs a name and a type.");
    }
    if (Contains(Item) || Find(api->name, api->major, api->minor, api->type)) {
        return FailOperation(
            E_IVICONFIG_ALREADY_EXIST, L"Add",
            L"The published API '" + api->name + L"' already exists in the collection.");
    }
    if (owner_ != nullptr) {
        const HRESULT hr = owner_->BeforeAdd(static_cast<IIviPublishedAPICollection*>(this), Item);
        if (FAILED(hr)) {
            return hr;
        }
    } else if (api->store_id == 0) {
        // A module's list holds references to APIs of the global collection only.
        return FailOperation(E_IVICONFIG_NOT_IN_GLOBAL, L"Add",
                             L"The object is not in the global collection.");
    }
    items_.emplace_back(Item);
    if (owner_ != nullptr) {
        owner_->AfterAdd(static_cast<IIviPublishedAPICollection*>(this), Item);
    }
    return Succeed();
}

HRESULT PublishedApiCollection::Remove(VARIANT Index, LONG MajorVersion, LONG MinorVersion,
                                       BSTR Type, IIviPublishedAPI** pVal) {
    if (pVal != nullptr) {
        *pVal = nullptr;
    }
    const StateLock lock(StateMutex());
    std::size_t position = 0;
    HRESULT hr = Locate(Index, MajorVersion, MinorVersion, Type, L"Remove", &position);
    if (FAILED(hr)) {
        return hr;
    }
    const tevo::com::ComPtr<IIviPublishedAPI> item = items_[position];
    if (owner_ != nullptr) {
        hr = owner_->BeforeRemove(static_cast<IIviPublishedAPICollection*>(this), item.Get());
        if (FAILED(hr)) {
            return hr;
        }
    }
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(position));
    if (owner_ != nullptr) {
        owner_->AfterRemove(static_cast<IIviPublishedAPICollection*>(this), item.Get());
    }
    if (pVal != nullptr) {
        item.CopyTo(pVal);
    }
    return Succeed();
}

}  // namespace tevo::ivi::config

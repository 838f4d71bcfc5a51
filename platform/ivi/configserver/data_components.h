// Data components: configurable values that a software module declares and sessions copy
// (structure, boolean, real, integer, string, API reference). All six kinds share one
// state; each kind is a class of its own because each interface has its own Value type.
#pragma once

#include <string>
#include <string_view>

#include "entities.h"

namespace tevo::ivi::config {

enum class DataKind { kStructure, kBoolean, kReal, kInteger, kString, kApiReference };

// "Structure", "Boolean", "Real", "Integer", "String", "APIReference".
const wchar_t* DataKindName(DataKind kind);
// The kind of an element or type name ("IviReal" or "Real"); false when unknown.
bool DataKindFromTypeName(std::wstring_view type, DataKind* kind);
// "Required", "Optional" or "None" in that spelling, for any letter case; false otherwise.
bool CanonicalUsedInSession(std::wstring_view text, std::wstring* canonical);

class DataComponentState {
  public:
    explicit DataComponentState(DataKind data_kind);
    virtual ~DataComponentState() = default;
    DataComponentState(const DataComponentState&) = delete;
    DataComponentState& operator=(const DataComponentState&) = delete;

    const DataKind kind;
    std::wstring name;
    std::wstring description;
    LONG help_context_id = 0;
    std::wstring help_file_path;
    bool read_only = false;
    std::wstring software_module_key;
    std::wstring used_in_session = L"None";
    bool bool_value = false;
    LONG long_value = 0;
    double real_value = 0.0;
    std::wstring string_value;
    std::wstring units;
    tevo::com::ComPtr<IIviPublishedAPI> published_api;
    tevo::com::ComPtr<DataComponentCollection> children;  // structures only
};

// A new, empty data component of a kind.
tevo::com::ComPtr<IIviDataComponent> NewDataComponent(DataKind kind);
// The state behind a data component of this server, or null.
DataComponentState* StateOf(IIviDataComponent* component);
// A deep copy (children of structures included); the caller holds the lock.
tevo::com::ComPtr<IIviDataComponent> CopyDataComponent(IIviDataComponent* component);

}  // namespace tevo::ivi::config

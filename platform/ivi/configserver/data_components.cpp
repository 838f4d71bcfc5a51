// The six data-component classes and their shared state.
#include "data_components.h"

#include <cwctype>

namespace tevo::ivi::config {

namespace {

template <class Itf>
class DataComponentObject : public ComObject<Itf>, public DataComponentState {
  public:
    explicit DataComponentObject(DataKind data_kind) : DataComponentState(data_kind) {}

    TEVO_CONFIG_NAME_PROPERTY(Name, name)
    TEVO_CONFIG_STRING_PROPERTY(Description, description)
    TEVO_CONFIG_LONG_PROPERTY(HelpContextID, help_context_id)
    TEVO_CONFIG_STRING_PROPERTY(HelpFilePath, help_file_path)
    TEVO_CONFIG_BOOL_PROPERTY(ReadOnly, read_only)
    TEVO_CONFIG_STRING_PROPERTY(SoftwareModuleKey, software_module_key)
    HRESULT get_Type(BSTR* pVal) override { return GetString(DataKindName(kind), pVal); }
    HRESULT get_UsedInSession(BSTR* pVal) override { return GetString(used_in_session, pVal); }
    HRESULT put_UsedInSession(BSTR newVal) override {
        std::wstring canonical;
        if (!CanonicalUsedInSession(ToWide(newVal), &canonical)) {
            return Fail(kInvalidValue,
                        L"UsedInSession must be \"Required\", \"Optional\" or \"None\".");
        }
        const StateLock lock(StateMutex());
        used_in_session = canonical;
        return Succeed();
    }

  protected:
    bool Implements(REFIID riid) const override {
        return riid == IID_IIviDataComponent || riid == ItemIid();
    }

  private:
    static const IID& ItemIid();
};

template <>
const IID& DataComponentObject<IIviStructure>::ItemIid() {
    return IID_IIviStructure;
}
template <>
const IID& DataComponentObject<IIviBoolean>::ItemIid() {
    return IID_IIviBoolean;
}
template <>
const IID& DataComponentObject<IIviReal>::ItemIid() {
    return IID_IIviReal;
}
template <>
const IID& DataComponentObject<IIviInteger>::ItemIid() {
    return IID_IIviInteger;
}
template <>
const IID& DataComponentObject<IIviString>::ItemIid() {
    return IID_IIviString;
}
template <>
const IID& DataComponentObject<IIviAPIReference>::ItemIid() {
    return IID_IIviAPIReference;
}

class StructureObject final : public DataComponentObject<IIviStructure> {
  public:
    StructureObject() : DataComponentObject(DataKind::kStructure) {
        children = NewDataComponentCollection();
    }
    HRESULT get_DataComponents(IIviDataComponentCollection** pVal) override {
        return GetObjectRef(children, pVal);
    }
};

class BooleanObject final : public DataComponentObject<IIviBoolean> {
  public:
    BooleanObject() : DataComponentObject(DataKind::kBoolean) {}
    TEVO_CONFIG_BOOL_PROPERTY(Value, bool_value)
};

class RealObject final : public DataComponentObject<IIviReal> {
  public:
    RealObject() : DataComponentObject(DataKind::kReal) {}
    TEVO_CONFIG_STRING_PROPERTY(Units, units)
    HRESULT get_Value(double* pVal) override {
        if (pVal == nullptr) {
            return E_POINTER;
        }
        const StateLock lock(StateMutex());
        *pVal = real_value;
        return S_OK;
    }
    HRESULT put_Value(double newVal) override {
        const StateLock lock(StateMutex());
        real_value = newVal;
        return S_OK;
    }
};

class IntegerObject final : public DataComponentObject<IIviInteger> {
  public:
    IntegerObject() : DataComponentObject(DataKind::kInteger) {}
    TEVO_CONFIG_STRING_PROPERTY(Units, units)
    TEVO_CONFIG_LONG_PROPERTY(Value, long_value)
};

class StringObject final : public DataComponentObject<IIviString> {
  public:
    StringObject() : DataComponentObject(DataKind::kString) {}
    TEVO_CONFIG_STRING_PROPERTY(Value, string_value)
};

class ApiReferenceObject final : public DataComponentObject<IIviAPIReference> {
  public:
    ApiReferenceObject() : DataComponentObject(DataKind::kApiReference) {}
    TEVO_CONFIG_STRING_PROPERTY(Value, string_value)
    HRESULT get_PublishedAPI(IIviPublishedAPI** pVal) override {
        return GetObjectRef(published_api, pVal);
    }
    HRESULT putref_PublishedAPI(IIviPublishedAPI* newVal) override {
        const StateLock lock(StateMutex());
        if (newVal != nullptr) {
            const auto api = ImplOf<PublishedApiObject>(newVal);
            if (!api || api->store_id == 0) {
                return FailOperation(E_IVICONFIG_NOT_IN_GLOBAL, L"PublishedAPI",
                                     L"The published API is not in the global collection.");
            }
        }
        published_api = tevo::com::ComPtr<IIviPublishedAPI>(newVal);
        return Succeed();
    }
};

}  // namespace

DataComponentState::DataComponentState(DataKind data_kind) : kind(data_kind) {}

const wchar_t* DataKindName(DataKind kind) {
    switch (kind) {
        case DataKind::kStructure:
            return L"Structure";
        case DataKind::kBoolean:
            return L"Boolean";
        case DataKind::kReal:
            return L"Real";
        case DataKind::kInteger:
            return L"Integer";
        case DataKind::kString:
            return L"String";
        case DataKind::kApiReference:
            return L"APIReference";
    }
    return L"";
}

bool DataKindFromTypeName(std::wstring_view type, DataKind* kind) {
    if (type.substr(0, 3) == L"Ivi") {
        type.remove_prefix(3);
    }
    for (DataKind candidate : {DataKind::kStructure, DataKind::kBoolean, DataKind::kReal,
                               DataKind::kInteger, DataKind::kString, DataKind::kApiReference}) {
        if (type == DataKindName(candidate)) {
            *kind = candidate;
            return true;
        }
    }
    return false;
}

bool CanonicalUsedInSession(std::wstring_view text, std::wstring* canonical) {
    for (const wchar_t* option : {L"Required", L"Optional", L"None"}) {
        const std::wstring_view candidate(option);
        if (candidate.size() != text.size()) {
            continue;
        }
        bool equal = true;
        for (std::size_t i = 0; i < text.size() && equal; ++i) {
            equal = std::towlower(static_cast<wint_t>(text[i])) ==
                    std::towlower(static_cast<wint_t>(candidate[i]));
        }
        if (equal) {
            *canonical = option;
            return true;
        }
    }
    return false;
}

tevo::com::ComPtr<IIviDataComponent> NewDataComponent(DataKind kind) {
    tevo::com::ComPtr<IIviDataComponent> result;
    switch (kind) {
        case DataKind::kStructure:
            result.Attach(new StructureObject());
            break;
        case DataKind::kBoolean:
            result.Attach(new BooleanObject());
            break;
        case DataKind::kReal:
            result.Attach(new RealObject());
            break;
        case DataKind::kInteger:
            result.Attach(new IntegerObject());
            break;
        case DataKind::kString:
            result.Attach(new StringObject());
            break;
        case DataKind::kApiReference:
            result.Attach(new ApiReferenceObject());
            break;
    }
    return result;
}

DataComponentState* StateOf(IIviDataComponent* component) {
    const auto base = ImplOf<ObjectBase>(component);
    return dynamic_cast<DataComponentState*>(base.Get());
}

tevo::com::ComPtr<IIviDataComponent> CopyDataComponent(IIviDataComponent* component) {
    const DataComponentState* from = StateOf(component);
    if (from == nullptr) {
        return {};
    }
    auto copy = NewDataComponent(from->kind);
    DataComponentState* to = StateOf(copy.Get());
    to->name = from->name;
    to->description = from->description;
    to->help_context_id = from->help_context_id;
    to->help_file_path = from->help_file_path;
    to->read_only = from->read_only;
    to->software_module_key = from->software_module_key;
    to->used_in_session = from->used_in_session;
    to->bool_value = from->bool_value;
    to->long_value = from->long_value;
    to->real_value = from->real_value;
    to->string_value = from->string_value;
    to->units = from->units;
    to->published_api = from->published_api;
    if (from->children) {
        for (const auto& child : from->children->Items()) {
            if (auto child_copy = CopyDataComponent(child.Get())) {
                to->children->Append(child_copy.Get());
            }
        }
    }
    return copy;
}

}  // namespace tevo::ivi::config

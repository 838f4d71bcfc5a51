#include "measurement/trace_collection.h"

#include <string>
#include <utility>

#include "session/config_store_access.h"
#include "session/error_codes.h"
#include "session/text_conversion.h"

namespace tevo::driver {

namespace {

// The client's text; a null BSTR is the empty text.
std::wstring TextOf(BSTR text) {
    return text != nullptr ? std::wstring(text, SysStringLen(text)) : std::wstring();
}

}  // namespace

TraceCollection::TraceCollection(TraceList list, std::span<const wchar_t* const> names)
    : list_(list), names_(names.begin(), names.end()), items_(names.size()) {}

void TraceCollection::SetItem(size_t index, tevo::com::ComPtr<IUnknown> item, TraceItemLink* link) {
    items_[index] = Slot{std::move(item), link};
}

void TraceCollection::ReleaseItems() {
    for (Slot& slot : items_) {
        if (slot.link != nullptr) {
            slot.link->HoldDriver();
        }
        // Moved out first, so that the slot is empty before the item may be destroyed.
        const tevo::com::ComPtr<IUnknown> released = std::move(slot.item);
        slot = Slot{};
    }
}

HRESULT TraceCollection::GetCount(const ErrorSource& errors, LONG* pVal) const {
    if (pVal == nullptr) {
        return ReportError(errors, kNullPointer, kNullPointerDetails, "get_Count", "pVal");
    }
    *pVal = static_cast<LONG>(names_.size());
    return S_OK;
}

HRESULT TraceCollection::GetItem(const ErrorSource& errors, IIviDriverSession* session, BSTR name,
                                 REFIID iid, void** pVal) const {
    if (pVal == nullptr) {
        return ReportMessageError(errors, kMessageNullPointer, "get_Item", "pVal");
    }
    *pVal = nullptr;
    const std::wstring physical = PhysicalNameOf(session, TextOf(name));
    for (size_t index = 0; index < names_.size(); ++index) {
        if (names_[index] != physical) {
            continue;
        }
        IUnknown* item = items_[index].item.Get();
        if (item == nullptr) {
            return ReportMessageError(errors, kMessageNotInitialized);
        }
        return item->QueryInterface(iid, pVal);
    }
    return ReportError(errors, kInvalidValue, kInvalidValueDetails, BstrToAnsi(name).c_str(),
                       "get_Item", "Name");
}

HRESULT TraceCollection::GetName(const ErrorSource& errors, IIviDriverSession* session, LONG index,
                                 BSTR* pVal) const {
    if (pVal == nullptr) {
        return ReportError(errors, kNullPointer, kNullPointerDetails, "get_Name", "pVal");
    }
    *pVal = nullptr;
    if (index < 0 || static_cast<size_t>(index) >= names_.size()) {
        return ReportError(errors, kInvalidValue, kInvalidValueDetails,
                           std::to_string(index).c_str(), "get_Name", "Index");
    }
    const std::wstring name = VirtualNameOf(session, names_[static_cast<size_t>(index)]);
    *pVal = SysAllocStringLen(name.data(), static_cast<UINT>(name.size()));
    return *pVal != nullptr ? S_OK : E_OUTOFMEMORY;
}

}  // namespace tevo::driver

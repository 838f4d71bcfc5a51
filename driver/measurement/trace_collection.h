// TraceCollection: one of the driver's two trace collections (IIviSpecAnTraces with the
// class-compliant names, ITevoTraces with the instrument-specific ones). It keeps the name
// list for the life of the main object and, while a session is initialized, one item object
// per name at the same position (a null slot when the item could not be created).
//
// Names a client passes or receives go through the virtual names of the session's driver
// session in the IVI configuration store: Item maps a virtual name to its physical name,
// Name reports the first virtual name that maps to the item's name. Physical names compare
// exactly and case-sensitively.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "attributes/attribute_catalogue.h"
#include "measurement/trace_item.h"
#include "session/error_reporting.h"
#include "tevo/IviConfigServer.h"
#include "tevo/com/com_ptr.h"

namespace tevo::driver {

class TraceCollection {
  public:
    TraceCollection(TraceList list, std::span<const wchar_t* const> names);

    TraceList List() const { return list_; }
    size_t Size() const { return names_.size(); }
    const std::wstring& NameAt(size_t index) const { return names_[index]; }

    // The item at `index` (not AddRef'ed); null when there is none.
    IUnknown* ItemAt(size_t index) const { return items_[index].item.Get(); }
    // Takes over one reference on the item of `index`; `link` is its link part.
    void SetItem(size_t index, tevo::com::ComPtr<IUnknown> item, TraceItemLink* link);
    // Lets each item hold the main object, then releases every item reference; the slots
    // stay, empty.
    void ReleaseItems();

    // ---- The collection's properties. `session` is the configuration store's driver session
    // of the object's session, or null.
    HRESULT GetCount(const ErrorSource& errors, LONG* pVal) const;
    // The item whose name is `name` (after virtual-name mapping), as interface `iid`.
    HRESULT GetItem(const ErrorSource& errors, IIviDriverSession* session, BSTR name, REFIID iid,
                    void** pVal) const;
    // The name of the item at the zero-based `index`, as the client knows it.
    HRESULT GetName(const ErrorSource& errors, IIviDriverSession* session, LONG index,
                    BSTR* pVal) const;

  private:
    TraceList list_;
    std::vector<std::wstring> names_;
    struct Slot {
        tevo::com::ComPtr<IUnknown> item;
        TraceItemLink* link = nullptr;
    };
    std::vector<Slot> items_;
};

}  // namespace tevo::driver

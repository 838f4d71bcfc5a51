// The trace items: one small COM object per trace name of a collection, CTevoSpecAnTrace
// (coclass TevoSpecAnTrace, IIviSpecAnTrace) and CTevoTrace (coclass TevoTrace, ITevoTrace).
// An item has its own identity (ISupportErrorInfo) and reference count, and counts as a live
// object of the module. Its calls run in the call frame on the main object's session and
// locks.
//
// References: the main object holds one reference on each item it lists (from Initialize
// until Close). While listed, the item's link to the main object does not count: the main
// object cannot go away then, since an initialized session holds a reference on itself. When
// Close unlists the item, the item first turns its link into a counted reference, which it
// gives up when it is destroyed. So an item a client still holds keeps the main object alive,
// an item nobody holds is destroyed at Close, and no cycle of counted references remains.
//
// An item handed out in one session stays a valid object after Close: its calls then fail in
// the frame (not initialized). After a new Initialize it works again on the instrument trace
// of its own index: it never keeps a trace record of its own but asks the main object's
// current attribute table for the record of its index on every call, so a record of a table
// that Close deleted is never touched.
#pragma once

#include <atomic>
#include <string>

#include "attributes/attribute_catalogue.h"
#include "server/module_lock.h"
#include "session/facet.h"

namespace tevo::driver {

class CTevo;

// The part of an item the main object deals with.
class TraceItemLink {
  public:
    // Called by the main object before it unlists the item: the link to the main object
    // becomes a counted reference.
    virtual void HoldDriver() = 0;

  protected:
    ~TraceItemLink() = default;
};

// ISupportErrorInfo of an item: error information for its item interface only.
template <class Owner, class ItemInterface>
class TraceItemErrorInfoFacet : public Facet<Owner, ISupportErrorInfo> {
  public:
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override {
        return riid == tevo::com::InterfaceIid<ItemInterface>::value ? S_OK : S_FALSE;
    }
};

// IIviSpecAnTrace and ITevoTrace have the same members; only the trace type enumeration
// differs.
template <class Owner, class ItemInterface, class TypeEnum>
class TraceItemFacet : public Facet<Owner, ItemInterface> {
  public:
    HRESULT STDMETHODCALLTYPE FetchY(SAFEARRAY** Amplitude) override {
        return this->Session("FetchY", &Owner::FetchTrace, Amplitude);
    }
    HRESULT STDMETHODCALLTYPE ReadY(LONG MaxTime, SAFEARRAY** Amplitude) override {
        return this->Session("ReadY", &Owner::ReadTrace, MaxTime, Amplitude);
    }
    HRESULT STDMETHODCALLTYPE get_Size(LONG* pVal) override {
        return this->Session("get_Size", &Owner::GetSize, pVal);
    }
    HRESULT STDMETHODCALLTYPE get_Type(TypeEnum* pVal) override {
        return this->Session("get_Type", &Owner::GetType, pVal);
    }
    HRESULT STDMETHODCALLTYPE put_Type(TypeEnum newVal) override {
        return this->Session("put_Type", &Owner::PutType, newVal);
    }
};

struct SpecAnTraceTraits {
    using Interface = IIviSpecAnTrace;
    using TypeEnum = IviSpecAnTraceTypeEnum;
    static constexpr TraceList kList = TraceList::kSpecAn;
    static const CLSID& ClassId() { return CLSID_TevoSpecAnTrace; }
};

struct TevoTraceTraits {
    using Interface = ITevoTrace;
    using TypeEnum = TevoTraceTypeEnum;
    static constexpr TraceList kList = TraceList::kTevo;
    static const CLSID& ClassId() { return CLSID_TevoTrace; }
};

// ModuleReference comes first so that the module count is released last.
template <class Traits>
class TraceItem final
    : private ModuleReference,
      public FrameObject,
      public TraceItemLink,
      public TraceItemErrorInfoFacet<TraceItem<Traits>, typename Traits::Interface>,
      public TraceItemFacet<TraceItem<Traits>, typename Traits::Interface,
                            typename Traits::TypeEnum> {
  public:
    using TypeEnum = typename Traits::TypeEnum;

    // A new item of `driver` with one reference (the caller's), through its IUnknown; `link`
    // receives the item's link part (not counted).
    static HRESULT Create(CTevo* driver, const std::wstring& name, LONG index, IUnknown** item,
                          TraceItemLink** link);

    HRESULT ObjectQueryInterface(REFIID riid, void** object);
    ULONG ObjectAddRef() { return references_.fetch_add(1) + 1; }
    ULONG ObjectRelease();

    // ---- FrameObject: the main object's session and locks.
    const CLSID& ClassId() const override { return Traits::ClassId(); }
    FrameRoot* FrameRootPointer() override;
    FrameLocks& Locks() override;

    void HoldDriver() override;

    const std::wstring& Name() const { return name_; }
    LONG Index() const { return index_; }

    // ---- Inner implementations.
    HRESULT GetSize(LONG* pVal);
    HRESULT GetType(TypeEnum* pVal);
    HRESULT PutType(TypeEnum newVal);
    // FetchY and ReadY of the instrument trace of this item, numbered from 1 in list order
    // (the second name of either list reads trace 2).
    HRESULT FetchTrace(SAFEARRAY** Amplitude);
    HRESULT ReadTrace(LONG MaxTime, SAFEARRAY** Amplitude);
    LONG TraceNumber() const { return index_ + 1; }

  private:
    TraceItem(CTevo* driver, std::wstring name, LONG index);
    ~TraceItem();

    std::atomic<ULONG> references_{1};
    CTevo* driver_;
    // Whether the link to the main object is counted (after HoldDriver). Set under the main
    // object's call lock before the main object releases its reference on the item.
    bool holds_driver_ = false;
    std::wstring name_;
    LONG index_;
};

using CTevoSpecAnTrace = TraceItem<SpecAnTraceTraits>;
using CTevoTrace = TraceItem<TevoTraceTraits>;

extern template class TraceItem<SpecAnTraceTraits>;
extern template class TraceItem<TevoTraceTraits>;

}  // namespace tevo::driver

// AttributeTable: the attribute records of one initialized session, and the entry points
// through which the interface methods reach the engine. The main object creates the table
// at every Initialize and deletes it at Close; it holds, in this order, the owner link (the
// main object), one record per general attribute in catalogue order, the three
// class-compliant trace records and the six instrument-specific ones.
//
// No record keeps a value: Invalidate does nothing, and InvalidateAll performs no I/O. A
// record reaches the main object through its owner link (GetRoot); a record without one
// is an internal inconsistency, shown in the message box "GetRoot() == NULL" ("Error")
// before anything else happens.
//
// The interface methods call the table as one line each, for instance
//     return Session("get_Start", &CTevo::AttributeGet<AttributeId::kTevoFrequencyStart>, pVal);
// where the inner implementation is table->Get(id, pVal). A class-compliant property
// whose row names an instrument-specific twin answers through the twin's implementation on
// its own record.
#pragma once

#include <array>
#include <cstddef>
#include <type_traits>

#include "attributes/attribute_catalogue.h"
#include "attributes/attribute_context.h"
#include "attributes/attribute_engine.h"

namespace tevo::driver {

// What an attribute record's owner link points to: the table, or a trace record.
class AttributeOwner {
  public:
    // The main object; null when the link to it is lost.
    virtual AttributeContext* Root() const = 0;

  protected:
    ~AttributeOwner() = default;
};

class AttributeRecord {
  public:
    // Forgets a cached value: records keep none.
    void Invalidate() {}
    const AttributeOwner* GetOwner() const { return owner_; }
    void SetOwner(const AttributeOwner* owner) { owner_ = owner; }
    AttributeContext* GetRoot() const { return owner_ != nullptr ? owner_->Root() : nullptr; }

  private:
    const AttributeOwner* owner_ = nullptr;
};

// One trace of a repeated capability: the link to its item object (set when the item is
// created, not counted) and the records of its Size and Type.
class TraceRecord final : public AttributeOwner {
  public:
    TraceRecord() = default;
    TraceRecord(const TraceRecord&) = delete;
    TraceRecord& operator=(const TraceRecord&) = delete;

    void Bind(const AttributeOwner* table, TraceList list, size_t index);
    AttributeContext* Root() const override { return table_ != nullptr ? table_->Root() : nullptr; }
    TraceList List() const { return list_; }
    size_t Index() const { return index_; }
    // The instrument's number of the trace: its index plus 1.
    LONG TraceNumber() const { return static_cast<LONG>(index_) + 1; }
    IUnknown* Item() const { return item_; }
    void SetItem(IUnknown* item) { item_ = item; }
    AttributeRecord& Record(TraceAttribute attribute) {
        return attribute == TraceAttribute::kSize ? size_ : type_;
    }

  private:
    const AttributeOwner* table_ = nullptr;
    TraceList list_ = TraceList::kTevo;
    size_t index_ = 0;
    IUnknown* item_ = nullptr;
    AttributeRecord size_;
    AttributeRecord type_;
};

inline constexpr size_t kSpecAnTraceCount = 3;
inline constexpr size_t kTevoTraceCount = 6;

class AttributeTable final : public AttributeOwner {
  public:
    // Builds every record and sets its owner link; root is the main object.
    explicit AttributeTable(AttributeContext* root);
    AttributeTable(const AttributeTable&) = delete;
    AttributeTable& operator=(const AttributeTable&) = delete;

    AttributeContext* Root() const override { return root_; }

    // ---- Get and put layers of the general attributes.
    HRESULT Get(AttributeId id, double* pVal) { return GetGeneral(id, pVal); }
    HRESULT Get(AttributeId id, LONG* pVal) { return GetGeneral(id, pVal); }
    HRESULT Get(AttributeId id, VARIANT_BOOL* pVal) { return GetGeneral(id, pVal); }
    HRESULT Get(AttributeId id, BSTR* pVal) { return GetGeneral(id, pVal); }
    template <class Enum>
    requires std::is_enum_v<Enum> HRESULT Get(AttributeId id, Enum* pVal) {
        return GetEnumeration(pVal, [&](LONG* value) { return Get(id, value); });
    }
    HRESULT Put(AttributeId id, double newVal) { return PutGeneral(id, newVal); }
    HRESULT Put(AttributeId id, LONG newVal) { return PutGeneral(id, newVal); }
    HRESULT Put(AttributeId id, VARIANT_BOOL newVal) { return PutGeneral(id, newVal); }
    HRESULT Put(AttributeId id, BSTR newVal) { return PutGeneral(id, newVal); }
    template <class Enum>
    requires std::is_enum_v<Enum> HRESULT Put(AttributeId id, Enum newVal) {
        return Put(id, static_cast<LONG>(newVal));
    }

    // ---- Per-trace attributes (Size: LONG; Type: the trace type enumeration).
    HRESULT TraceGet(TraceList list, size_t index, TraceAttribute attribute, LONG* pVal);
    template <class Enum>
    requires std::is_enum_v<Enum> HRESULT TraceGet(TraceList list, size_t index,
                                                   TraceAttribute attribute, Enum* pVal) {
        return GetEnumeration(pVal,
                              [&](LONG* value) { return TraceGet(list, index, attribute, value); });
    }
    HRESULT TracePut(TraceList list, size_t index, TraceAttribute attribute, LONG newVal);

    // InvalidateAllAttributes: every general record, then both records of every trace
    // record, in table order; no I/O.
    void InvalidateAll();
    // Visits every attribute record in table order.
    template <class Visit>
    void ForEachRecord(Visit visit) {
        for (AttributeRecord& record : general_) {
            visit(record);
        }
        for (TraceRecord& trace : specan_traces_) {
            visit(trace.Record(TraceAttribute::kSize));
            visit(trace.Record(TraceAttribute::kType));
        }
        for (TraceRecord& trace : tevo_traces_) {
            visit(trace.Record(TraceAttribute::kSize));
            visit(trace.Record(TraceAttribute::kType));
        }
    }

    AttributeRecord& Record(AttributeId id) { return general_[static_cast<size_t>(id)]; }
    // The trace record of an item; index must be below the list's count.
    TraceRecord& Trace(TraceList list, size_t index);
    static size_t TraceCount(TraceList list) {
        return list == TraceList::kSpecAn ? kSpecAnTraceCount : kTevoTraceCount;
    }

  private:
    template <class Out>
    HRESULT GetGeneral(AttributeId id, Out* pVal) {
        return GetOn(Record(id), ImplementationRow(id), kNoTraceNumber, AttributeOut{pVal});
    }
    template <class In>
    HRESULT PutGeneral(AttributeId id, In newVal) {
        return PutOn(Record(id), ImplementationRow(id), kNoTraceNumber, AttributeIn{newVal});
    }
    // Enumerations travel as LONG; the caller's value is left as it was on failure.
    template <class Enum, class GetLong>
    static HRESULT GetEnumeration(Enum* pVal, GetLong get) {
        LONG value = pVal != nullptr ? static_cast<LONG>(*pVal) : 0;
        const HRESULT hr = get(pVal != nullptr ? &value : nullptr);
        if (pVal != nullptr) {
            *pVal = static_cast<Enum>(value);
        }
        return hr;
    }
    HRESULT GetOn(const AttributeRecord& record, const AttributeRow& row, LONG trace_number,
                  AttributeOut out);
    HRESULT PutOn(const AttributeRecord& record, const AttributeRow& row, LONG trace_number,
                  const AttributeIn& value);

    AttributeContext* root_;
    std::array<AttributeRecord, kGeneralAttributeCount> general_;
    std::array<TraceRecord, kSpecAnTraceCount> specan_traces_;
    std::array<TraceRecord, kTevoTraceCount> tevo_traces_;
};

}  // namespace tevo::driver

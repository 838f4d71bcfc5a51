#include "attributes/attribute_table.h"

#include "tevo/win/messagebox.h"

namespace tevo::driver {

namespace {

// The record has lost its main object: shown, and nothing else is done.
HRESULT ReportLostRoot() {
    MessageBoxA(nullptr, "GetRoot() == NULL", "Error", MB_OK);
    return E_UNEXPECTED;
}

}  // namespace

void TraceRecord::Bind(const AttributeOwner* table, TraceList list, size_t index) {
    table_ = table;
    list_ = list;
    index_ = index;
    size_.SetOwner(this);
    type_.SetOwner(this);
}

AttributeTable::AttributeTable(AttributeContext* root) : root_(root) {
    for (AttributeRecord& record : general_) {
        record.SetOwner(this);
    }
    for (size_t index = 0; index < specan_traces_.size(); ++index) {
        specan_traces_[index].Bind(this, TraceList::kSpecAn, index);
    }
    for (size_t index = 0; index < tevo_traces_.size(); ++index) {
        tevo_traces_[index].Bind(this, TraceList::kTevo, index);
    }
}

TraceRecord& AttributeTable::Trace(TraceList list, size_t index) {
    return list == TraceList::kSpecAn ? specan_traces_.at(index) : tevo_traces_.at(index);
}

HRESULT AttributeTable::TraceGet(TraceList list, size_t index, TraceAttribute attribute,
                                 LONG* pVal) {
    if (index >= TraceCount(list)) {
        return E_INVALIDARG;
    }
    TraceRecord& trace = Trace(list, index);
    return GetOn(trace.Record(attribute), TraceCatalogueRow(list, attribute), trace.TraceNumber(),
                 AttributeOut{pVal});
}

HRESULT AttributeTable::TracePut(TraceList list, size_t index, TraceAttribute attribute,
                                 LONG newVal) {
    if (index >= TraceCount(list)) {
        return E_INVALIDARG;
    }
    TraceRecord& trace = Trace(list, index);
    return PutOn(trace.Record(attribute), TraceCatalogueRow(list, attribute), trace.TraceNumber(),
                 AttributeIn{newVal});
}

void AttributeTable::InvalidateAll() {
    ForEachRecord([](AttributeRecord& record) { record.Invalidate(); });
}

HRESULT AttributeTable::GetOn(const AttributeRecord& record, const AttributeRow& row,
                              LONG trace_number, AttributeOut out) {
    AttributeContext* root = record.GetRoot();
    if (root == nullptr) {
        return ReportLostRoot();
    }
    return AttributeGetLayer(*root, row, trace_number, out);
}

HRESULT AttributeTable::PutOn(const AttributeRecord& record, const AttributeRow& row,
                              LONG trace_number, const AttributeIn& value) {
    AttributeContext* root = record.GetRoot();
    if (root == nullptr) {
        return ReportLostRoot();
    }
    return AttributePutLayer(*root, row, trace_number, value);
}

}  // namespace tevo::driver

#include "measurement/trace_item.h"

#include <new>

#include "measurement/main_driver_object.h"

namespace tevo::driver {

template <class Traits>
TraceItem<Traits>::TraceItem(CTevo* driver, std::wstring name, LONG index)
    : driver_(driver), name_(std::move(name)), index_(index) {}

template <class Traits>
TraceItem<Traits>::~TraceItem() {
    if (holds_driver_) {
        driver_->ObjectRelease();
    }
}

template <class Traits>
void TraceItem<Traits>::HoldDriver() {
    if (!holds_driver_) {
        driver_->ObjectAddRef();
        holds_driver_ = true;
    }
}

template <class Traits>
HRESULT TraceItem<Traits>::Create(CTevo* driver, const std::wstring& name, LONG index,
                                  IUnknown** item, TraceItemLink** link) {
    *item = nullptr;
    *link = nullptr;
    auto* created = new (std::nothrow) TraceItem(driver, name, index);
    if (created == nullptr) {
        return E_OUTOFMEMORY;
    }
    *item = static_cast<TraceItemErrorInfoFacet<TraceItem, typename Traits::Interface>*>(created);
    *link = created;
    return S_OK;
}

template <class Traits>
HRESULT TraceItem<Traits>::ObjectQueryInterface(REFIID riid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    IUnknown* found = nullptr;
    if (riid == IID_IUnknown || riid == IID_ISupportErrorInfo) {
        found = static_cast<TraceItemErrorInfoFacet<TraceItem, typename Traits::Interface>*>(this);
    } else if (riid == tevo::com::InterfaceIid<typename Traits::Interface>::value) {
        found = static_cast<typename Traits::Interface*>(this);
    }
    *object = found;
    if (found == nullptr) {
        return E_NOINTERFACE;
    }
    ObjectAddRef();
    return S_OK;
}

template <class Traits>
ULONG TraceItem<Traits>::ObjectRelease() {
    const ULONG left = references_.fetch_sub(1) - 1;
    if (left == 0) {
        delete this;
    }
    return left;
}

template <class Traits>
FrameRoot* TraceItem<Traits>::FrameRootPointer() {
    return driver_->FrameRootPointer();
}

template <class Traits>
FrameLocks& TraceItem<Traits>::Locks() {
    return driver_->Locks();
}

template <class Traits>
HRESULT TraceItem<Traits>::GetSize(LONG* pVal) {
    return driver_->TraceAttributeGet(Traits::kList, index_, TraceAttribute::kSize, pVal);
}

template <class Traits>
HRESULT TraceItem<Traits>::GetType(TypeEnum* pVal) {
    return driver_->TraceAttributeGet(Traits::kList, index_, TraceAttribute::kType, pVal);
}

template <class Traits>
HRESULT TraceItem<Traits>::PutType(TypeEnum newVal) {
    return driver_->TraceAttributePut(Traits::kList, index_, TraceAttribute::kType,
                                      static_cast<LONG>(newVal));
}

template <class Traits>
HRESULT TraceItem<Traits>::FetchTrace(SAFEARRAY** Amplitude) {
    return driver_->template RunOperation<&operations::FetchY>(TraceNumber(), Amplitude);
}

template <class Traits>
HRESULT TraceItem<Traits>::ReadTrace(LONG MaxTime, SAFEARRAY** Amplitude) {
    return driver_->template RunOperation<&operations::ReadY>(TraceNumber(), MaxTime, Amplitude);
}

template class TraceItem<SpecAnTraceTraits>;
template class TraceItem<TevoTraceTraits>;

}  // namespace tevo::driver

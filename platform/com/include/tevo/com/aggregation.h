// The non-delegating IUnknown of an object that can be aggregated.
//
// An aggregatable object keeps its reference count and its identity in a separate
// sub-object, InnerUnknown, and lets the IUnknown methods of its own interfaces go to the
// controlling unknown: the outer object when it is aggregated, else the inner unknown:
//
//   class Thing final : public IThing {
//     public:
//       explicit Thing(IUnknown* outer) : outer_(outer != nullptr ? outer : &inner_) {}
//       HRESULT QueryInterface(REFIID riid, void** ppv) override {
//           return outer_->QueryInterface(riid, ppv);
//       }
//       ...AddRef and Release the same way...
//     private:
//       friend class tevo::com::InnerUnknown<Thing, IThing>;  // it deletes the object
//       ~Thing() = default;
//       tevo::com::InnerUnknown<Thing, IThing> inner_{this};
//       IUnknown* outer_;
//   };
//
// The creator hands out the inner unknown (QueryInterface on it) and releases its own
// first reference.
#pragma once

#include <atomic>

#include "tevo/com/unknown.h"

namespace tevo::com {

template <class Owner, class Interface>
class InnerUnknown final : public IUnknown {
  public:
    explicit InnerUnknown(Owner* owner) : owner_(owner) {}
    InnerUnknown(const InnerUnknown&) = delete;
    InnerUnknown& operator=(const InnerUnknown&) = delete;

    // IUnknown gives this inner unknown, `Interface` the owner; nothing else.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override {
        if (ppvObject == nullptr) {
            return E_POINTER;
        }
        if (riid == IID_IUnknown) {
            *ppvObject = static_cast<IUnknown*>(this);
        } else if (riid == InterfaceIid<Interface>::value) {
            *ppvObject = static_cast<Interface*>(owner_);
        } else {
            *ppvObject = nullptr;
            return E_NOINTERFACE;
        }
        static_cast<IUnknown*>(*ppvObject)->AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    // Deletes the owner when the last reference goes.
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) {
            delete owner_;
        }
        return left;
    }

  private:
    Owner* const owner_;
    std::atomic<ULONG> references_{1};
};

}  // namespace tevo::com

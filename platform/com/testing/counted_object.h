// Test support: a COM object that counts its references and its destruction, so tests
// can check that the runtime and the helpers AddRef and Release exactly as often as they
// should. It has IDispatch with a value property (DISPID_VALUE) for conversion tests.
#pragma once

#include <atomic>

#include "tevo/com/dispatch.h"
#include "tevo/com/unknown.h"
#include "tevo/com/variant.h"

namespace tevo::com::testing {

class CountedObject final : public IDispatch {
  public:
    // *destroyed is incremented when the object deletes itself.
    explicit CountedObject(int* destroyed = nullptr) : destroyed_(destroyed) {
        VariantInit(&value_);
    }

    HRESULT QueryInterface(REFIID riid, void** ppvObject) override {
        if (ppvObject == nullptr) {
            return E_POINTER;
        }
        if (riid == IID_IUnknown || riid == IID_IDispatch) {
            *ppvObject = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *ppvObject = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        const ULONG left = --refs_;
#ifndef __clang_analyzer__  // the analyzer cannot follow the count and sees false frees
        if (left == 0) {
            delete this;
        }
#endif
        return left;
    }

    HRESULT GetTypeInfoCount(UINT* pctinfo) override {
        *pctinfo = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override {
        return E_NOTIMPL;
    }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT Invoke(DISPID dispIdMember, REFIID, LCID, WORD wFlags, DISPPARAMS* pDispParams,
                   VARIANT* pVarResult, EXCEPINFO*, UINT*) override {
        if (dispIdMember != DISPID_VALUE || (wFlags & DISPATCH_PROPERTYGET) == 0 ||
            pDispParams == nullptr || pDispParams->cArgs != 0 || pVarResult == nullptr) {
            return DISP_E_MEMBERNOTFOUND;
        }
        ++valueReads_;
        VariantInit(pVarResult);
        return VariantCopy(pVarResult, &value_);
    }

    // The value property's value (copied).
    void SetValue(const VARIANT& value) {
        VariantCopy(&value_, &value);
    }
    ULONG Refs() const {
        return refs_;
    }
    int ValueReads() const {
        return valueReads_;
    }

  private:
    ~CountedObject() {
        VariantClear(&value_);
        if (destroyed_ != nullptr) {
            ++*destroyed_;
        }
    }

    std::atomic<ULONG> refs_{1};
    int* destroyed_;
    VARIANT value_;
    int valueReads_ = 0;
};

}  // namespace tevo::com::testing

// The enumerator behind tevo::com::CreateVariantEnumerator. The values are an immutable
// snapshot shared by an enumerator and its clones; each has its own position.
#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "tevo/com/enumvariant.h"

namespace {

// Owns copied VARIANTs and clears them when the last enumerator goes.
class Snapshot {
  public:
    Snapshot() = default;
    Snapshot(const Snapshot&) = delete;
    Snapshot& operator=(const Snapshot&) = delete;
    ~Snapshot() {
        for (VARIANT& value : values_) {
            VariantClear(&value);
        }
    }

    HRESULT Fill(const VARIANT* values, ULONG count) {
        values_.reserve(count);
        for (ULONG i = 0; i < count; ++i) {
            VARIANT copy;
            VariantInit(&copy);
            const HRESULT hr = VariantCopy(&copy, &values[i]);
            if (FAILED(hr)) {
                return hr;
            }
            values_.push_back(copy);
        }
        return S_OK;
    }
    ULONG Size() const { return static_cast<ULONG>(values_.size()); }
    const VARIANT& At(ULONG index) const { return values_[index]; }

  private:
    std::vector<VARIANT> values_;
};

class VariantEnumerator final : public IEnumVARIANT {
  public:
    VariantEnumerator(std::shared_ptr<const Snapshot> snapshot, ULONG position)
        : snapshot_(std::move(snapshot)), position_(position) {}

    HRESULT QueryInterface(REFIID riid, void** ppvObject) override {
        if (ppvObject == nullptr) {
            return E_POINTER;
        }
        if (riid == IID_IUnknown || riid == IID_IEnumVARIANT) {
            *ppvObject = static_cast<IEnumVARIANT*>(this);
            AddRef();
            return S_OK;
        }
        *ppvObject = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
    ULONG Release() override {
        const ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) {
            delete this;
        }
        return left;
    }

    HRESULT Next(ULONG celt, VARIANT* rgVar, ULONG* pCeltFetched) override {
        if (pCeltFetched != nullptr) {
            *pCeltFetched = 0;
        }
        if (celt > 0 && rgVar == nullptr) {
            return E_INVALIDARG;
        }
        const std::lock_guard<std::mutex> lock(mutex_);
        const ULONG available = std::min(celt, snapshot_->Size() - position_);
        for (ULONG i = 0; i < available; ++i) {
            VariantInit(&rgVar[i]);
            const HRESULT hr = VariantCopy(&rgVar[i], &snapshot_->At(position_ + i));
            if (FAILED(hr)) {
                // All or nothing: the caller gets no half-filled array to clean up.
                for (ULONG j = 0; j < i; ++j) {
                    VariantClear(&rgVar[j]);
                }
                return hr;
            }
        }
        position_ += available;
        if (pCeltFetched != nullptr) {
            *pCeltFetched = available;
        }
        return available == celt ? S_OK : S_FALSE;
    }

    HRESULT Skip(ULONG celt) override {
        const std::lock_guard<std::mutex> lock(mutex_);
        const ULONG available = std::min(celt, snapshot_->Size() - position_);
        position_ += available;
        return available == celt ? S_OK : S_FALSE;
    }

    HRESULT Reset() override {
        const std::lock_guard<std::mutex> lock(mutex_);
        position_ = 0;
        return S_OK;
    }

    HRESULT Clone(IEnumVARIANT** ppEnum) override {
        if (ppEnum == nullptr) {
            return E_POINTER;
        }
        const std::lock_guard<std::mutex> lock(mutex_);
        *ppEnum = new (std::nothrow) VariantEnumerator(snapshot_, position_);
        return *ppEnum == nullptr ? E_OUTOFMEMORY : S_OK;
    }

  private:
    ~VariantEnumerator() = default;

    std::atomic<ULONG> refs_{1};
    std::mutex mutex_;
    const std::shared_ptr<const Snapshot> snapshot_;
    ULONG position_;
};

}  // namespace

namespace tevo::com {

HRESULT CreateVariantEnumerator(const VARIANT* values, ULONG count, IEnumVARIANT** ppEnum) {
    if (ppEnum == nullptr) {
        return E_POINTER;
    }
    *ppEnum = nullptr;
    if (count > 0 && values == nullptr) {
        return E_INVALIDARG;
    }
    auto snapshot = std::make_shared<Snapshot>();
    const HRESULT hr = snapshot->Fill(values, count);
    if (FAILED(hr)) {
        return hr;
    }
    *ppEnum = new (std::nothrow) VariantEnumerator(std::move(snapshot), 0);
    return *ppEnum == nullptr ? E_OUTOFMEMORY : S_OK;
}

}  // namespace tevo::com

#include <atomic>
#include <mutex>
#include <new>
#include <optional>
#include <string>

#include "tevo/com/bstr.h"
#include "tevo/com/errorinfo.h"

namespace {

// The error object of CreateErrorInfo: written through ICreateErrorInfo, read through
// IErrorInfo. Threads may share it, so its fields are guarded.
class ErrorInfoObject final : public ICreateErrorInfo, public IErrorInfo {
  public:
    // IUnknown (shared by both interfaces; IErrorInfo is the identity).
    HRESULT QueryInterface(REFIID riid, void** ppvObject) override {
        if (ppvObject == nullptr) {
            return E_POINTER;
        }
        if (riid == IID_IUnknown || riid == IID_IErrorInfo) {
            *ppvObject = static_cast<IErrorInfo*>(this);
        } else if (riid == IID_ICreateErrorInfo) {
            *ppvObject = static_cast<ICreateErrorInfo*>(this);
        } else {
            *ppvObject = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
    ULONG Release() override {
        const ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) {
            delete this;
        }
        return left;
    }

    // ICreateErrorInfo
    HRESULT SetGUID(REFGUID rguid) override {
        std::lock_guard<std::mutex> lock(mutex_);
        guid_ = rguid;
        return S_OK;
    }
    HRESULT SetSource(LPOLESTR szSource) override { return Store(&source_, szSource); }
    HRESULT SetDescription(LPOLESTR szDescription) override {
        return Store(&description_, szDescription);
    }
    HRESULT SetHelpFile(LPOLESTR szHelpFile) override { return Store(&helpFile_, szHelpFile); }
    HRESULT SetHelpContext(DWORD dwHelpContext) override {
        std::lock_guard<std::mutex> lock(mutex_);
        helpContext_ = dwHelpContext;
        return S_OK;
    }

    // IErrorInfo
    HRESULT GetGUID(GUID* pGUID) override {
        if (pGUID == nullptr) {
            return E_INVALIDARG;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        *pGUID = guid_;
        return S_OK;
    }
    HRESULT GetSource(BSTR* pBstrSource) override { return Load(source_, pBstrSource); }
    HRESULT GetDescription(BSTR* pBstrDescription) override {
        return Load(description_, pBstrDescription);
    }
    HRESULT GetHelpFile(BSTR* pBstrHelpFile) override { return Load(helpFile_, pBstrHelpFile); }
    HRESULT GetHelpContext(DWORD* pdwHelpContext) override {
        if (pdwHelpContext == nullptr) {
            return E_INVALIDARG;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        *pdwHelpContext = helpContext_;
        return S_OK;
    }

  private:
    ~ErrorInfoObject() = default;

    HRESULT Store(std::optional<std::wstring>* field, LPOLESTR text) {
        std::optional<std::wstring> value;
        if (text != nullptr) {
            value.emplace(text);
        }
        std::lock_guard<std::mutex> lock(mutex_);
        *field = std::move(value);
        return S_OK;
    }

    HRESULT Load(const std::optional<std::wstring>& field, BSTR* out) {
        if (out == nullptr) {
            return E_INVALIDARG;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        *out = nullptr;
        if (!field) {
            return S_OK;
        }
        *out = SysAllocStringLen(field->data(), static_cast<UINT>(field->size()));
        return *out == nullptr ? E_OUTOFMEMORY : S_OK;
    }

    std::atomic<ULONG> refs_{1};
    std::mutex mutex_;
    GUID guid_ = GUID_NULL;
    std::optional<std::wstring> source_;
    std::optional<std::wstring> description_;
    std::optional<std::wstring> helpFile_;
    DWORD helpContext_ = 0;
};

// The calling thread's error object; released when the thread ends.
class ThreadErrorSlot {
  public:
    ThreadErrorSlot() = default;
    ThreadErrorSlot(const ThreadErrorSlot&) = delete;
    ThreadErrorSlot& operator=(const ThreadErrorSlot&) = delete;
    ~ThreadErrorSlot() { Replace(nullptr); }

    // Stores info (the caller's reference becomes the slot's) and releases the object
    // held before, after the slot is updated, so that its Release may use the slot.
    void Replace(IErrorInfo* info) {
        IErrorInfo* old = info_;
        info_ = info;
        if (old != nullptr) {
            old->Release();
        }
    }
    IErrorInfo* Take() {
        IErrorInfo* info = info_;
        info_ = nullptr;
        return info;
    }

  private:
    IErrorInfo* info_ = nullptr;
};

ThreadErrorSlot& CurrentSlot() {
    thread_local ThreadErrorSlot slot;
    return slot;
}

}  // namespace

extern "C" HRESULT CreateErrorInfo(ICreateErrorInfo** pperrinfo) {
    if (pperrinfo == nullptr) {
        return E_INVALIDARG;
    }
    auto* object = new (std::nothrow) ErrorInfoObject;
    *pperrinfo = object;
    return object == nullptr ? E_OUTOFMEMORY : S_OK;
}

extern "C" HRESULT SetErrorInfo(ULONG dwReserved, IErrorInfo* perrinfo) {
    if (dwReserved != 0) {
        return E_INVALIDARG;
    }
    if (perrinfo != nullptr) {
        perrinfo->AddRef();
    }
    CurrentSlot().Replace(perrinfo);
    return S_OK;
}

extern "C" HRESULT GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo) {
    if (pperrinfo == nullptr || dwReserved != 0) {
        return E_INVALIDARG;
    }
    *pperrinfo = CurrentSlot().Take();
    return *pperrinfo == nullptr ? S_FALSE : S_OK;
}

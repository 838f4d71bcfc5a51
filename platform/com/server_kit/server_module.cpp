// The class table, cached class factories, lock count and clean-up callbacks of an
// in-process server.
#include <new>

#include "tevo/com/activation.h"
#include "tevo/com/server_kit.h"

namespace tevo::com::server {

// The factory of one class. The module holds one reference for its whole life; the
// references clients take do not keep the library loaded (LockServer does, as on Windows).
class ServerModule::Factory final : public IClassFactory {
  public:
    Factory(ServerModule& module, const ClassEntry& entry) : module_(module), entry_(entry) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override {
        if (ppvObject == nullptr) {
            return E_POINTER;
        }
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppvObject = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *ppvObject = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        return static_cast<ULONG>(InterlockedIncrement(&references_));
    }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0) {
            delete this;
        }
        return static_cast<ULONG>(left);
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid,
                                             void** ppvObject) override {
        if (ppvObject == nullptr) {
            return E_POINTER;
        }
        *ppvObject = nullptr;
        // An aggregated object is reached through its own IUnknown only.
        if (pUnkOuter != nullptr && (!entry_.aggregatable || riid != IID_IUnknown)) {
            return CLASS_E_NOAGGREGATION;
        }
        return entry_.create(pUnkOuter, riid, ppvObject);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override {
        module_.LockServer(fLock);
        return S_OK;
    }

  private:
    ~Factory() = default;

    ServerModule& module_;
    const ClassEntry& entry_;
    volatile LONG references_ = 1;
};

ServerModule::ServerModule(std::span<const ClassEntry> classes, LONG (*external_live_objects)())
    : classes_(classes),
      external_live_objects_(external_live_objects),
      factories_(new std::atomic<Factory*>[classes.size()]) {
    for (std::size_t i = 0; i < classes_.size(); ++i) {
        factories_[i].store(nullptr);
    }
    InitializeCriticalSection(&section_);
}

ServerModule::~ServerModule() {
    for (std::size_t i = 0; i < classes_.size(); ++i) {
        if (Factory* factory = factories_[i].exchange(nullptr); factory != nullptr) {
            factory->Release();
        }
    }
    for (auto it = cleanups_.rbegin(); it != cleanups_.rend(); ++it) {
        it->first(it->second);
    }
    DeleteCriticalSection(&section_);
}

HRESULT ServerModule::GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    for (std::size_t i = 0; i < classes_.size(); ++i) {
        const ClassEntry& entry = classes_[i];
        if (!entry.creatable || *entry.clsid != rclsid) {
            continue;
        }
        Factory* factory = factories_[i].load(std::memory_order_acquire);
        if (factory == nullptr) {
            // Checked again inside the section: only the first caller creates it.
            EnterCriticalSection(&section_);
            factory = factories_[i].load(std::memory_order_acquire);
            if (factory == nullptr) {
                factory = new (std::nothrow) Factory(*this, entry);
                factories_[i].store(factory, std::memory_order_release);
            }
            LeaveCriticalSection(&section_);
            if (factory == nullptr) {
                return E_OUTOFMEMORY;
            }
        }
        return factory->QueryInterface(riid, ppv);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT ServerModule::CanUnloadNow() const {
    return LockCount() == 0 ? S_OK : S_FALSE;
}

LONG ServerModule::LockObject() {
    return InterlockedIncrement(&objects_);
}

LONG ServerModule::UnlockObject() {
    return InterlockedDecrement(&objects_);
}

void ServerModule::LockServer(BOOL lock) {
    if (lock != FALSE) {
        InterlockedIncrement(&server_locks_);
        return;
    }
    LONG seen = server_locks_;
    while (seen > 0) {
        const LONG before = InterlockedCompareExchange(&server_locks_, seen - 1, seen);
        if (before == seen) {
            return;
        }
        seen = before;
    }
}

LONG ServerModule::LockCount() const {
    const LONG external = external_live_objects_ != nullptr ? external_live_objects_() : 0;
    return InterlockedCompareExchange(&objects_, 0, 0) +
           InterlockedCompareExchange(&server_locks_, 0, 0) + external;
}

bool ServerModule::AddCleanup(CleanupFunction function, void* user) {
    EnterCriticalSection(&section_);
    bool added = true;
    try {
        cleanups_.emplace_back(function, user);
    } catch (const std::bad_alloc&) {
        added = false;
    }
    LeaveCriticalSection(&section_);
    return added;
}

}  // namespace tevo::com::server

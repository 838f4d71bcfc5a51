// The ActivationTest class, its class factory and the server's DllGetClassObject and
// DllCanUnloadNow. The class can be aggregated: created with an outer object, it hands out
// its own IUnknown and delegates the IUnknown of IActivationTest to the outer object.
#include <atomic>
#include <new>

#include "test_component.h"
#include "tevo/com/activation.h"

namespace {

std::atomic<LONG> g_live_objects{0};
std::atomic<LONG> g_created_objects{0};
// Live objects plus LockServer locks: the library can be unloaded when this is 0.
std::atomic<LONG> g_module_locks{0};

class ActivationTestObject final : public IActivationTest {
  public:
    explicit ActivationTestObject(IUnknown* outer)
        : inner_(this), controlling_(outer != nullptr ? outer : &inner_) {
        ++g_live_objects;
        ++g_created_objects;
        ++g_module_locks;
    }
    ActivationTestObject(const ActivationTestObject&) = delete;
    ActivationTestObject& operator=(const ActivationTestObject&) = delete;

    // The object's own IUnknown, holding the reference count.
    IUnknown* Inner() { return &inner_; }

    HRESULT QueryInterface(REFIID riid, void** ppvObject) override {
        return controlling_->QueryInterface(riid, ppvObject);
    }
    ULONG AddRef() override { return controlling_->AddRef(); }
    ULONG Release() override { return controlling_->Release(); }

    HRESULT Add(LONG a, LONG b, LONG* sum) override {
        if (sum == nullptr) {
            return E_POINTER;
        }
        *sum = a + b;
        return S_OK;
    }
    HRESULT GetCounters(LONG* live, LONG* created_since_load) override {
        if (live == nullptr || created_since_load == nullptr) {
            return E_POINTER;
        }
        *live = g_live_objects.load();
        *created_since_load = g_created_objects.load();
        return S_OK;
    }

  private:
    class InnerUnknown final : public IUnknown {
      public:
        explicit InnerUnknown(ActivationTestObject* owner) : owner_(owner) {}

        HRESULT QueryInterface(REFIID riid, void** ppvObject) override {
            if (ppvObject == nullptr) {
                return E_POINTER;
            }
            if (riid == IID_IUnknown) {
                *ppvObject = static_cast<IUnknown*>(this);
            } else if (riid == IID_IActivationTest) {
                *ppvObject = static_cast<IActivationTest*>(owner_);
            } else {
                *ppvObject = nullptr;
                return E_NOINTERFACE;
            }
            static_cast<IUnknown*>(*ppvObject)->AddRef();
            return S_OK;
        }
        ULONG AddRef() override { return ++references_; }
        ULONG Release() override {
            const ULONG left = --references_;
            if (left == 0) {
                delete owner_;
            }
            return left;
        }

      private:
        ActivationTestObject* owner_;
        std::atomic<ULONG> references_{1};
    };

    ~ActivationTestObject() {
        --g_live_objects;
        --g_module_locks;
    }

    InnerUnknown inner_;
    IUnknown* controlling_;
};

// The class factory lives as long as the library: its references are not counted.
class ActivationTestFactory final : public IClassFactory {
  public:
    HRESULT QueryInterface(REFIID riid, void** ppvObject) override {
        if (ppvObject == nullptr) {
            return E_POINTER;
        }
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppvObject = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *ppvObject = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }

    HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) override {
        if (ppvObject == nullptr) {
            return E_POINTER;
        }
        *ppvObject = nullptr;
        // An aggregated object is reached through its own IUnknown only.
        if (pUnkOuter != nullptr && riid != IID_IUnknown) {
            return CLASS_E_NOAGGREGATION;
        }
        auto* object = new (std::nothrow) ActivationTestObject(pUnkOuter);
        if (object == nullptr) {
            return E_OUTOFMEMORY;
        }
        IUnknown* inner = object->Inner();
        const HRESULT hr = inner->QueryInterface(riid, ppvObject);
        inner->Release();
        return hr;
    }
    HRESULT LockServer(BOOL fLock) override {
        if (fLock != FALSE) {
            ++g_module_locks;
        } else {
            --g_module_locks;
        }
        return S_OK;
    }
};

ActivationTestFactory g_factory;

}  // namespace

extern "C" HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    if (rclsid != CLSID_ActivationTest) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    return g_factory.QueryInterface(riid, ppv);
}

#ifndef TEVO_ACTIVATION_TEST_LIMITED
extern "C" HRESULT DllCanUnloadNow() {
    return g_module_locks.load() == 0 ? S_OK : S_FALSE;
}
#endif

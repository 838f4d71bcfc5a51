// The ActivationTest class, its class table and the server's DllGetClassObject and
// DllCanUnloadNow. The class can be aggregated: created with an outer object, it hands out
// its own IUnknown and delegates the IUnknown of IActivationTest to the outer object.
#include <atomic>
#include <new>

#include "test_component.h"
#include "tevo/com/activation.h"
#include "tevo/com/aggregation.h"
#include "tevo/com/server_kit.h"

tevo::com::server::ServerModule& TestComponentModule();

namespace {

std::atomic<LONG> g_live_objects{0};
std::atomic<LONG> g_created_objects{0};

class ActivationTestObject final : public IActivationTest {
  public:
    explicit ActivationTestObject(IUnknown* outer)
        : inner_(this), controlling_(outer != nullptr ? outer : &inner_) {
        ++g_live_objects;
        ++g_created_objects;
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
    friend class tevo::com::InnerUnknown<ActivationTestObject, IActivationTest>;

    ~ActivationTestObject() { --g_live_objects; }

    // Holds the library loaded while the object lives.
    tevo::com::server::ObjectLock module_lock_{TestComponentModule()};
    tevo::com::InnerUnknown<ActivationTestObject, IActivationTest> inner_;
    IUnknown* controlling_;
};

HRESULT CreateActivationTest(IUnknown* outer, REFIID riid, void** object) {
    auto* created = new (std::nothrow) ActivationTestObject(outer);
    if (created == nullptr) {
        return E_OUTOFMEMORY;
    }
    IUnknown* inner = created->Inner();
    const HRESULT hr = inner->QueryInterface(riid, object);
    inner->Release();
    return hr;
}

const tevo::com::server::ClassEntry kClasses[] = {
    {&CLSID_ActivationTest,
     true,
     CreateActivationTest,
     {kActivationTestDescription, kActivationTestProgId, kActivationTestVersionIndependentProgId},
     true},
};

}  // namespace

tevo::com::server::ServerModule& TestComponentModule() {
    static tevo::com::server::ServerModule module(kClasses);
    return module;
}

extern "C" HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    return TestComponentModule().GetClassObject(rclsid, riid, ppv);
}

#ifndef TEVO_ACTIVATION_TEST_LIMITED
extern "C" HRESULT DllCanUnloadNow() {
    return TestComponentModule().CanUnloadNow();
}
#endif

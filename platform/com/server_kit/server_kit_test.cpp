// The in-process server kit: class factories (cached, also under concurrent first calls),
// non-creatable entries, aggregation, the lock count behind DllCanUnloadNow, clean-up
// callbacks, and the standard self-registration keys.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <latch>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tevo/com/activation.h"
#include "tevo/com/com_ptr.h"
#include "tevo/com/dispatch.h"
#include "tevo/com/guid.h"
#include "tevo/com/server_kit.h"
#include "tevo/win/registry.h"

namespace tevo::com::server {
namespace {

using tevo::com::ComPtr;

// {5C1E6A31-0B7D-4E57-9C43-2D8F61A0B711}
constexpr CLSID kCreatable = {
    0x5C1E6A31, 0x0B7D, 0x4E57, {0x9C, 0x43, 0x2D, 0x8F, 0x61, 0xA0, 0xB7, 0x11}};
// {5C1E6A32-0B7D-4E57-9C43-2D8F61A0B711}
constexpr CLSID kRegistrationOnly = {
    0x5C1E6A32, 0x0B7D, 0x4E57, {0x9C, 0x43, 0x2D, 0x8F, 0x61, 0xA0, 0xB7, 0x11}};
// {5C1E6A33-0B7D-4E57-9C43-2D8F61A0B711}
constexpr CLSID kAggregatable = {
    0x5C1E6A33, 0x0B7D, 0x4E57, {0x9C, 0x43, 0x2D, 0x8F, 0x61, 0xA0, 0xB7, 0x11}};
// {5C1E6A34-0B7D-4E57-9C43-2D8F61A0B711}
constexpr CLSID kUnknownClass = {
    0x5C1E6A34, 0x0B7D, 0x4E57, {0x9C, 0x43, 0x2D, 0x8F, 0x61, 0xA0, 0xB7, 0x11}};
// {5C1E6A35-0B7D-4E57-9C43-2D8F61A0B711}
constexpr GUID kLibrary = {
    0x5C1E6A35, 0x0B7D, 0x4E57, {0x9C, 0x43, 0x2D, 0x8F, 0x61, 0xA0, 0xB7, 0x11}};

ServerModule& Module();

// An object of the test module: holds one module count while it lives.
class Counted final : public IUnknown {
  public:
    explicit Counted(IUnknown* outer) : outer_(outer) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override {
        if (riid != IID_IUnknown) {
            *ppvObject = nullptr;
            return E_NOINTERFACE;
        }
        *ppvObject = this;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) {
            delete this;
        }
        return left;
    }
    IUnknown* Outer() const { return outer_; }

  private:
    ~Counted() = default;
    ObjectLock lock_{Module()};
    IUnknown* outer_;
    std::atomic<ULONG> references_{0};
};

// The outer object last handed to a create function.
IUnknown* g_last_outer = nullptr;

HRESULT CreateCounted(IUnknown* outer, REFIID riid, void** object) {
    g_last_outer = outer;
    auto* counted = new Counted(outer);
    counted->AddRef();
    const HRESULT hr = counted->QueryInterface(riid, object);
    counted->Release();
    return hr;
}

HRESULT CreateNothing(IUnknown* /*outer*/, REFIID /*riid*/, void** /*object*/) {
    return E_UNEXPECTED;
}

const ClassEntry kClasses[] = {
    {&kCreatable,
     true,
     CreateCounted,
     {"Kit Test Class", "KitTest.Creatable.1", "KitTest.Creatable", "Both", &kLibrary}},
    {&kRegistrationOnly, false, CreateNothing, {"Kit Test Item", nullptr, nullptr, "Both"}},
    {&kAggregatable, true, CreateCounted, {"Kit Test Inner"}, true},
};

ServerModule& Module() {
    static ServerModule module(kClasses);
    return module;
}

ComPtr<IClassFactory> FactoryOf(const CLSID& clsid) {
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(
        Module().GetClassObject(clsid, IID_IClassFactory, factory.ReleaseAndGetVoidAddressOf()),
        S_OK);
    return factory;
}

TEST(ServerKitFactories, AreCachedAndAnswerOnlyForCreatableEntries) {
    void* first = nullptr;
    ASSERT_EQ(Module().GetClassObject(kCreatable, IID_IClassFactory, &first), S_OK);
    void* second = nullptr;
    ASSERT_EQ(Module().GetClassObject(kCreatable, IID_IUnknown, &second), S_OK);
    EXPECT_EQ(first, second);
    static_cast<IUnknown*>(first)->Release();
    static_cast<IUnknown*>(second)->Release();

    void* answer = &first;
    EXPECT_EQ(Module().GetClassObject(kRegistrationOnly, IID_IClassFactory, &answer),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(answer, nullptr);
    answer = &first;
    EXPECT_EQ(Module().GetClassObject(kUnknownClass, IID_IClassFactory, &answer),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(answer, nullptr);
    answer = &first;
    EXPECT_EQ(Module().GetClassObject(kCreatable, IID_IDispatch, &answer), E_NOINTERFACE);
    EXPECT_EQ(answer, nullptr);
    EXPECT_EQ(Module().GetClassObject(kCreatable, IID_IClassFactory, nullptr), E_POINTER);
}

// A module made afresh for each round, asked by many threads at once for the first time.
struct FirstCallRound {
    explicit FirstCallRound(int threads) : start(threads) {}
    ServerModule module{kClasses};
    std::latch start;
    std::mutex mutex;
    std::condition_variable finished_changed;
    int finished = 0;
    std::vector<void*> answers;
};

TEST(ServerKitFactories, ConcurrentFirstCallsShareOneFactory) {
    constexpr int kThreads = 8;
    constexpr int kRounds = 25;
    for (int round = 0; round < kRounds; ++round) {
        auto state = std::make_shared<FirstCallRound>(kThreads);
        for (int t = 0; t < kThreads; ++t) {
            std::thread([state] {
                state->start.arrive_and_wait();
                void* factory = nullptr;
                const HRESULT hr =
                    state->module.GetClassObject(kCreatable, IID_IClassFactory, &factory);
                const std::lock_guard lock(state->mutex);
                state->answers.push_back(hr == S_OK ? factory : nullptr);
                ++state->finished;
                state->finished_changed.notify_all();
            }).detach();
        }
        // Watchdog: a thread stuck in the module fails the test instead of hanging it.
        std::unique_lock lock(state->mutex);
        ASSERT_TRUE(state->finished_changed.wait_for(lock, std::chrono::seconds(30),
                                                     [&] { return state->finished == kThreads; }))
            << "round " << round << ": only " << state->finished << " threads finished";
        for (void* answer : state->answers) {
            ASSERT_NE(answer, nullptr);
            EXPECT_EQ(answer, state->answers.front()) << "round " << round;
            static_cast<IUnknown*>(answer)->Release();
        }
    }
}

TEST(ServerKitFactories, RefuseAggregationUnlessTheClassAllowsIt) {
    ComPtr<IClassFactory> plain = FactoryOf(kCreatable);
    ASSERT_TRUE(plain);
    Counted* outer = nullptr;
    ASSERT_EQ(plain->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&outer)), S_OK);
    void* object = outer;
    EXPECT_EQ(plain->CreateInstance(outer, IID_IUnknown, &object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(plain->CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);

    ComPtr<IClassFactory> inner = FactoryOf(kAggregatable);
    ASSERT_TRUE(inner);
    object = outer;
    EXPECT_EQ(inner->CreateInstance(outer, IID_IDispatch, &object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    g_last_outer = nullptr;
    ASSERT_EQ(inner->CreateInstance(outer, IID_IUnknown, &object), S_OK);
    EXPECT_EQ(g_last_outer, outer);
    EXPECT_EQ(static_cast<Counted*>(object)->Outer(), outer);
    static_cast<IUnknown*>(object)->Release();
    outer->Release();
}

TEST(ServerKitLocks, LiveObjectsAndServerLocksKeepTheModuleLoaded) {
    ASSERT_EQ(Module().CanUnloadNow(), S_OK);
    ComPtr<IClassFactory> factory = FactoryOf(kCreatable);
    ASSERT_TRUE(factory);
    // Holding a factory alone does not lock the module.
    EXPECT_EQ(Module().CanUnloadNow(), S_OK);

    IUnknown* object = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)),
              S_OK);
    EXPECT_EQ(Module().LockCount(), 1);
    EXPECT_EQ(Module().CanUnloadNow(), S_FALSE);
    object->Release();
    EXPECT_EQ(Module().CanUnloadNow(), S_OK);

    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(Module().LockCount(), 2);
    EXPECT_EQ(Module().CanUnloadNow(), S_FALSE);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(Module().CanUnloadNow(), S_FALSE);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(Module().CanUnloadNow(), S_OK);
}

TEST(ServerKitLocks, AnUnbalancedUnlockNeverHidesALock) {
    ComPtr<IClassFactory> factory = FactoryOf(kCreatable);
    ASSERT_TRUE(factory);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(Module().LockCount(), 0);
    // One lock after two stray unlocks still holds the module.
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(Module().CanUnloadNow(), S_FALSE);

    // A stray unlock cannot take the count of a live object either.
    IUnknown* object = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)),
              S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(Module().CanUnloadNow(), S_FALSE);
    object->Release();
    EXPECT_EQ(Module().CanUnloadNow(), S_OK);
}

LONG g_external_objects = 0;

TEST(ServerKitLocks, ObjectsCountedByTheServerItselfHoldTheModule) {
    ServerModule module(kClasses, [] { return g_external_objects; });
    EXPECT_EQ(module.CanUnloadNow(), S_OK);
    g_external_objects = 1;
    EXPECT_EQ(module.CanUnloadNow(), S_FALSE);
    g_external_objects = 0;
    EXPECT_EQ(module.CanUnloadNow(), S_OK);
}

TEST(ServerKitCleanup, CallbacksRunAtDestructionLastAddedFirst) {
    std::vector<int> order;
    std::pair<std::vector<int>*, int> first{&order, 1};
    std::pair<std::vector<int>*, int> second{&order, 2};
    {
        ServerModule module(kClasses);
        void* factory = nullptr;
        ASSERT_EQ(module.GetClassObject(kCreatable, IID_IClassFactory, &factory), S_OK);
        static_cast<IUnknown*>(factory)->Release();
        auto record = [](void* user) {
            auto* entry = static_cast<std::pair<std::vector<int>*, int>*>(user);
            entry->first->push_back(entry->second);
        };
        ASSERT_TRUE(module.AddCleanup(record, &first));
        ASSERT_TRUE(module.AddCleanup(record, &second));
        EXPECT_TRUE(order.empty());
    }
    EXPECT_EQ(order, (std::vector<int>{2, 1}));
}

std::string HkcrString(const std::string& key, const char* name = nullptr) {
    char buffer[1024];
    DWORD size = sizeof buffer;
    if (RegGetValueA(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_REG_SZ, nullptr, buffer, &size) !=
        ERROR_SUCCESS) {
        return "<missing>";
    }
    return buffer;
}

bool HkcrKeyExists(const std::string& key) {
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(handle);
    return true;
}

TEST(ServerKitRegistration, WritesTheStandardKeysAndRemovesThemAgain) {
    std::string before;
    ASSERT_EQ(tevo::win::ExportRegistryKey(HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT", &before),
              ERROR_SUCCESS);
    const std::string module_path = "/opt/it's here/lib kit.so";
    ASSERT_EQ(Module().RegisterClasses(module_path), S_OK);

    const std::string clsid = GuidToUtf8(kCreatable);
    const std::string key = "CLSID\\" + clsid;
    EXPECT_EQ(HkcrString(key), "Kit Test Class");
    EXPECT_EQ(HkcrString(key + "\\InprocServer32"), module_path);
    EXPECT_EQ(HkcrString(key + "\\InprocServer32", "ThreadingModel"), "Both");
    EXPECT_EQ(HkcrString(key + "\\ProgID"), "KitTest.Creatable.1");
    EXPECT_EQ(HkcrString(key + "\\VersionIndependentProgID"), "KitTest.Creatable");
    EXPECT_EQ(HkcrString(key + "\\TypeLib"), GuidToUtf8(kLibrary));
    EXPECT_EQ(HkcrString("KitTest.Creatable.1\\CLSID"), clsid);
    EXPECT_EQ(HkcrString("KitTest.Creatable\\CurVer"), "KitTest.Creatable.1");
    // An entry without ProgID or type library gets neither.
    const std::string item = "CLSID\\" + GuidToUtf8(kRegistrationOnly);
    EXPECT_EQ(HkcrString(item), "Kit Test Item");
    EXPECT_EQ(HkcrString(item + "\\InprocServer32"), module_path);
    EXPECT_FALSE(HkcrKeyExists(item + "\\ProgID"));
    EXPECT_FALSE(HkcrKeyExists(item + "\\TypeLib"));

    EXPECT_EQ(Module().UnregisterClasses(), S_OK);
    std::string after;
    ASSERT_EQ(tevo::win::ExportRegistryKey(HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT", &after),
              ERROR_SUCCESS);
    EXPECT_EQ(after, before);
    // Removing what is not there is no failure.
    EXPECT_EQ(Module().UnregisterClasses(), S_OK);
    EXPECT_EQ(Module().RegisterClasses(""), SELFREG_E_CLASS);
}

TEST(ServerKitRegistration, FindsThePathOfTheLoadedLibrary) {
    const std::string path = ModulePathOf(reinterpret_cast<const void*>(&CoCreateInstance));
    EXPECT_NE(path.find("libtevocom"), std::string::npos) << path;
}

}  // namespace
}  // namespace tevo::com::server

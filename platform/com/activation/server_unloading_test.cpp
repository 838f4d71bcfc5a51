// Loading each server once and unloading it only through CoFreeUnusedLibraries(Ex), after
// its last object is gone; concurrent creation.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <latch>
#include <thread>
#include <vector>

#include "activation_test_support.h"
#include "tevo/com/apartment.h"
#include "tevo/com/com_ptr.h"

namespace {

using tevo::com::ComPtr;
using namespace tevo::com::testing;

ComPtr<IActivationTest> CreateTestObject() {
    ComPtr<IActivationTest> object;
    EXPECT_EQ(CoCreateInstance(CLSID_ActivationTest, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IActivationTest, reinterpret_cast<void**>(&object)),
              S_OK);
    return object;
}

using ServerUnloading = ActivationTest;

TEST_F(ServerUnloading, OnlyAfterTheLastObjectIsReleased) {
    ASSERT_EQ(CallTestServerEntry("DllRegisterServer"), S_OK);
    EXPECT_FALSE(IsLibraryLoaded(kTestServer));
    ComPtr<IActivationTest> first = CreateTestObject();
    ComPtr<IActivationTest> second = CreateTestObject();
    ASSERT_TRUE(first && second);
    EXPECT_TRUE(IsLibraryLoaded(kTestServer));

    first.Reset();
    CoFreeUnusedLibraries();
    EXPECT_TRUE(IsLibraryLoaded(kTestServer));
    const ServerCounters alive = CountersOf(second.Get());
    EXPECT_EQ(alive.live, 1);
    EXPECT_EQ(alive.created_since_load, 2);

    second.Reset();
    EXPECT_TRUE(IsLibraryLoaded(kTestServer));  // releasing alone unloads nothing
    CoFreeUnusedLibraries();
    EXPECT_FALSE(IsLibraryLoaded(kTestServer));

    // Created again: a fresh load, whose counters start again.
    ComPtr<IActivationTest> third = CreateTestObject();
    ASSERT_TRUE(third);
    EXPECT_TRUE(IsLibraryLoaded(kTestServer));
    const ServerCounters reloaded = CountersOf(third.Get());
    EXPECT_EQ(reloaded.live, 1);
    EXPECT_EQ(reloaded.created_since_load, 1);
}

TEST_F(ServerUnloading, AStrayUnlockDoesNotUndoALaterLock) {
    RegisterTestClassAt(kTestServer.string());
    IClassFactory* factory = nullptr;
    ASSERT_EQ(CoGetClassObject(CLSID_ActivationTest, CLSCTX_INPROC_SERVER, nullptr,
                               IID_IClassFactory, reinterpret_cast<void**>(&factory)),
              S_OK);
    // An unlock without a lock is ignored, so the lock that follows holds the server.
    ASSERT_EQ(factory->LockServer(FALSE), S_OK);
    ASSERT_EQ(factory->LockServer(TRUE), S_OK);
    CoFreeUnusedLibraries();
    EXPECT_TRUE(IsLibraryLoaded(kTestServer));

    ASSERT_EQ(factory->LockServer(FALSE), S_OK);
    factory->Release();
    CoFreeUnusedLibraries();
    EXPECT_FALSE(IsLibraryLoaded(kTestServer));
}

TEST_F(ServerUnloading, ALockedServerStaysLoaded) {
    RegisterTestClassAt(kTestServer.string());
    IClassFactory* factory = nullptr;
    ASSERT_EQ(CoGetClassObject(CLSID_ActivationTest, CLSCTX_INPROC_SERVER, nullptr,
                               IID_IClassFactory, reinterpret_cast<void**>(&factory)),
              S_OK);
    ASSERT_EQ(factory->LockServer(TRUE), S_OK);
    CoFreeUnusedLibraries();
    EXPECT_TRUE(IsLibraryLoaded(kTestServer));

    // The factory kept across calls still works.
    ComPtr<IActivationTest> object;
    ASSERT_EQ(
        factory->CreateInstance(nullptr, IID_IActivationTest, reinterpret_cast<void**>(&object)),
        S_OK);
    object.Reset();
    CoFreeUnusedLibraries();
    EXPECT_TRUE(IsLibraryLoaded(kTestServer));

    ASSERT_EQ(factory->LockServer(FALSE), S_OK);
    factory->Release();
    CoFreeUnusedLibraries();
    EXPECT_FALSE(IsLibraryLoaded(kTestServer));
}

TEST_F(ServerUnloading, CoUninitializeUnloadsNothing) {
    RegisterTestClassAt(kTestServer.string());
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    CreateTestObject().Reset();
    CoUninitialize();
    EXPECT_TRUE(IsLibraryLoaded(kTestServer));
    CoFreeUnusedLibraries();
    EXPECT_FALSE(IsLibraryLoaded(kTestServer));
}

TEST_F(ServerUnloading, AServerWithoutDllCanUnloadNowIsNeverUnloaded) {
    RegisterTestClassAt(kLimitedTestServer.string());
    ComPtr<IActivationTest> object = CreateTestObject();
    ASSERT_TRUE(object);
    EXPECT_EQ(CountersOf(object.Get()).live, 1);
    object.Reset();
    CoFreeUnusedLibraries();
    CoFreeUnusedLibrariesEx(0, 0);
    EXPECT_TRUE(IsLibraryLoaded(kLimitedTestServer));
    // Still the same load: its count of created objects goes on.
    object = CreateTestObject();
    ASSERT_TRUE(object);
    EXPECT_GE(CountersOf(object.Get()).created_since_load, 2);
}

TEST_F(ServerUnloading, TheExFormWaitsForItsDelay) {
    RegisterTestClassAt(kTestServer.string());
    CreateTestObject().Reset();
    // Found unloadable now; the delay has not passed yet.
    CoFreeUnusedLibrariesEx(INFINITE, 0);
    CoFreeUnusedLibrariesEx(60 * 1000, 0);
    EXPECT_TRUE(IsLibraryLoaded(kTestServer));
    CoFreeUnusedLibrariesEx(0, 0);
    EXPECT_FALSE(IsLibraryLoaded(kTestServer));

    // A short delay: the first call only notes the library, a later one unloads it.
    CreateTestObject().Reset();
    CoFreeUnusedLibrariesEx(1, 0);
    EXPECT_TRUE(IsLibraryLoaded(kTestServer));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (IsLibraryLoaded(kTestServer) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
        CoFreeUnusedLibrariesEx(1, 0);
    }
    EXPECT_FALSE(IsLibraryLoaded(kTestServer));
}

TEST_F(ServerUnloading, ConcurrentCreationLoadsTheLibraryOnce) {
    ASSERT_EQ(CallTestServerEntry("DllRegisterServer"), S_OK);
    constexpr int kThreads = 6;
    constexpr int kObjectsPerThread = 4;
    std::vector<std::vector<ComPtr<IActivationTest>>> objects(kThreads);
    std::latch start(kThreads + 1);
    std::atomic<bool> creating{true};
    std::vector<std::thread> threads;
    threads.reserve(kThreads);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            start.arrive_and_wait();
            for (int i = 0; i < kObjectsPerThread; ++i) {
                CLSID clsid = CLSID_NULL;
                const HRESULT found = CLSIDFromProgID(
                    i % 2 == 0 ? L"Tevo.ActivationTest" : L"Tevo.ActivationTest.1", &clsid);
                ComPtr<IActivationTest> object;
                const HRESULT created =
                    CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IActivationTest,
                                     reinterpret_cast<void**>(&object));
                if (SUCCEEDED(found) && SUCCEEDED(created)) {
                    objects[t].push_back(object);
                }
            }
        });
    }
    // Meanwhile unused libraries are freed over and over: a creation in progress or a
    // live object keeps the library.
    std::thread freeing([&] {
        start.arrive_and_wait();
        while (creating.load()) {
            CoFreeUnusedLibraries();
            std::this_thread::yield();
        }
    });
    for (std::thread& thread : threads) {
        thread.join();
    }
    creating = false;
    freeing.join();

    LONG total = 0;
    for (const auto& list : objects) {
        EXPECT_EQ(list.size(), static_cast<size_t>(kObjectsPerThread));
        total += static_cast<LONG>(list.size());
    }
    ASSERT_EQ(total, kThreads * kObjectsPerThread);
    // One load served every creation ...
    const ServerCounters counters = CountersOf(objects.front().front().Get());
    EXPECT_EQ(counters.live, kThreads * kObjectsPerThread);
    EXPECT_EQ(counters.created_since_load, kThreads * kObjectsPerThread);
    objects.clear();
    // ... and holds one reference on the library: a single unload removes it.
    CoFreeUnusedLibraries();
    EXPECT_FALSE(IsLibraryLoaded(kTestServer));
}

}  // namespace

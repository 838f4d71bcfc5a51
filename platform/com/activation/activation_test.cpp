// Creating objects through the registry: by CLSID and ProgID, the errors of missing and
// broken servers, execution contexts, aggregation and where a server's library is found.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "../testing/counted_object.h"
#include "activation_test_support.h"
#include "tevo/com/com_ptr.h"
#include "tevo/testing/temp_dir.h"
#include "tevo/win/sysroot.h"

namespace {

using tevo::com::ComPtr;
using namespace tevo::com::testing;

// {4F39ABA7-3D0F-4269-ABF2-5DE40F6881EA}: a class the test server does not serve.
constexpr CLSID kOtherClass = {
    0x4F39ABA7, 0x3D0F, 0x4269, {0xAB, 0xF2, 0x5D, 0xE4, 0x0F, 0x68, 0x81, 0xEA}};

// A non-null value that failures must overwrite.
void* Garbage() {
    static int marker;
    return &marker;
}

// Creates the test object in the given context; the result and the out pointer.
HRESULT Create(REFCLSID clsid, DWORD context, ComPtr<IActivationTest>& object) {
    void* out = Garbage();
    const HRESULT hr = CoCreateInstance(clsid, nullptr, context, IID_IActivationTest, &out);
    if (FAILED(hr)) {
        EXPECT_EQ(out, nullptr) << "out pointer not cleared on failure";
        return hr;
    }
    object.Attach(static_cast<IActivationTest*>(out));
    return hr;
}

HRESULT CreateFails(REFCLSID clsid, DWORD context = CLSCTX_INPROC_SERVER) {
    ComPtr<IActivationTest> object;
    return Create(clsid, context, object);
}

LONG Sum(IActivationTest* object, LONG a, LONG b) {
    LONG sum = 0;
    EXPECT_EQ(object->Add(a, b, &sum), S_OK);
    return sum;
}

using Activation = ActivationTest;

TEST_F(Activation, CreatesARegisteredClassByClsidProgIdAndVersionIndependentProgId) {
    ASSERT_EQ(CallTestServerEntry("DllRegisterServer"), S_OK);

    CLSID by_progid = CLSID_NULL;
    CLSID by_independent = CLSID_NULL;
    ASSERT_EQ(CLSIDFromProgID(L"Tevo.ActivationTest.1", &by_progid), S_OK);
    ASSERT_EQ(CLSIDFromProgID(L"Tevo.ActivationTest", &by_independent), S_OK);
    EXPECT_EQ(by_progid, CLSID_ActivationTest);
    EXPECT_EQ(by_independent, CLSID_ActivationTest);

    ComPtr<IActivationTest> first;
    ComPtr<IActivationTest> second;
    ComPtr<IActivationTest> third;
    ASSERT_EQ(Create(by_progid, CLSCTX_INPROC_SERVER, first), S_OK);
    ASSERT_EQ(Create(by_independent, CLSCTX_ALL, second), S_OK);
    ASSERT_EQ(Create(CLSID_ActivationTest, CLSCTX_SERVER, third), S_OK);
    EXPECT_EQ(Sum(first.Get(), 2, 3), 5);
    EXPECT_EQ(Sum(third.Get(), -7, 4), -3);
    EXPECT_TRUE(IsLibraryLoaded(kTestServer));
    // All three came from one loaded library.
    const ServerCounters counters = CountersOf(second.Get());
    EXPECT_EQ(counters.live, 3);
    EXPECT_EQ(counters.created_since_load, 3);

    // The object answers QueryInterface for IUnknown with one identity.
    ComPtr<IUnknown> unknown_a;
    ComPtr<IUnknown> unknown_b;
    ASSERT_EQ(first->QueryInterface(IID_PPV_ARGS(&unknown_a)), S_OK);
    ASSERT_EQ(first->QueryInterface(IID_PPV_ARGS(&unknown_b)), S_OK);
    EXPECT_EQ(unknown_a.Get(), unknown_b.Get());
}

TEST_F(Activation, MissingAndBrokenServersGiveComErrors) {
    // Nothing registered.
    EXPECT_EQ(CreateFails(CLSID_ActivationTest), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(CreateFails(CLSID_ActivationTest, CLSCTX_ALL), REGDB_E_CLASSNOTREG);
    // A class key without InprocServer32, then with an empty one.
    SetClassesRootString(TestClassKey(), "", "ActivationTest Class");
    EXPECT_EQ(CreateFails(CLSID_ActivationTest), REGDB_E_CLASSNOTREG);
    RegisterTestClassAt("");
    EXPECT_EQ(CreateFails(CLSID_ActivationTest), REGDB_E_CLASSNOTREG);

    // Libraries that cannot be loaded.
    const std::filesystem::path root = tevo::testing::CurrentSystemRoot();
    RegisterTestClassAt((root / "no-such-server.so").string());
    EXPECT_EQ(CreateFails(CLSID_ActivationTest), CO_E_DLLNOTFOUND);
    RegisterTestClassAt(tevo::testing::WriteFile(root / "not-a-library.so", "text\n").string());
    EXPECT_EQ(CreateFails(CLSID_ActivationTest), CO_E_DLLNOTFOUND);
    RegisterTestClassAt("libtevo-no-such-server.so");
    EXPECT_EQ(CreateFails(CLSID_ActivationTest), CO_E_DLLNOTFOUND);
    RegisterTestClassAt("no-such-folder/libtevo-no-such-server.so");
    EXPECT_EQ(CreateFails(CLSID_ActivationTest), CO_E_DLLNOTFOUND);

    // A library that is no server.
    RegisterTestClassAt(kLibraryWithoutServer.string());
    EXPECT_EQ(CreateFails(CLSID_ActivationTest), CO_E_ERRORINDLL);
    void* factory = Garbage();
    EXPECT_EQ(CoGetClassObject(CLSID_ActivationTest, CLSCTX_INPROC_SERVER, nullptr,
                               IID_IClassFactory, &factory),
              CO_E_ERRORINDLL);
    EXPECT_EQ(factory, nullptr);

    // A server asked for a class it does not serve answers for itself.
    RegisterTestClassAt(kTestServer.string());
    SetClassesRootString("CLSID\\" + tevo::com::GuidToUtf8(kOtherClass) + "\\InprocServer32", "",
                         kTestServer.string());
    EXPECT_EQ(CreateFails(kOtherClass), CLASS_E_CLASSNOTAVAILABLE);
    // ... and so does its factory, for an interface the object lacks.
    void* wrong = Garbage();
    EXPECT_EQ(CoCreateInstance(CLSID_ActivationTest, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IClassFactory, &wrong),
              E_NOINTERFACE);
    EXPECT_EQ(wrong, nullptr);
}

TEST_F(Activation, BadArgumentsAreRefused) {
    RegisterTestClassAt(kTestServer.string());
    EXPECT_EQ(CoCreateInstance(CLSID_ActivationTest, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IActivationTest, nullptr),
              E_POINTER);
    EXPECT_EQ(CoGetClassObject(CLSID_ActivationTest, CLSCTX_INPROC_SERVER, nullptr,
                               IID_IClassFactory, nullptr),
              E_INVALIDARG);
    // No kind of server named, or a flag that does not exist.
    for (const DWORD context : {DWORD{0}, DWORD{CLSCTX_NO_CODE_DOWNLOAD}, DWORD{0x200000},
                                DWORD{CLSCTX_INPROC_SERVER | 0x200000}}) {
        EXPECT_EQ(CreateFails(CLSID_ActivationTest, context), E_INVALIDARG) << context;
        void* factory = Garbage();
        EXPECT_EQ(
            CoGetClassObject(CLSID_ActivationTest, context, nullptr, IID_IClassFactory, &factory),
            E_INVALIDARG)
            << context;
        EXPECT_EQ(factory, nullptr);
    }
    // Modifier flags ride along with a server kind.
    ComPtr<IActivationTest> object;
    EXPECT_EQ(Create(CLSID_ActivationTest,
                     CLSCTX_INPROC_SERVER | CLSCTX_NO_CODE_DOWNLOAD | CLSCTX_ENABLE_AAA, object),
              S_OK);
}

TEST_F(Activation, LocalAndRemoteServersAreNeverStarted) {
    RegisterTestClassAt(kTestServer.string());
    // Registered in-process only.
    EXPECT_EQ(CreateFails(CLSID_ActivationTest, CLSCTX_LOCAL_SERVER), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(CreateFails(CLSID_ActivationTest, CLSCTX_REMOTE_SERVER), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(CreateFails(CLSID_ActivationTest, CLSCTX_INPROC_HANDLER), REGDB_E_CLASSNOTREG);
    // Registered as a local server only.
    const std::string other_key = "CLSID\\" + tevo::com::GuidToUtf8(kOtherClass);
    SetClassesRootString(other_key + "\\LocalServer32", "", "/usr/bin/some-server");
    EXPECT_EQ(CreateFails(kOtherClass, CLSCTX_LOCAL_SERVER), CO_E_SERVER_EXEC_FAILURE);
    EXPECT_EQ(CreateFails(kOtherClass, CLSCTX_REMOTE_SERVER), CO_E_SERVER_EXEC_FAILURE);
    EXPECT_EQ(CreateFails(kOtherClass, CLSCTX_ALL), CO_E_SERVER_EXEC_FAILURE);
    EXPECT_EQ(CreateFails(kOtherClass, CLSCTX_INPROC_SERVER), REGDB_E_CLASSNOTREG);
    // Both: the in-process server is used.
    RegisterTestClassAt(kTestServer.string());
    SetClassesRootString(TestClassKey() + "\\LocalServer32", "", "/usr/bin/some-server");
    ComPtr<IActivationTest> object;
    EXPECT_EQ(Create(CLSID_ActivationTest, CLSCTX_ALL, object), S_OK);
    EXPECT_EQ(CreateFails(CLSID_ActivationTest, CLSCTX_LOCAL_SERVER), CO_E_SERVER_EXEC_FAILURE);
}

TEST_F(Activation, TheOuterUnknownGoesToTheFactory) {
    RegisterTestClassAt(kTestServer.string());
    int outer_destroyed = 0;
    auto* outer = new tevo::com::testing::CountedObject(&outer_destroyed);

    // The test class refuses aggregation for anything but its own IUnknown.
    void* out = Garbage();
    EXPECT_EQ(CoCreateInstance(CLSID_ActivationTest, outer, CLSCTX_INPROC_SERVER,
                               IID_IActivationTest, &out),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(out, nullptr);

    // Aggregated: the inner object's interface counts references on the outer object.
    ComPtr<IUnknown> inner;
    ASSERT_EQ(CoCreateInstance(CLSID_ActivationTest, outer, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&inner)),
              S_OK);
    const ULONG outer_refs = outer->Refs();
    ComPtr<IActivationTest> delegating;
    ASSERT_EQ(inner->QueryInterface(IID_PPV_ARGS(&delegating)), S_OK);
    EXPECT_EQ(outer->Refs(), outer_refs + 1);
    EXPECT_EQ(Sum(delegating.Get(), 20, 22), 42);
    // Its IUnknown methods are the outer object's: asking for IDispatch reaches it.
    ComPtr<IDispatch> outer_dispatch;
    EXPECT_EQ(delegating->QueryInterface(IID_PPV_ARGS(&outer_dispatch)), S_OK);
    EXPECT_EQ(static_cast<IUnknown*>(outer_dispatch.Get()), static_cast<IUnknown*>(outer));
    outer_dispatch.Reset();
    delegating.Reset();
    EXPECT_EQ(outer->Refs(), outer_refs);

    inner.Reset();
    outer->Release();
    EXPECT_EQ(outer_destroyed, 1);
}

TEST_F(Activation, ClassObjectsComeFromTheServer) {
    RegisterTestClassAt(kTestServer.string());
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(CoGetClassObject(CLSID_ActivationTest, CLSCTX_INPROC_SERVER, nullptr,
                               IID_IClassFactory, reinterpret_cast<void**>(&factory)),
              S_OK);
    ComPtr<IActivationTest> object;
    ASSERT_EQ(
        factory->CreateInstance(nullptr, IID_IActivationTest, reinterpret_cast<void**>(&object)),
        S_OK);
    EXPECT_EQ(Sum(object.Get(), 1, 1), 2);
    void* wrong = Garbage();
    EXPECT_EQ(CoGetClassObject(CLSID_ActivationTest, CLSCTX_INPROC_SERVER, nullptr,
                               IID_IActivationTest, &wrong),
              E_NOINTERFACE);
    EXPECT_EQ(wrong, nullptr);
}

TEST_F(Activation, ServerPathsAreExpandedAndMatchedWithoutCase) {
    // A copy of the server in the system folder, registered the way installers write
    // paths: with %SystemRoot%, backslashes and another letter case.
    const std::filesystem::path copy = tevo::win::SystemDirectory() / "libActivationTestCopy.so";
    std::filesystem::copy_file(kTestServer, copy);
    RegisterTestClassAt("%SystemRoot%\\SYSTEM32\\LIBACTIVATIONTESTCOPY.SO", REG_EXPAND_SZ);

    ComPtr<IActivationTest> object;
    ASSERT_EQ(Create(CLSID_ActivationTest, CLSCTX_INPROC_SERVER, object), S_OK);
    EXPECT_TRUE(IsLibraryLoaded(copy));
    EXPECT_FALSE(IsLibraryLoaded(kTestServer));
    object.Reset();
    CoFreeUnusedLibraries();
    EXPECT_FALSE(IsLibraryLoaded(copy));

    // Not expanded when stored as plain REG_SZ.
    RegisterTestClassAt("%SystemRoot%\\System32\\libActivationTestCopy.so", REG_SZ);
    EXPECT_EQ(CreateFails(CLSID_ActivationTest), CO_E_DLLNOTFOUND);
}

TEST_F(Activation, ABareFileNameIsFoundNextToTheProgram) {
    // The test program and the test server are built into one folder.
    RegisterTestClassAt(kTestServer.filename().string());
    ComPtr<IActivationTest> object;
    ASSERT_EQ(Create(CLSID_ActivationTest, CLSCTX_INPROC_SERVER, object), S_OK);
    EXPECT_TRUE(IsLibraryLoaded(kTestServer));
    EXPECT_EQ(Sum(object.Get(), 5, 6), 11);
}

}  // namespace

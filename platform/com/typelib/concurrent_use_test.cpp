// Libraries and their type descriptions used from many threads at once: loading the same
// file, reading descriptions, and resolving imported types for the first time.
#include <gtest/gtest.h>

#include <tevo/Tevo.h>

#include <atomic>
#include <filesystem>
#include <latch>
#include <string>
#include <thread>
#include <vector>

#include "tevo/testing/temp_dir.h"
#include "typelib_test_support.h"

namespace tevo::com::typelib::testing {
namespace {

namespace fs = std::filesystem;

constexpr int kThreads = 8;
constexpr int kRounds = 40;

TEST(ConcurrentUse, ThreadsShareOneLibraryAndAgreeOnEveryDescription) {
    // A fresh copy, so that the first load and the first resolution of its imports happen
    // while the threads run.
    const tevo::testing::TempDir dir;
    fs::copy_file(GeneratedTlb("Tevo.tlb"), dir / "Tevo.tlb");
    const std::wstring file = Wide(dir / "Tevo.tlb");
    // The root's set-up (which registers the imported libraries) happens here, not in the
    // threads.
    BSTR path = nullptr;
    ASSERT_EQ(QueryPathOfRegTypeLib(LIBID_IviDriverLib, 1, 0, 0, &path), S_OK);
    SysFreeString(path);

    std::latch start(kThreads);
    std::vector<ITypeLib*> loaded(kThreads, nullptr);
    std::atomic<int> failures{0};
    auto check = [&](bool ok) {
        if (!ok) {
            ++failures;
        }
    };
    std::vector<std::thread> threads;
    threads.reserve(kThreads);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            start.arrive_and_wait();
            ComPtr<ITypeLib> library;
            check(LoadTypeLib(file.c_str(), &library) == S_OK);
            if (!library) {
                return;
            }
            loaded[t] = library.Get();
            for (int round = 0; round < kRounds; ++round) {
                ComPtr<ITypeInfo> root;
                check(library->GetTypeInfoOfGuid(IID_ITevo, &root) == S_OK);
                // The base interface, from the imported library.
                HREFTYPE href = 0;
                check(root->GetRefTypeOfImplType(0, &href) == S_OK);
                ComPtr<ITypeInfo> base;
                check(root->GetRefTypeInfo(href, &base) == S_OK && base);
                TYPEATTR* attr = nullptr;
                if (base && base->GetTypeAttr(&attr) == S_OK) {
                    check(attr->guid == IID_IIviDriver);
                    base->ReleaseTypeAttr(attr);
                }
                // Every function of ITevoAcquisition, with its names.
                ComPtr<ITypeInfo> acquisition;
                check(library->GetTypeInfoOfGuid(IID_ITevoAcquisition, &acquisition) == S_OK);
                for (UINT i = 0; i < 11; ++i) {
                    FUNCDESC* desc = nullptr;
                    if (acquisition->GetFuncDesc(i, &desc) != S_OK) {
                        ++failures;
                        continue;
                    }
                    check(desc->oVft == static_cast<SHORT>((3 + i) * sizeof(void*)));
                    BSTR names[8] = {};
                    UINT count = 0;
                    check(acquisition->GetNames(desc->memid, names, 8, &count) == S_OK &&
                          count >= 1);
                    for (UINT n = 0; n < count; ++n) {
                        SysFreeString(names[n]);
                    }
                    acquisition->ReleaseFuncDesc(desc);
                }
                // The coclass's interfaces, imported from three libraries.
                ComPtr<ITypeInfo> coclass;
                check(library->GetTypeInfoOfGuid(CLSID_Tevo, &coclass) == S_OK);
                for (UINT i = 0; i < 44; i += 7) {
                    check(coclass->GetRefTypeOfImplType(i, &href) == S_OK);
                    ComPtr<ITypeInfo> implemented;
                    check(coclass->GetRefTypeInfo(href, &implemented) == S_OK);
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures.load(), 0);
    // One object served every thread.
    for (int t = 1; t < kThreads; ++t) {
        EXPECT_EQ(loaded[t], loaded[0]);
    }
}

}  // namespace
}  // namespace tevo::com::typelib::testing

// LoadTypeLib and LoadTypeLibEx: files and embedded resources, damaged input, the cache.
#include <gtest/gtest.h>

#include <tevo/Tevo.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tevo/idl/typelib_format.h"
#include "tevo/testing/temp_dir.h"
#include "typelib_test_support.h"

namespace tevo::com::typelib::testing {
namespace {

namespace fs = std::filesystem;
using tevo::testing::ReadFile;
using tevo::testing::TempDir;
using tevo::testing::WriteFile;

HRESULT TryLoad(const std::wstring& name, ITypeLib** library) {
    return LoadTypeLib(name.c_str(), library);
}

GUID LibraryId(ITypeLib* library) {
    TLIBATTR* attr = nullptr;
    EXPECT_EQ(library->GetLibAttr(&attr), S_OK);
    const GUID id = attr->guid;
    library->ReleaseTLibAttr(attr);
    return id;
}

TEST(LoadTypeLib, RefusesNullArgumentsAndMissingFiles) {
    ComPtr<ITypeLib> library;
    EXPECT_EQ(LoadTypeLib(L"x.tlb", nullptr), E_INVALIDARG);
    EXPECT_EQ(LoadTypeLib(nullptr, &library), E_INVALIDARG);
    EXPECT_EQ(TryLoad(L"", &library), TYPE_E_CANTLOADLIBRARY);
    const TempDir dir;
    EXPECT_EQ(TryLoad(Wide(dir / "missing.tlb"), &library), TYPE_E_CANTLOADLIBRARY);
    EXPECT_EQ(TryLoad(Wide(dir / "no" / "folder.tlb"), &library), TYPE_E_CANTLOADLIBRARY);
    EXPECT_EQ(TryLoad(Wide(dir.path()), &library), TYPE_E_CANTLOADLIBRARY);  // a folder
    EXPECT_FALSE(library);
}

TEST(LoadTypeLib, RefusesDamagedAndForeignFiles) {
    const std::string good = ReadFile(GeneratedTlb("IviDriverTypeLib.tlb"));
    ASSERT_GT(good.size(), 200u);
    const TempDir dir;
    int case_number = 0;
    auto expect = [&](const std::string& bytes, HRESULT expected, const std::string& what) {
        const fs::path file =
            WriteFile(dir / ("case" + std::to_string(case_number++) + ".tlb"), bytes);
        ComPtr<ITypeLib> library;
        EXPECT_EQ(TryLoad(Wide(file), &library), expected) << what;
        EXPECT_FALSE(library) << what;
    };

    // Not a type library at all.
    expect("", TYPE_E_CANTLOADLIBRARY, "empty file");
    expect("TEVO", TYPE_E_CANTLOADLIBRARY, "shorter than the signature");
    expect(std::string("MSFT\x02\x00\x01\x00", 8) + std::string(200, '\0'), TYPE_E_CANTLOADLIBRARY,
           "another format");
    expect("hello, world\n", TYPE_E_CANTLOADLIBRARY, "text");

    // A type library, cut short or changed.
    for (std::size_t size : {std::size_t{8}, std::size_t{23}, std::size_t{24}, std::size_t{25},
                             good.size() / 2, good.size() - 1}) {
        expect(good.substr(0, size), TYPE_E_INVALIDSTATE, "truncated to " + std::to_string(size));
    }
    expect(good + "x", TYPE_E_INVALIDSTATE, "one byte appended");
    for (std::size_t at :
         {std::size_t{8}, std::size_t{12}, std::size_t{30}, good.size() / 2, good.size() - 1}) {
        std::string changed = good;
        changed[at] = static_cast<char>(changed[at] ^ 0x5A);
        expect(changed, TYPE_E_INVALIDSTATE, "byte " + std::to_string(at) + " changed");
    }
}

// Damage behind a valid checksum: the reader's own checks must catch it.
TEST(LoadTypeLib, RefusesInconsistentContentWithAValidChecksum) {
    const std::string good = ReadFile(GeneratedTlb("TraceRuntime.tlb"));
    ASSERT_GT(good.size(), tevo::idl::kHeaderSize);
    const TempDir dir;
    int changed_cases = 0;
    // Every 4-byte field set to 0xFFFFFFFF in turn, along the first part of the payload
    // (string table, library record, counts), with the checksum recomputed.
    for (std::size_t at = tevo::idl::kHeaderSize; at + 4 <= good.size() && at < 400; at += 4) {
        std::string changed = good;
        for (std::size_t i = 0; i < 4; ++i) {
            changed[at + i] = '\xFF';
        }
        const auto* payload =
            reinterpret_cast<const std::uint8_t*>(changed.data()) + tevo::idl::kHeaderSize;
        const std::uint32_t crc =
            tevo::idl::Crc32(payload, changed.size() - tevo::idl::kHeaderSize);
        for (int i = 0; i < 4; ++i) {
            changed[16 + i] = static_cast<char>((crc >> (8 * i)) & 0xFF);
        }
        const fs::path file = WriteFile(dir / ("case" + std::to_string(at) + ".tlb"), changed);
        ComPtr<ITypeLib> library;
        const HRESULT hr = TryLoad(Wide(file), &library);
        // Either refused as damaged, or (when the field was text) read as another library.
        EXPECT_TRUE(hr == TYPE_E_INVALIDSTATE || hr == S_OK)
            << "at " << at << ": " << std::hex << hr;
        changed_cases += hr == TYPE_E_INVALIDSTATE ? 1 : 0;
    }
    EXPECT_GT(changed_cases, 10);
}

TEST(LoadTypeLib, ReadsTypeLibrariesEmbeddedInSharedLibraries) {
    const std::wstring module = Wide(TEVO_TYPELIB_TEST_MODULE);
    ComPtr<ITypeLib> first;
    ASSERT_EQ(TryLoad(module, &first), S_OK);
    EXPECT_EQ(LibraryId(first.Get()), LIBID_IviDriverLib);
    ComPtr<ITypeLib> explicit_first;
    ASSERT_EQ(TryLoad(module + L"\\1", &explicit_first), S_OK);
    EXPECT_EQ(explicit_first.Get(), first.Get());  // the same resource, the same library
    ComPtr<ITypeLib> second;
    ASSERT_EQ(TryLoad(module + L"\\2", &second), S_OK);
    EXPECT_EQ(LibraryId(second.Get()), LIBID_TraceRuntimeLib);

    ComPtr<ITypeLib> library;
    EXPECT_EQ(TryLoad(module + L"\\3", &library), TYPE_E_CANTLOADLIBRARY);  // not a type library
    EXPECT_EQ(TryLoad(module + L"\\4", &library), TYPE_E_CANTLOADLIBRARY);  // no such resource
    EXPECT_EQ(TryLoad(module + L"\\0", &library), TYPE_E_CANTLOADLIBRARY);
    EXPECT_EQ(TryLoad(module + L"\\70000", &library), TYPE_E_CANTLOADLIBRARY);
    // A type library file has no resources.
    EXPECT_EQ(TryLoad(Wide(GeneratedTlb("TraceRuntime.tlb")) + L"\\2", &library),
              TYPE_E_CANTLOADLIBRARY);
    // A shared library without resources.
    EXPECT_EQ(TryLoad(Wide(fs::path(TEVO_COM_LIBRARY_DIR) / "libtevocom.so"), &library),
              TYPE_E_CANTLOADLIBRARY);
    EXPECT_FALSE(library);
}

TEST(LoadTypeLib, ResolvesPathsAsTheFileFunctionsDo) {
    const TempDir dir;
    fs::create_directories(dir / "Type Libraries");
    fs::copy_file(GeneratedTlb("TraceRuntime.tlb"), dir / "Type Libraries" / "TraceRuntime.tlb");
    ComPtr<ITypeLib> exact;
    ASSERT_EQ(TryLoad(Wide(dir / "Type Libraries" / "TraceRuntime.tlb"), &exact), S_OK);
    // Another spelling of the same file gives the same library.
    ComPtr<ITypeLib> folded;
    ASSERT_EQ(TryLoad(Wide(dir.path()) + L"\\TYPE LIBRARIES\\traceruntime.TLB", &folded), S_OK);
    EXPECT_EQ(folded.Get(), exact.Get());
}

TEST(LoadTypeLib, RereadsAFileThatChanged) {
    const TempDir dir;
    const fs::path file = dir / "library.tlb";
    fs::copy_file(GeneratedTlb("TraceRuntime.tlb"), file);
    ComPtr<ITypeLib> first;
    ASSERT_EQ(TryLoad(Wide(file), &first), S_OK);
    ComPtr<ITypeLib> again;
    ASSERT_EQ(TryLoad(Wide(file), &again), S_OK);
    EXPECT_EQ(again.Get(), first.Get());

    fs::copy_file(GeneratedTlb("IviDriverTypeLib.tlb"), file, fs::copy_options::overwrite_existing);
    ComPtr<ITypeLib> changed;
    ASSERT_EQ(TryLoad(Wide(file), &changed), S_OK);
    EXPECT_NE(changed.Get(), first.Get());
    EXPECT_EQ(LibraryId(changed.Get()), LIBID_IviDriverLib);
    // The first library stays usable for those who hold it.
    EXPECT_EQ(LibraryId(first.Get()), LIBID_TraceRuntimeLib);

    WriteFile(file, "damaged");
    EXPECT_EQ(TryLoad(Wide(file), &changed), TYPE_E_CANTLOADLIBRARY);
}

TEST(LoadTypeLibEx, RegistersOnlyWhenAsked) {
    const TempDir dir;
    const fs::path file = dir / "TraceRuntime.tlb";
    fs::copy_file(GeneratedTlb("TraceRuntime.tlb"), file);
    // The set-up of the root registers the platform's own copy: start without it.
    ASSERT_EQ(UnRegisterTypeLib(LIBID_TraceRuntimeLib, 1, 0, 0, SYS_WIN32), S_OK);

    ComPtr<ITypeLib> library;
    EXPECT_EQ(LoadTypeLibEx(Wide(file).c_str(), REGKIND_NONE, &library), S_OK);
    EXPECT_EQ(LoadTypeLibEx(Wide(file).c_str(), REGKIND_DEFAULT, &library), S_OK);
    BSTR path = nullptr;
    EXPECT_EQ(QueryPathOfRegTypeLib(LIBID_TraceRuntimeLib, 1, 0, 0, &path),
              TYPE_E_LIBNOTREGISTERED);

    ASSERT_EQ(LoadTypeLibEx(Wide(file).c_str(), REGKIND_REGISTER, &library), S_OK);
    ASSERT_EQ(QueryPathOfRegTypeLib(LIBID_TraceRuntimeLib, 1, 0, 0, &path), S_OK);
    EXPECT_EQ(Bstr::Adopt(path).ToUtf8(), file.string());
    const std::string helpdir =
        "TypeLib\\" + tevo::com::GuidToUtf8(LIBID_TraceRuntimeLib) + "\\1.0\\HELPDIR";
    char value[512] = {};
    DWORD size = sizeof value;
    ASSERT_EQ(RegGetValueA(HKEY_CLASSES_ROOT, helpdir.c_str(), nullptr, RRF_RT_REG_SZ, nullptr,
                           value, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::string(value), dir.path().string());

    EXPECT_EQ(LoadTypeLibEx(Wide(file).c_str(), static_cast<REGKIND>(3), &library), E_INVALIDARG);
    EXPECT_FALSE(library);
    EXPECT_EQ(LoadTypeLibEx(Wide(file).c_str(), REGKIND_NONE, nullptr), E_INVALIDARG);
}

}  // namespace
}  // namespace tevo::com::typelib::testing

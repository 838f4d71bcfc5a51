#include <gtest/gtest.h>

#include <dlfcn.h>

#include <filesystem>
#include <memory>
#include <string>

#include "tevo/win/lasterror.h"
#include "tevo/win/resources.h"
#include "tevo/win/winerror.h"

namespace {

namespace fs = std::filesystem;

constexpr char kModuleFileName[] = "libtevo_resources_test_module.so";

int FunctionOfTheProgram() {
    return 1;
}

bool IsLoaded(const char* path) {
    void* handle = dlopen(path, RTLD_LAZY | RTLD_NOLOAD);
    if (handle == nullptr)
        return false;
    dlclose(handle);
    return true;
}

std::string FileName(HMODULE module) {
    char buffer[4096];
    const DWORD n = GetModuleFileNameA(module, buffer, sizeof buffer);
    return std::string(buffer, n);
}

TEST(Modules, MainProgramHandle) {
    const HMODULE main_program = GetModuleHandleA(nullptr);
    ASSERT_NE(main_program, nullptr);
    EXPECT_EQ(GetModuleHandleW(nullptr), main_program);

    Dl_info info{};
    ASSERT_NE(dladdr(reinterpret_cast<void*>(&FunctionOfTheProgram), &info), 0);
    EXPECT_EQ(static_cast<HMODULE>(info.dli_fbase), main_program);

    HMODULE from_address = nullptr;
    ASSERT_TRUE(GetModuleHandleExA(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCSTR>(&FunctionOfTheProgram), &from_address));
    EXPECT_EQ(from_address, main_program);
}

TEST(Modules, FileNamesNameTheRightFiles) {
    EXPECT_EQ(fs::path(FileName(nullptr)), fs::canonical("/proc/self/exe"));
    EXPECT_EQ(FileName(GetModuleHandleA(nullptr)), FileName(nullptr));

    HMODULE runtime = nullptr;
    ASSERT_TRUE(GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCWSTR>(&FormatMessageA), &runtime));
    EXPECT_NE(runtime, GetModuleHandleA(nullptr));
    EXPECT_EQ(fs::path(FileName(runtime)).filename(), "libtevowin.so");
    EXPECT_TRUE(fs::path(FileName(runtime)).is_absolute());
    EXPECT_EQ(GetModuleHandleA("libtevowin.so"), runtime);
    EXPECT_EQ(GetModuleHandleW(L"LIBTEVOWIN.SO"), runtime);

    wchar_t wide[4096];
    const DWORD n = GetModuleFileNameW(runtime, wide, 4096);
    EXPECT_EQ(fs::path(std::wstring(wide, n)), fs::path(FileName(runtime)));
}

TEST(Modules, FileNameTruncationFollowsWindows) {
    const std::string full = FileName(nullptr);
    ASSERT_GT(full.size(), 5u);
    char buffer[8];
    std::fill(std::begin(buffer), std::end(buffer), 'x');
    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameA(nullptr, buffer, 5), 5u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(std::string(buffer), full.substr(0, 4));
    EXPECT_EQ(buffer[5], 'x');

    // Exactly the length is one short of the terminator.
    auto exact = std::make_unique<char[]>(full.size() + 1);
    EXPECT_EQ(GetModuleFileNameA(nullptr, exact.get(), static_cast<DWORD>(full.size())),
              full.size());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameA(nullptr, exact.get(), static_cast<DWORD>(full.size() + 1)),
              full.size());
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_EQ(std::string(exact.get()), full);

    wchar_t wide[4];
    EXPECT_EQ(GetModuleFileNameW(nullptr, wide, 4), 4u);
    EXPECT_EQ(std::wstring(wide), std::wstring(full.begin(), full.begin() + 3));

    EXPECT_EQ(GetModuleFileNameA(reinterpret_cast<HMODULE>(buffer), buffer, sizeof buffer), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST(Modules, LoadLibraryAndGetProcAddress) {
    const HMODULE module = LoadLibraryA(TEVO_RESOURCES_TEST_MODULE);
    ASSERT_NE(module, nullptr) << GetLastError();
    EXPECT_EQ(fs::path(FileName(module)), fs::canonical(TEVO_RESOURCES_TEST_MODULE));
    EXPECT_EQ(GetModuleHandleA(kModuleFileName), module);
    EXPECT_EQ(GetModuleHandleA(TEVO_RESOURCES_TEST_MODULE), module);

    using HandleFunction = HMODULE (*)();
    const auto own_handle =
        reinterpret_cast<HandleFunction>(GetProcAddress(module, "TevoTestModuleHandle"));
    ASSERT_NE(own_handle, nullptr);
    EXPECT_EQ(own_handle(), module);

    // Only the module's own exports: not those of the libraries it uses.
    SetLastError(0);
    EXPECT_EQ(GetProcAddress(module, "FormatMessageA"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_EQ(GetProcAddress(module, "NoSuchFunction"), nullptr);
    EXPECT_EQ(GetProcAddress(module, MAKEINTRESOURCEA(1)), nullptr);
    EXPECT_NE(GetProcAddress(GetModuleHandleA("libtevowin.so"), "FormatMessageA"), nullptr);

    EXPECT_TRUE(FreeLibrary(module));
}

TEST(Modules, SystemLibraryNamesLoadThePlatformLibrariesThatProvideTheirFunctions) {
    const HMODULE automation = LoadLibraryA("OleAut32.DLL");
    ASSERT_NE(automation, nullptr) << GetLastError();
    EXPECT_EQ(fs::path(FileName(automation)).filename(), "libtevocom.so");
    EXPECT_NE(GetProcAddress(automation, "UnRegisterTypeLib"), nullptr);
    EXPECT_NE(GetProcAddress(automation, "SysAllocString"), nullptr);
    EXPECT_TRUE(FreeLibrary(automation));

    const HMODULE kernel = LoadLibraryW(L"kernel32.dll");
    ASSERT_NE(kernel, nullptr) << GetLastError();
    EXPECT_EQ(kernel, GetModuleHandleA("libtevowin.so"));
    EXPECT_NE(GetProcAddress(kernel, "FormatMessageA"), nullptr);
    EXPECT_TRUE(FreeLibrary(kernel));

    // Only the bare system name maps: with a folder it is an ordinary file name.
    EXPECT_EQ(LoadLibraryA("C:\\no-such-folder\\oleaut32.dll"), nullptr);
}

TEST(Modules, LoadLibraryFailures) {
    SetLastError(0);
    EXPECT_EQ(LoadLibraryA("libno-such-library.so"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    const std::string not_a_library = std::string(TEVO_RESOURCES_TESTDATA_DIR) + "/blob.bin";
    EXPECT_EQ(LoadLibraryA(not_a_library.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
    EXPECT_EQ(LoadLibraryW(nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(GetModuleHandleA("libno-such-library.so"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST(Modules, ReferencesAreCounted) {
    ASSERT_FALSE(IsLoaded(TEVO_RESOURCES_TEST_MODULE));
    const HMODULE first = LoadLibraryA(TEVO_RESOURCES_TEST_MODULE);
    const HMODULE second = LoadLibraryW(L"" TEVO_RESOURCES_TEST_MODULE);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);

    // GetModuleHandleEx takes a reference too, unless told not to.
    const auto own_handle = GetProcAddress(first, "TevoTestModuleHandle");
    HMODULE referenced = nullptr;
    ASSERT_TRUE(GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                   reinterpret_cast<LPCSTR>(own_handle), &referenced));
    EXPECT_EQ(referenced, first);

    EXPECT_TRUE(FreeLibrary(first));
    EXPECT_TRUE(FreeLibrary(first));
    EXPECT_TRUE(IsLoaded(TEVO_RESOURCES_TEST_MODULE));
    EXPECT_TRUE(FreeLibrary(referenced));
    EXPECT_FALSE(IsLoaded(TEVO_RESOURCES_TEST_MODULE));

    SetLastError(0);
    EXPECT_FALSE(FreeLibrary(first));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(FreeLibrary(GetModuleHandleA("libtevowin.so")));
}

TEST(Modules, GetModuleHandleExRefusesBadArguments) {
    HMODULE module = reinterpret_cast<HMODULE>(1);
    EXPECT_FALSE(GetModuleHandleExA(
        GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT, nullptr,
        &module));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(module, nullptr);
    EXPECT_FALSE(GetModuleHandleExA(0x100, nullptr, &module));
    EXPECT_FALSE(GetModuleHandleExA(0, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    // An address on the heap is in no module.
    auto heap = std::make_unique<int>(0);
    EXPECT_FALSE(GetModuleHandleExA(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCSTR>(heap.get()), &module));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

}  // namespace

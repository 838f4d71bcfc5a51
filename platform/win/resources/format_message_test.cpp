#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdarg>
#include <string>

#include "tevo/win/lasterror.h"
#include "tevo/win/resources.h"
#include "tevo/win/winerror.h"

namespace {

// Message ids of testdata/test_messages.mc, embedded in this test program.
constexpr DWORD kSuccess = 1;
constexpr DWORD kTwoLines = 2;
constexpr DWORD kInserts = 3;
constexpr DWORD kNoBreak = 10;
constexpr DWORD kEscapes = 11;
constexpr DWORD kTwoLanguages = 12;

constexpr WORD kGerman = 0x0407;
constexpr WORD kFrench = 0x040C;

// FormatMessageA from this program's table into a string; empty when it fails.
std::string FromProgram(DWORD id, DWORD flags = 0, DWORD language = 0) {
    char buffer[512];
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | flags, nullptr, id, language,
                                   buffer, sizeof buffer, nullptr);
    return n == 0 ? std::string() : std::string(buffer, n);
}

// FormatMessageA with the insert arguments passed as a va_list.
DWORD FormatWithList(DWORD flags, LPCVOID source, DWORD id, char* buffer, DWORD size, ...) {
    va_list args;
    va_start(args, size);
    const DWORD n = FormatMessageA(flags, source, id, 0, buffer, size, &args);
    va_end(args);
    return n;
}

std::string FromString(const char* format, std::initializer_list<DWORD_PTR> arguments,
                       DWORD flags = 0) {
    std::vector<DWORD_PTR> array(arguments);
    char buffer[512];
    const DWORD n =
        FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY | flags, format,
                       0, 0, buffer, sizeof buffer, reinterpret_cast<va_list*>(array.data()));
    return n == 0 ? "<failed " + std::to_string(GetLastError()) + ">" : std::string(buffer, n);
}

DWORD_PTR Arg(const void* pointer) {
    return reinterpret_cast<DWORD_PTR>(pointer);
}

TEST(FormatMessages, ModuleTextKeepsItsTrailingCrLf) {
    char buffer[64];
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE, nullptr, kSuccess, 0, buffer,
                                   sizeof buffer, nullptr);
    EXPECT_EQ(n, 16u);
    EXPECT_STREQ(buffer, "Tevo: Success.\r\n");
    EXPECT_EQ(FromProgram(kTwoLines), "First line,\r\nsecond line.\r\n");

    wchar_t wide[64];
    EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE, nullptr, kSuccess, 0, wide, 64, nullptr),
              16u);
    EXPECT_STREQ(wide, L"Tevo: Success.\r\n");
}

TEST(FormatMessages, MissingMessageFailsCleanly) {
    SetLastError(0);
    char buffer[64] = "unchanged";
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE, nullptr, 999, 0, buffer, sizeof buffer,
                             nullptr),
              0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));

    char* allocated = reinterpret_cast<char*>(0x1);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr,
                             999, 0, reinterpret_cast<LPSTR>(&allocated), 0, nullptr),
              0u);
    EXPECT_EQ(allocated, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));

    wchar_t wide[16];
    EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 0x0012345u, 0, wide, 16, nullptr),
              0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));

    // A module without any resources.
    void* libc = dlopen("libc.so.6", RTLD_LAZY | RTLD_NOLOAD);
    ASSERT_NE(libc, nullptr);
    dlclose(libc);
    const HMODULE libc_module = GetModuleHandleA("libc.so.6");
    ASSERT_NE(libc_module, nullptr);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE, libc_module, 1, 0, buffer, sizeof buffer,
                             nullptr),
              0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));
}

TEST(FormatMessages, ModuleFallsBackToSystem) {
    char buffer[128];
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM,
                                   nullptr, ERROR_ACCESS_DENIED, 0, buffer, sizeof buffer, nullptr);
    ASSERT_GT(n, 0u);
    EXPECT_STREQ(buffer, "Access is denied.\r\n");
    // The module's own text wins.
    EXPECT_EQ(FromProgram(kSuccess, FORMAT_MESSAGE_FROM_SYSTEM), "Tevo: Success.\r\n");
}

TEST(FormatMessages, InsertsFromVaListAndFromArray) {
    char buffer[128];
    DWORD n = FormatWithList(FORMAT_MESSAGE_FROM_HMODULE, nullptr, kInserts, buffer, sizeof buffer,
                             "abc", 42, "xy");
    EXPECT_EQ(std::string(buffer, n), "Value abc of 42 in [xy   ]\r\n");

    DWORD_PTR array[] = {Arg("abc"), static_cast<DWORD_PTR>(-7), Arg("toolong")};
    n = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, nullptr,
                       kInserts, 0, buffer, sizeof buffer, reinterpret_cast<va_list*>(array));
    EXPECT_EQ(std::string(buffer, n), "Value abc of -7 in [toolong]\r\n");

    // A va_list holding a 64-bit integer and a pointer-sized one, read in insert order.
    n = FormatWithList(FORMAT_MESSAGE_FROM_STRING, "%1!I64u!/%2!Iu!/%3", 0, buffer, sizeof buffer,
                       0x123456789ULL, size_t{77}, "end");
    EXPECT_EQ(std::string(buffer, n), "4886718345/77/end");
}

TEST(FormatMessages, PrintfFormatsInInserts) {
    EXPECT_EQ(FromString("%1!08X!|%1!#x!|%2!+d!|%3!.3s!|%4!c!", {0xBEEF, 5, Arg("abcdef"), 'Z'}),
              "0000BEEF|0xbeef|+5|abc|Z");
    // Default integers are 32 bits, as on Windows.
    EXPECT_EQ(FromString("%1!d! %1!u! %1!I64d!", {static_cast<DWORD_PTR>(-1)}), "-1 4294967295 -1");
    EXPECT_EQ(FromString("%1!hd!", {0x12345}), "9029");
    // Stars take width and precision from the inserts that follow.
    EXPECT_EQ(FromString("[%1!*.*s!] %4 [%5!-*d!]", {6, 2, Arg("abcdef"), Arg("next"), 4, 9}),
              "[    ab] next [9   ]");
    // The same insert may appear twice; a null string shows as (null).
    EXPECT_EQ(FromString("%1 %2 %1", {Arg("Bill"), Arg("Bob")}), "Bill Bob Bill");
    EXPECT_EQ(FromString("%1", {0}), "(null)");
    // Wide text in an A call, narrow text in a W call.
    EXPECT_EQ(FromString("%1!ls!/%1!S!", {Arg(L"wide")}), "wide/wide");
    wchar_t wide[32];
    DWORD_PTR args[] = {Arg("narrow"), Arg(L"own")};
    const DWORD n =
        FormatMessageW(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                       L"%1!S! %1!hs! %2", 0, 0, wide, 32, reinterpret_cast<va_list*>(args));
    EXPECT_EQ(std::wstring(wide, n), L"narrow narrow own");
}

TEST(FormatMessages, Utf8TextStaysWhole) {
    // "Grüße" in and out of the A form; a precision never splits a UTF-8 sequence and never
    // reads past itself.
    const char ue[] =
        "\xC3\xBC"
        "x";
    EXPECT_EQ(FromString("Gr\xC3\xBC\xC3\x9F"
                         "e %1",
                         {Arg("caf\xC3\xA9")}),
              "Gr\xC3\xBC\xC3\x9F"
              "e caf\xC3\xA9");
    EXPECT_EQ(FromString("[%1!.2s!]", {Arg(ue)}), "[\xC3\xBC]");
    EXPECT_EQ(FromString("[%1!.1s!]", {Arg(ue)}), "[]");
    const char unterminated[3] = {'a', 'b', 'c'};
    EXPECT_EQ(FromString("[%1!.3s!]", {Arg(unterminated)}), "[abc]");
}

TEST(FormatMessages, Escapes) {
    EXPECT_EQ(FromProgram(kEscapes), "Hard\r\nbreak, 100% done.\r\n");
    EXPECT_EQ(FromProgram(kNoBreak), "No break here");
    EXPECT_EQ(FromString("a%tb%rc%% %!%.%0ignored", {}), "a\tb\rc% !.");
}

TEST(FormatMessages, IgnoreInsertsCopiesThemUnchanged) {
    EXPECT_EQ(FromProgram(kInserts, FORMAT_MESSAGE_IGNORE_INSERTS),
              "Value %1 of %2!d! in [%3!-5s!]\r\n");
    char buffer[64];
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   "%1 and %2!x!%n", 0, 0, buffer, sizeof buffer, nullptr);
    EXPECT_EQ(std::string(buffer, n), "%1 and %2!x!\r\n");
}

TEST(FormatMessages, RefusesBadInsertsAndMissingArguments) {
    char buffer[64];
    auto refused = [&](DWORD flags, const char* text) {
        SetLastError(0);
        DWORD_PTR args[] = {1, 2, 3};
        const DWORD n = FormatMessageA(
            flags, text, kInserts, 0, buffer, sizeof buffer,
            flags & FORMAT_MESSAGE_ARGUMENT_ARRAY ? reinterpret_cast<va_list*>(args) : nullptr);
        return n == 0 && GetLastError() == static_cast<DWORD>(ERROR_INVALID_PARAMETER);
    };
    constexpr DWORD kString = FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY;
    EXPECT_TRUE(refused(FORMAT_MESSAGE_FROM_HMODULE, nullptr));  // inserts, no arguments
    EXPECT_TRUE(refused(kString, "%1!f!"));                      // floating point
    EXPECT_TRUE(refused(kString, "%1!n!"));
    EXPECT_TRUE(refused(kString, "%1!d"));   // no closing '!'
    EXPECT_TRUE(refused(kString, "%1!5!"));  // no conversion
    EXPECT_TRUE(refused(0, "no source"));
    EXPECT_TRUE(refused(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_FROM_SYSTEM, "both"));
    EXPECT_TRUE(refused(FORMAT_MESSAGE_FROM_STRING, nullptr));
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 2, 0, nullptr, 64, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(FormatMessages, BufferSizeRules) {
    // "Tevo: Success.\r\n" is 16 characters: it needs 17 with the terminator.
    char buffer[17];
    SetLastError(0);
    EXPECT_EQ(
        FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE, nullptr, kSuccess, 0, buffer, 16, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(
        FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE, nullptr, kSuccess, 0, buffer, 17, nullptr),
        16u);
    EXPECT_STREQ(buffer, "Tevo: Success.\r\n");
}

TEST(FormatMessages, AllocateBufferGivesLocalMemory) {
    char* text = nullptr;
    const DWORD n =
        FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr,
                       kTwoLines, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(n, 27u);
    EXPECT_STREQ(text, "First line,\r\nsecond line.\r\n");
    EXPECT_EQ(LocalFree(text), nullptr);

    wchar_t* wide = nullptr;
    // nSize is the least number of characters to allocate.
    ASSERT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr,
                             static_cast<DWORD>(E_FAIL), 0, reinterpret_cast<LPWSTR>(&wide), 100,
                             nullptr),
              19u);
    EXPECT_STREQ(wide, L"Unspecified error\r\n");
    wide[99] = L'x';  // inside the allocation
    EXPECT_EQ(LocalFree(wide), nullptr);
}

TEST(FormatMessages, LanguageSelection) {
    EXPECT_EQ(FromProgram(kTwoLanguages), "English text\r\n");
    EXPECT_EQ(FromProgram(kTwoLanguages, 0, kGerman), "Deutscher Text\r\n");
    EXPECT_EQ(FromProgram(kTwoLanguages, 0, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)),
              "English text\r\n");
    SetLastError(0);
    EXPECT_EQ(FromProgram(kTwoLanguages, 0, kFrench), "");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_LANG_NOT_FOUND));
    // A message that exists only in English is not found in German.
    EXPECT_EQ(FromProgram(kSuccess, 0, kGerman), "");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
}

TEST(FormatMessages, MaxWidthIgnoresLineBreaksOrWraps) {
    char buffer[256];
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_MAX_WIDTH_MASK, nullptr,
                             ERROR_FILE_NOT_FOUND, 0, buffer, sizeof buffer, nullptr);
    EXPECT_EQ(std::string(buffer, n), "The system cannot find the file specified. ");
    // Hard breaks stay.
    n = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_MAX_WIDTH_MASK, nullptr,
                       kEscapes, 0, buffer, sizeof buffer, nullptr);
    EXPECT_EQ(std::string(buffer, n), "Hard\r\nbreak, 100% done. ");
    n = FormatMessageA(FORMAT_MESSAGE_FROM_STRING | 12, "one two three fourfivesixseven", 0, 0,
                       buffer, sizeof buffer, nullptr);
    EXPECT_EQ(std::string(buffer, n), "one two\r\nthree\r\nfourfivesixs\r\neven");
}

TEST(LocalMemory, AllocZeroInitAndFree) {
    auto* bytes = static_cast<unsigned char*>(LocalAlloc(LPTR, 64));
    ASSERT_NE(bytes, nullptr);
    for (int i = 0; i < 64; ++i)
        ASSERT_EQ(bytes[i], 0) << i;
    EXPECT_EQ(LocalFree(bytes), nullptr);
    EXPECT_EQ(LocalFree(nullptr), nullptr);
    // A zero-byte block is still a distinct block.
    void* empty = LocalAlloc(LMEM_FIXED, 0);
    EXPECT_NE(empty, nullptr);
    EXPECT_EQ(LocalFree(empty), nullptr);

    HGLOBAL global = GlobalAlloc(GPTR, 8);
    ASSERT_NE(global, nullptr);
    EXPECT_EQ(GlobalLock(global), global);
    EXPECT_EQ(static_cast<unsigned char*>(GlobalLock(global))[7], 0);
    EXPECT_FALSE(GlobalUnlock(global));
    EXPECT_EQ(GlobalFree(global), nullptr);
}

}  // namespace

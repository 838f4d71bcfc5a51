// Modules and their resources: module handles, dynamic loading, resource lookup, string
// tables, message tables with FormatMessage, and local/global memory.
//
// A module handle (HMODULE) is the load address of a shared library or of the main
// program. Each module can carry a resource table generated at build time by the resource
// compiler (`tevo-rc`, CMake function `tevo_add_resources`); the generated source
// registers the table with this runtime when the module is loaded and withdraws it when
// the module is unloaded. HMODULE NULL stands for the main program.
//
// Text: narrow text is UTF-8 (the ANSI code page); the ...A functions pass it through and
// the ...W functions convert through the platform's codec. A narrow result that has to be
// cut short is never cut inside a UTF-8 sequence. Resource names and string types are
// matched without regard to ASCII letter case, and "#123" names the numeric id 123.
//
// The generic names (FindResource, FormatMessage, ...) map to the ...A functions, or to the
// ...W functions when UNICODE is defined, as on Windows.
#pragma once

#include <cstdarg>
#include <cstddef>

#include "tevo/win/types.h"

// The address of an exported function, as GetProcAddress returns it; cast it to the
// function's real type before calling. (It is a pointer to void() here, the one function
// type that compilers let a cast turn into any other without a warning.)
using FARPROC = void (*)();

#ifndef MAKEINTRESOURCE
#ifdef UNICODE
#define MAKEINTRESOURCE MAKEINTRESOURCEW
#else
#define MAKEINTRESOURCE MAKEINTRESOURCEA
#endif
#endif

// Predefined resource types (numeric type ids).
#define RT_CURSOR MAKEINTRESOURCE(1)
#define RT_BITMAP MAKEINTRESOURCE(2)
#define RT_ICON MAKEINTRESOURCE(3)
#define RT_MENU MAKEINTRESOURCE(4)
#define RT_DIALOG MAKEINTRESOURCE(5)
#define RT_STRING MAKEINTRESOURCE(6)
#define RT_FONTDIR MAKEINTRESOURCE(7)
#define RT_FONT MAKEINTRESOURCE(8)
#define RT_ACCELERATOR MAKEINTRESOURCE(9)
#define RT_RCDATA MAKEINTRESOURCE(10)
#define RT_MESSAGETABLE MAKEINTRESOURCE(11)
#define RT_GROUP_CURSOR MAKEINTRESOURCE(12)
#define RT_GROUP_ICON MAKEINTRESOURCE(14)
#define RT_VERSION MAKEINTRESOURCE(16)
#define RT_HTML MAKEINTRESOURCE(23)
#define RT_MANIFEST MAKEINTRESOURCE(24)

constexpr WORD PRIMARYLANGID(WORD lang) {
    return static_cast<WORD>(lang & 0x3FF);
}
constexpr WORD SUBLANGID(WORD lang) {
    return static_cast<WORD>(lang >> 10);
}

// ---- Message tables ----
// The layout of an RT_MESSAGETABLE resource: a block count, the blocks (each a range of
// message ids with the offset of its first entry from the start of the resource), and the
// entries. Each entry is its length in bytes (header and padding included, a multiple of
// 4), its flags and the zero-terminated text.
constexpr WORD MESSAGE_RESOURCE_UNICODE = 0x0001;  // text of wchar_t
constexpr WORD MESSAGE_RESOURCE_UTF8 = 0x0002;     // text in UTF-8 (0 means the ANSI code page)

struct MESSAGE_RESOURCE_ENTRY {
    WORD Length;
    WORD Flags;
    BYTE Text[1];
};
struct MESSAGE_RESOURCE_BLOCK {
    DWORD LowId;
    DWORD HighId;
    DWORD OffsetToEntries;
};
struct MESSAGE_RESOURCE_DATA {
    DWORD NumberOfBlocks;
    MESSAGE_RESOURCE_BLOCK Blocks[1];
};

// ---- FormatMessage ----
constexpr DWORD FORMAT_MESSAGE_ALLOCATE_BUFFER = 0x00000100;
constexpr DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x00000200;
constexpr DWORD FORMAT_MESSAGE_FROM_STRING = 0x00000400;
constexpr DWORD FORMAT_MESSAGE_FROM_HMODULE = 0x00000800;
constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x00001000;
constexpr DWORD FORMAT_MESSAGE_ARGUMENT_ARRAY = 0x00002000;
constexpr DWORD FORMAT_MESSAGE_MAX_WIDTH_MASK = 0x000000FF;

// ---- Module handles ----
constexpr DWORD GET_MODULE_HANDLE_EX_FLAG_PIN = 0x00000001;
constexpr DWORD GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT = 0x00000002;
constexpr DWORD GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS = 0x00000004;

// ---- Local and global memory ----
constexpr UINT LMEM_FIXED = 0x0000;
constexpr UINT LMEM_MOVEABLE = 0x0002;
constexpr UINT LMEM_ZEROINIT = 0x0040;
constexpr UINT LPTR = LMEM_FIXED | LMEM_ZEROINIT;
constexpr UINT GMEM_FIXED = 0x0000;
constexpr UINT GMEM_MOVEABLE = 0x0002;
constexpr UINT GMEM_ZEROINIT = 0x0040;
constexpr UINT GPTR = GMEM_FIXED | GMEM_ZEROINIT;

extern "C" {

// ---- Modules ----
// NULL gives the main program; a name gives the loaded module whose file name (or full
// path) matches it without regard to case. Not found: NULL with ERROR_MOD_NOT_FOUND.
HMODULE GetModuleHandleA(LPCSTR lpModuleName);
HMODULE GetModuleHandleW(LPCWSTR lpModuleName);
// With GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, lpModuleName is an address and the module
// containing it is returned. Without UNCHANGED_REFCOUNT the module gains a reference that
// FreeLibrary gives back; PIN keeps it loaded for good.
BOOL GetModuleHandleExA(DWORD dwFlags, LPCSTR lpModuleName, HMODULE* phModule);
BOOL GetModuleHandleExW(DWORD dwFlags, LPCWSTR lpModuleName, HMODULE* phModule);
// The full path of the module's file (NULL: the main program). A path longer than the
// buffer is cut to nSize - 1 characters plus a terminating zero; the result is then nSize
// with ERROR_INSUFFICIENT_BUFFER. Otherwise the length without the terminator.
DWORD GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize);
DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize);
// Loads a shared library ("\" is taken as "/"); returns its module handle. Each call adds
// one reference that FreeLibrary gives back. The names of the Windows system libraries whose
// functions the platform provides ("oleaut32.dll" and "ole32.dll": the COM runtime
// libtevocom.so; "kernel32.dll", "advapi32.dll", "user32.dll", "shell32.dll": libtevowin.so),
// given without a folder and in any letter case, load that platform library.
HMODULE LoadLibraryA(LPCSTR lpLibFileName);
HMODULE LoadLibraryW(LPCWSTR lpLibFileName);
// Gives back one reference taken by LoadLibrary or GetModuleHandleEx. A module without
// such a reference gives FALSE with ERROR_INVALID_HANDLE.
BOOL FreeLibrary(HMODULE hLibModule);
// The exported function or variable of that very module (not of the libraries it depends
// on). Not found, or an ordinal: NULL with ERROR_PROC_NOT_FOUND.
FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName);

// ---- Resources ----
// Errors: ERROR_RESOURCE_DATA_NOT_FOUND (module without resources),
// ERROR_RESOURCE_TYPE_NOT_FOUND, ERROR_RESOURCE_NAME_NOT_FOUND,
// ERROR_RESOURCE_LANG_NOT_FOUND. Language 0 (and the user and system default languages)
// prefers language-neutral resources, then English, then any.
HRSRC FindResourceA(HMODULE hModule, LPCSTR lpName, LPCSTR lpType);
HRSRC FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType);
HRSRC FindResourceExA(HMODULE hModule, LPCSTR lpType, LPCSTR lpName, WORD wLanguage);
HRSRC FindResourceExW(HMODULE hModule, LPCWSTR lpType, LPCWSTR lpName, WORD wLanguage);
// The resource's bytes stay valid while the module is loaded. A zero byte follows the last
// byte of every resource (not counted by SizeofResource), so text resources can be read as
// zero-terminated strings.
HGLOBAL LoadResource(HMODULE hModule, HRSRC hResInfo);
LPVOID LockResource(HGLOBAL hResData);
DWORD SizeofResource(HMODULE hModule, HRSRC hResInfo);
BOOL FreeResource(HGLOBAL hResData);

// String-table entry uID. Copies at most cchBufferMax - 1 characters and a terminator and
// returns the number copied; 0 when the string does not exist. LoadStringW with
// cchBufferMax 0 stores a read-only pointer to the string in *lpBuffer instead and returns
// its length (the string is zero-terminated here).
int LoadStringA(HINSTANCE hInstance, UINT uID, LPSTR lpBuffer, int cchBufferMax);
int LoadStringW(HINSTANCE hInstance, UINT uID, LPWSTR lpBuffer, int cchBufferMax);

// Formats a message from a string, a module's message table or the system's table of
// Win32 error and HRESULT texts. Arguments is a va_list*, or with
// FORMAT_MESSAGE_ARGUMENT_ARRAY an array of DWORD_PTR cast to va_list*. With
// FORMAT_MESSAGE_ALLOCATE_BUFFER, lpBuffer receives a LocalAlloc'ed buffer (free it with
// LocalFree). Returns the number of characters stored (bytes for the A form) without the
// terminator, or 0 on failure: ERROR_MR_MID_NOT_FOUND for a message id that is not in the
// table, ERROR_INSUFFICIENT_BUFFER, ERROR_INVALID_PARAMETER (bad flags, a bad insert, or
// inserts without arguments).
DWORD FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                     LPSTR lpBuffer, DWORD nSize, va_list* Arguments);
DWORD FormatMessageW(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                     LPWSTR lpBuffer, DWORD nSize, va_list* Arguments);

// ---- Memory ----
// Moveable memory is handed out fixed: the handle is the pointer, and Lock returns it.
HLOCAL LocalAlloc(UINT uFlags, SIZE_T uBytes);
// NULL on success.
HLOCAL LocalFree(HLOCAL hMem);
HGLOBAL GlobalAlloc(UINT uFlags, SIZE_T dwBytes);
HGLOBAL GlobalFree(HGLOBAL hMem);
LPVOID GlobalLock(HGLOBAL hMem);
BOOL GlobalUnlock(HGLOBAL hMem);

}  // extern "C"

#ifdef UNICODE
#define GetModuleHandle GetModuleHandleW
#define GetModuleHandleEx GetModuleHandleExW
#define GetModuleFileName GetModuleFileNameW
#define LoadLibrary LoadLibraryW
#define FindResource FindResourceW
#define FindResourceEx FindResourceExW
#define LoadString LoadStringW
#define FormatMessage FormatMessageW
#else
#define GetModuleHandle GetModuleHandleA
#define GetModuleHandleEx GetModuleHandleExA
#define GetModuleFileName GetModuleFileNameA
#define LoadLibrary LoadLibraryA
#define FindResource FindResourceA
#define FindResourceEx FindResourceExA
#define LoadString LoadStringA
#define FormatMessage FormatMessageA
#endif

namespace tevo::win {

// One resource of a module's table, as the resource compiler generates it. A type or name
// is either a number (the *_name pointer null) or an upper-case UTF-8 string. The data is
// aligned for wchar_t and followed by a zero byte that `size` does not count.
struct ResourceEntry {
    const char* type_name;
    WORD type_id;
    const char* name;
    WORD name_id;
    WORD language;
    const void* data;
    DWORD size;
};

// Called by generated sources at load and unload. The module is the one that contains
// `entries`, which must be an object of the generated source itself.
void RegisterResourceTable(const ResourceEntry* entries, std::size_t count);
void UnregisterResourceTable(const ResourceEntry* entries);

}  // namespace tevo::win

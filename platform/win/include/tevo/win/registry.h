// The registry: HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER and HKEY_CLASSES_ROOT (a view of
// HKEY_LOCAL_MACHINE\SOFTWARE\Classes), with the Windows names, signatures, value types
// and error codes.
//
// Each hive is a REGEDIT4 text file in the registry directory of the system root
// (HKLM.reg, HKCU.reg). Every change locks the hive, re-reads it, applies the change and
// replaces the file atomically; readers take a shared lock. Nothing is cached between
// calls, so several processes share one registry and a crash never leaves a damaged hive.
// A hive file that cannot be parsed is reported as ERROR_BADDB and never overwritten.
// Keys are at most 512 levels below their hive's root and a key name at most 255
// characters, as on Windows; a hive beyond that is damaged too.
//
// Text: names and string data are stored in the ANSI code page, which is UTF-8 here; the
// ...A functions pass them through unchanged, the ...W functions convert them through the
// platform's codec (wide string data is counted in bytes of wchar_t, 4 per character).
// String data keeps its exact length: a REG_SZ stored without its terminating zero, or
// with embedded zeros, comes back exactly as it was stored.
//
// The generic names (RegOpenKeyEx, ...) map to the ...A functions, or to the ...W
// functions when UNICODE is defined, as on Windows.
#pragma once

#include <string>
#include <string_view>

#include "tevo/win/types.h"
#include "tevo/win/winerror.h"

using REGSAM = DWORD;
using LSTATUS = LONG;
using PHKEY = HKEY*;

// Predefined keys, numbered as Windows numbers them (sign-extended to pointer width).
#define TEVO_PREDEFINED_HKEY(n) \
    (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG_PTR>(static_cast<LONG>(n)))))
#define HKEY_CLASSES_ROOT TEVO_PREDEFINED_HKEY(0x80000000u)
#define HKEY_CURRENT_USER TEVO_PREDEFINED_HKEY(0x80000001u)
#define HKEY_LOCAL_MACHINE TEVO_PREDEFINED_HKEY(0x80000002u)

// Value types.
constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_DWORD_LITTLE_ENDIAN = 4;
constexpr DWORD REG_DWORD_BIG_ENDIAN = 5;
constexpr DWORD REG_LINK = 6;
constexpr DWORD REG_MULTI_SZ = 7;
constexpr DWORD REG_QWORD = 11;
constexpr DWORD REG_QWORD_LITTLE_ENDIAN = 11;

// Access rights of a key handle. Reading needs KEY_QUERY_VALUE or KEY_ENUMERATE_SUB_KEYS,
// changing values KEY_SET_VALUE, creating sub-keys KEY_CREATE_SUB_KEY; a refused right
// gives ERROR_ACCESS_DENIED.
constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_CREATE_LINK = 0x0020;
constexpr REGSAM KEY_WOW64_64KEY = 0x0100;
constexpr REGSAM KEY_WOW64_32KEY = 0x0200;
constexpr REGSAM KEY_READ = 0x00020019;
constexpr REGSAM KEY_EXECUTE = 0x00020019;
constexpr REGSAM KEY_WRITE = 0x00020006;
constexpr REGSAM KEY_ALL_ACCESS = 0x000F003F;

// Options and dispositions of RegCreateKeyEx. Volatile keys are kept like others.
constexpr DWORD REG_OPTION_RESERVED = 0x0;
constexpr DWORD REG_OPTION_NON_VOLATILE = 0x0;
constexpr DWORD REG_OPTION_VOLATILE = 0x1;
constexpr DWORD REG_OPTION_CREATE_LINK = 0x2;
constexpr DWORD REG_OPTION_BACKUP_RESTORE = 0x4;
constexpr DWORD REG_OPTION_OPEN_LINK = 0x8;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Type restrictions and flags of RegGetValue.
constexpr DWORD RRF_RT_REG_NONE = 0x00000001;
constexpr DWORD RRF_RT_REG_SZ = 0x00000002;
constexpr DWORD RRF_RT_REG_EXPAND_SZ = 0x00000004;
constexpr DWORD RRF_RT_REG_BINARY = 0x00000008;
constexpr DWORD RRF_RT_REG_DWORD = 0x00000010;
constexpr DWORD RRF_RT_REG_MULTI_SZ = 0x00000020;
constexpr DWORD RRF_RT_REG_QWORD = 0x00000040;
constexpr DWORD RRF_RT_DWORD = RRF_RT_REG_BINARY | RRF_RT_REG_DWORD;
constexpr DWORD RRF_RT_QWORD = RRF_RT_REG_BINARY | RRF_RT_REG_QWORD;
constexpr DWORD RRF_RT_ANY = 0x0000FFFF;
constexpr DWORD RRF_SUBKEY_WOW6464KEY = 0x00010000;
constexpr DWORD RRF_SUBKEY_WOW6432KEY = 0x00020000;
constexpr DWORD RRF_NOEXPAND = 0x10000000;
constexpr DWORD RRF_ZEROONFAILURE = 0x20000000;

extern "C" {

LSTATUS RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass,
                        DWORD dwOptions, REGSAM samDesired,
                        LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                        LPDWORD lpdwDisposition);
LSTATUS RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions,
                        REGSAM samDesired, LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                        PHKEY phkResult, LPDWORD lpdwDisposition);
LSTATUS RegCreateKeyW(HKEY hKey, LPCWSTR lpSubKey, PHKEY phkResult);
LSTATUS RegCreateKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult);

LSTATUS RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                      PHKEY phkResult);
LSTATUS RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                      PHKEY phkResult);
LSTATUS RegOpenKeyW(HKEY hKey, LPCWSTR lpSubKey, PHKEY phkResult);
LSTATUS RegOpenKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult);

// Closing a predefined key succeeds and does nothing.
LSTATUS RegCloseKey(HKEY hKey);
// Every change is on disk when its function returns; flushing has nothing left to do.
LSTATUS RegFlushKey(HKEY hKey);

LSTATUS RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                         LPBYTE lpData, LPDWORD lpcbData);
LSTATUS RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                         LPBYTE lpData, LPDWORD lpcbData);
LSTATUS RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType,
                       const BYTE* lpData, DWORD cbData);
LSTATUS RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType,
                       const BYTE* lpData, DWORD cbData);
LSTATUS RegGetValueW(HKEY hkey, LPCWSTR lpSubKey, LPCWSTR lpValue, DWORD dwFlags, LPDWORD pdwType,
                     PVOID pvData, LPDWORD pcbData);
LSTATUS RegGetValueA(HKEY hkey, LPCSTR lpSubKey, LPCSTR lpValue, DWORD dwFlags, LPDWORD pdwType,
                     PVOID pvData, LPDWORD pcbData);
LSTATUS RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName);
LSTATUS RegDeleteValueA(HKEY hKey, LPCSTR lpValueName);

// Fails with ERROR_ACCESS_DENIED on a key that has sub-keys, as Windows does.
LSTATUS RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey);
LSTATUS RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey);
LSTATUS RegDeleteKeyExW(HKEY hKey, LPCWSTR lpSubKey, REGSAM samDesired, DWORD Reserved);
LSTATUS RegDeleteKeyExA(HKEY hKey, LPCSTR lpSubKey, REGSAM samDesired, DWORD Reserved);
// Deletes the sub-key with everything below it; with lpSubKey null, empties hKey itself.
LSTATUS RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey);
LSTATUS RegDeleteTreeA(HKEY hKey, LPCSTR lpSubKey);

// Sub-keys are enumerated in alphabetical order (without regard to case), values in the
// order they were created. Keys carry no class and no time stamp: classes come back
// empty and times zero.
LSTATUS RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName,
                      LPDWORD lpReserved, LPWSTR lpClass, LPDWORD lpcchClass,
                      FILETIME* lpftLastWriteTime);
LSTATUS RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                      LPSTR lpClass, LPDWORD lpcchClass, FILETIME* lpftLastWriteTime);
LSTATUS RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName,
                      LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
LSTATUS RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                      LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
LSTATUS RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                         LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                         LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                         LPDWORD lpcbSecurityDescriptor, FILETIME* lpftLastWriteTime);
LSTATUS RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                         LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                         LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                         LPDWORD lpcbSecurityDescriptor, FILETIME* lpftLastWriteTime);

}  // extern "C"

#ifdef UNICODE
#define RegCreateKeyEx RegCreateKeyExW
#define RegCreateKey RegCreateKeyW
#define RegOpenKeyEx RegOpenKeyExW
#define RegOpenKey RegOpenKeyW
#define RegQueryValueEx RegQueryValueExW
#define RegSetValueEx RegSetValueExW
#define RegGetValue RegGetValueW
#define RegDeleteValue RegDeleteValueW
#define RegDeleteKey RegDeleteKeyW
#define RegDeleteKeyEx RegDeleteKeyExW
#define RegDeleteTree RegDeleteTreeW
#define RegEnumKeyEx RegEnumKeyExW
#define RegEnumValue RegEnumValueW
#define RegQueryInfoKey RegQueryInfoKeyW
#else
#define RegCreateKeyEx RegCreateKeyExA
#define RegCreateKey RegCreateKeyA
#define RegOpenKeyEx RegOpenKeyExA
#define RegOpenKey RegOpenKeyA
#define RegQueryValueEx RegQueryValueExA
#define RegSetValueEx RegSetValueExA
#define RegGetValue RegGetValueA
#define RegDeleteValue RegDeleteValueA
#define RegDeleteKey RegDeleteKeyA
#define RegDeleteKeyEx RegDeleteKeyExA
#define RegDeleteTree RegDeleteTreeA
#define RegEnumKeyEx RegEnumKeyExA
#define RegEnumValue RegEnumValueA
#define RegQueryInfoKey RegQueryInfoKeyA
#endif

namespace tevo::win {

// Writes the key, with everything below it, as REGEDIT4 text: the header, then one
// section per key, named `key_name` (e.g. "HKEY_CURRENT_USER\Software\Foo") followed by
// the key's path below the exported key. ERROR_KEY_DELETED when the key no longer exists.
LONG ExportRegistryKey(HKEY key, std::string_view key_name, std::string* text);

// Applies REGEDIT4 text to the registry, as importing a .reg file does: sections create
// keys and set values, "[-KEY]" deletes a key tree and "name"=- a value. The text is
// checked whole before anything changes: bad syntax or a key the registry cannot hold
// (deeper than 512 levels, a name longer than 255 characters) gives ERROR_BADDB, an
// unknown root key ERROR_BADKEY, and changes nothing. Each hive is changed in one step.
LONG ImportRegistryText(std::string_view text);
// The same, and on failure `problem` says where: "<source>, line 3: bad value data" for the
// text (named `source`; "line 3: ..." when that is empty), "<hive file>, line 7: ..." for a
// damaged hive; empty when nothing more is known.
LONG ImportRegistryText(std::string_view text, std::string_view source, std::string* problem);

// Where the last call of this thread that failed with ERROR_BADDB because of a damaged
// hive found the damage: "<hive file>, line 7: a key name must be enclosed in [ ]". Calls
// that succeed leave it as it is, so read it right after the failure.
std::string LastRegistryDamage();

}  // namespace tevo::win

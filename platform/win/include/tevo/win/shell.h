// The shell functions with their Windows names and signatures: ShellExecuteEx and
// CommandLineToArgvW.
//
// ShellExecuteEx starts programs; it does not open documents through file associations.
// The Windows Script Host is stood in for by the POSIX shell: a file named "wscript.exe"
// or "wscript" (any letter case, with or without a folder part, which is ignored) starts
// /bin/sh with the parameters, so `wscript.exe /tmp/dr0001.tmp.vbs` runs that file as a
// shell script. Scripts run this way have no console input: their standard input is
// /dev/null, as the windowed script host has none either. Scripts call the platform's
// programs (ivi-config, reg, ...) by name: the script host's PATH starts with the bin/
// folder beside the lib/ folder that holds the platform library (libtevowin.so), when that
// folder exists; the rest of the environment is this process's. Other programs get this
// process's environment unchanged.
#pragma once

#include "tevo/win/process.h"
#include "tevo/win/types.h"

// ---- Errors of the shell ----
constexpr LONG ERROR_NO_ASSOCIATION = 1155;

// Values of hInstApp after a failure (success gives a value above 32).
constexpr int SE_ERR_FNF = 2;
constexpr int SE_ERR_PNF = 3;
constexpr int SE_ERR_ACCESSDENIED = 5;
constexpr int SE_ERR_OOM = 8;
constexpr int SE_ERR_SHARE = 26;
constexpr int SE_ERR_ASSOCINCOMPLETE = 27;
constexpr int SE_ERR_DDETIMEOUT = 28;
constexpr int SE_ERR_DDEFAIL = 29;
constexpr int SE_ERR_DDEBUSY = 30;
constexpr int SE_ERR_NOASSOC = 31;
constexpr int SE_ERR_DLLNOTFOUND = 32;

// ---- fMask ----
// Honoured: SEE_MASK_NOCLOSEPROCESS and SEE_MASK_DOENVSUBST. The others are accepted and
// without effect here (there is no user interface, and a start is always complete when
// ShellExecuteEx returns).
constexpr ULONG SEE_MASK_DEFAULT = 0x00000000;
constexpr ULONG SEE_MASK_NOCLOSEPROCESS = 0x00000040;
constexpr ULONG SEE_MASK_NOASYNC = 0x00000100;
constexpr ULONG SEE_MASK_FLAG_DDEWAIT = 0x00000100;
constexpr ULONG SEE_MASK_DOENVSUBST = 0x00000200;
constexpr ULONG SEE_MASK_FLAG_NO_UI = 0x00000400;
constexpr ULONG SEE_MASK_UNICODE = 0x00004000;
constexpr ULONG SEE_MASK_NO_CONSOLE = 0x00008000;
constexpr ULONG SEE_MASK_ASYNCOK = 0x00100000;
constexpr ULONG SEE_MASK_WAITFORINPUTIDLE = 0x02000000;

struct SHELLEXECUTEINFOA {
    DWORD cbSize;
    ULONG fMask;
    HWND hwnd;
    LPCSTR lpVerb;
    LPCSTR lpFile;
    LPCSTR lpParameters;
    LPCSTR lpDirectory;
    int nShow;
    HINSTANCE hInstApp;
    void* lpIDList;
    LPCSTR lpClass;
    HKEY hkeyClass;
    DWORD dwHotKey;
    union {
        HANDLE hIcon;
        HANDLE hMonitor;
    };
    HANDLE hProcess;
};
using LPSHELLEXECUTEINFOA = SHELLEXECUTEINFOA*;

struct SHELLEXECUTEINFOW {
    DWORD cbSize;
    ULONG fMask;
    HWND hwnd;
    LPCWSTR lpVerb;
    LPCWSTR lpFile;
    LPCWSTR lpParameters;
    LPCWSTR lpDirectory;
    int nShow;
    HINSTANCE hInstApp;
    void* lpIDList;
    LPCWSTR lpClass;
    HKEY hkeyClass;
    DWORD dwHotKey;
    union {
        HANDLE hIcon;
        HANDLE hMonitor;
    };
    HANDLE hProcess;
};
using LPSHELLEXECUTEINFOW = SHELLEXECUTEINFOW*;

extern "C" {
// Starts lpFile (found as CreateProcess finds a program, see process.h; the Windows
// Script Host as above) with lpParameters split by the argument rules, in lpDirectory
// (null or empty: the current folder). lpVerb must be null, empty or "open". cbSize must
// be sizeof the structure. With SEE_MASK_NOCLOSEPROCESS, hProcess receives the process
// handle (the caller closes it); otherwise it is set to null. On success TRUE and
// hInstApp above 32; on failure FALSE, the last error set and hInstApp one of the SE_ERR_
// values: SE_ERR_FNF (ERROR_FILE_NOT_FOUND), SE_ERR_PNF (a folder that does not exist),
// SE_ERR_ACCESSDENIED (ERROR_ACCESS_DENIED), SE_ERR_NOASSOC (another verb:
// ERROR_NO_ASSOCIATION), SE_ERR_OOM, ERROR_BAD_FORMAT (a file the system cannot run), or
// 0 for other failures.
BOOL ShellExecuteExA(SHELLEXECUTEINFOA* info);
BOOL ShellExecuteExW(SHELLEXECUTEINFOW* info);

// Splits a command line by the rules in process.h into an array of arguments and stores
// their number in *count. The array and its strings are one block allocated with
// LocalAlloc; free it with one LocalFree. An empty or null command line gives the path of
// the running program as the only element. NULL with the last error set on failure.
LPWSTR* CommandLineToArgvW(LPCWSTR command_line, int* count);
}

#ifdef UNICODE
#define ShellExecuteEx ShellExecuteExW
using SHELLEXECUTEINFO = SHELLEXECUTEINFOW;
using LPSHELLEXECUTEINFO = LPSHELLEXECUTEINFOW;
#else
#define ShellExecuteEx ShellExecuteExA
using SHELLEXECUTEINFO = SHELLEXECUTEINFOA;
using LPSHELLEXECUTEINFO = LPSHELLEXECUTEINFOA;
#endif

// The system root: one folder that stands for the Windows machine.
//
// It is the folder named by the environment variable TEVO_SYSTEM_ROOT; when that is unset
// or empty, $XDG_DATA_HOME/tevo/system, and when that is unset too (or not absolute),
// ~/.local/share/tevo/system. The variables are read on every call.
//
// Layout of a root, mirroring the system drive of a Windows machine:
//
//   Windows/                          the Windows directory (GetWindowsDirectory)
//   Windows/Help/                     the Windows help directory
//   Windows/System32/                 the system directory (GetSystemDirectory)
//   Windows/Temp/                     the temporary directory (GetTempPath)
//   ProgramData/                      the all-users application data directory
//   ProgramData/IVI Foundation/IVI/   the IVI data directory
//   Documents and Settings/All Users/Application Data
//                                     a link to ProgramData/, as the compatibility links
//                                     of Windows have it, for software that still uses
//                                     the older name
//   registry/                         the registry hives
//   messages.log                      every message box shown (see messagebox.h)
//   .setup.lock, .setup.done          the set-up lock and the list of set-up steps done
//
// Within this platform the root also plays the part of the system drive: a path inside it
// has the root as its drive (see _splitpath in files.h), as "C:" is for "C:\Windows".
//
// A root is set up on first use: its folders are created, then every registered set-up step
// that has not yet run for it runs once, in registration order, under an exclusive lock on
// the root, and is recorded as done in the root; so each step runs once per root even when
// several processes start on a fresh root at the same time. A step that throws is reported
// on standard error and not recorded; the next process that uses the root runs it again.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "tevo/win/types.h"

extern "C" {
// The Windows directory, without a trailing separator. Returns the length without the
// terminating zero, or the size needed (zero included) when the buffer is too small.
UINT GetWindowsDirectoryA(LPSTR buffer, UINT size);
UINT GetWindowsDirectoryW(LPWSTR buffer, UINT size);
UINT GetSystemWindowsDirectoryA(LPSTR buffer, UINT size);
UINT GetSystemWindowsDirectoryW(LPWSTR buffer, UINT size);
// The system directory: Windows/System32 of the system root.
UINT GetSystemDirectoryA(LPSTR buffer, UINT size);
UINT GetSystemDirectoryW(LPWSTR buffer, UINT size);
// The temporary directory, with a trailing separator; same size protocol as above.
DWORD GetTempPathA(DWORD size, LPSTR buffer);
DWORD GetTempPathW(DWORD size, LPWSTR buffer);
// Replaces each %NAME% by the value of the environment variable NAME; a name that is not
// set stays as it is. SystemRoot and windir name the Windows directory, TEMP and TMP the
// temporary directory (without trailing separator), ProgramData and ALLUSERSPROFILE the
// all-users data directory, and SystemDrive the system root, all of the current root.
// Returns the size of the result with its terminating zero; when that exceeds the given
// size, nothing is copied.
DWORD ExpandEnvironmentStringsA(LPCSTR source, LPSTR destination, DWORD size);
DWORD ExpandEnvironmentStringsW(LPCWSTR source, LPWSTR destination, DWORD size);
}

#ifdef UNICODE
#define GetWindowsDirectory GetWindowsDirectoryW
#define GetSystemWindowsDirectory GetSystemWindowsDirectoryW
#define GetSystemDirectory GetSystemDirectoryW
#define GetTempPath GetTempPathW
#define ExpandEnvironmentStrings ExpandEnvironmentStringsW
#else
#define GetWindowsDirectory GetWindowsDirectoryA
#define GetSystemWindowsDirectory GetSystemWindowsDirectoryA
#define GetSystemDirectory GetSystemDirectoryA
#define GetTempPath GetTempPathA
#define ExpandEnvironmentStrings ExpandEnvironmentStringsA
#endif

namespace tevo::win {

// The current system root (absolute, without trailing separator), set up if it is new.
std::filesystem::path SystemRoot();
std::filesystem::path WindowsDirectory();
std::filesystem::path WindowsHelpDirectory();
std::filesystem::path SystemDirectory();
std::filesystem::path TempDirectory();
std::filesystem::path AllUsersDataDirectory();
std::filesystem::path IviDataDirectory();
std::filesystem::path RegistryDirectory();

// A set-up step receives the root being set up. Steps run with the root's folders in
// place; they may use the functions above for that root, and must not wait for other
// threads or processes that use the system root, which wait for the set-up to end.
using SystemRootSetupStep = std::function<void(const std::filesystem::path& root)>;

// Registers a step under a name that identifies it in every root (one line of text). It
// runs for every root used from now on in which it has not run yet, also for roots that
// were set up before it was registered. Returns false, and registers nothing, when the
// name is empty or already taken.
bool AddSystemRootSetupStep(const std::string& name, SystemRootSetupStep step);

}  // namespace tevo::win

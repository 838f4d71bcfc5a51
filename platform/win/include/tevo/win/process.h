// Processes with their Windows names and signatures: CreateProcess, process handles that
// WaitForSingleObject waits for, exit codes, TerminateProcess and the command line.
//
// Command lines are split by the rules of the Windows C runtime (the same rules as
// CommandLineToArgvW in shell.h):
//   - Blanks (space and tab) separate arguments; leading blanks are skipped.
//   - The first token is the program name: a double quote toggles quoting and is dropped,
//     backslashes are literal, and the name ends at the first blank outside quotes. So
//     "C:\dir\" arg gives the name C:\dir\ and the argument arg.
//   - In the other arguments a double quote toggles quoting and is dropped; 2n backslashes
//     followed by a quote give n backslashes and the quote toggles quoting; 2n+1
//     backslashes followed by a quote give n backslashes and a literal quote; backslashes
//     not followed by a quote are literal.
//   - Inside quotes, "" gives one literal quote and quoting goes on (the rule of the C
//     runtime since 2008): "a""b c" is the one argument a"b c.
//   - A quoted empty text ("") is an empty argument.
//
// The program is found as follows. A name with a folder part ("/" or "\") is a path,
// relative to the current folder; a bare name is looked for in the current folder, then
// in each folder of PATH (from this process's environment; /bin:/usr/bin when unset).
// In each place the name is tried as written and, when no file of that name exists and
// it ends with ".exe" (any letter case), without that ending: "Setup.exe" finds a file
// "Setup.exe" first, else "Setup". Names are matched without regard to letter case as the
// file functions do (files.h). A folder or a file that may not be executed counts as
// found but denied (ERROR_ACCESS_DENIED) unless a later place holds an executable one.
// When the program name was not quoted and is not found, longer prefixes of the command
// line that end at a blank are tried in turn, as Windows does for unquoted paths with
// blanks ("/opt/my tools/Setup.exe -q" finds "/opt/my tools/Setup.exe").
//
// Exit codes. A Linux process ends with a status of 0 to 255; GetExitCodeProcess reads it
// as the signed 8-bit value it was written as, so that negative exit codes keep their
// sign: 3 is 3, 255 is -1 (0xFFFFFFFF), 128 is -128 (0xFFFFFF80). A process killed by a
// signal reports 0xC0000000 | signal number (like an NTSTATUS error code; SIGTERM gives
// 0xC000000F), which no normal exit can give. A process ended by TerminateProcess reports
// the exit code given to it. When the status cannot be read at all (the program set
// SIGCHLD to SIG_IGN, or other code of the program reaped the child), the process counts
// as ended with 0xC0000000.
//
// Waiting and reaping. Each child is watched through a pidfd where the kernel has them:
// WaitForSingleObject on a process handle sleeps in poll() on it until the end or the
// time-out, and the child is reaped (waitid on that pidfd only) as soon as a wait or
// GetExitCodeProcess sees it ended. Without pidfds a thread per child blocks in waitpid()
// for that one pid and wakes the waiters when it returns. No SIGCHLD handler is installed
// and no other child of the program is ever reaped. WaitForMultipleObjects over process
// handles watched through pidfds looks at them again every few milliseconds. Closing the
// handles of a running process does not end it: it runs on and is reaped by a background
// thread when it ends, so no zombie is left behind.
//
// The new process. Its standard input, output and error are this process's. Other file
// descriptors reach it only with bInheritHandles TRUE; otherwise they are closed at its
// start. Signal dispositions and the signal mask start at their defaults. The thread
// handle of PROCESS_INFORMATION stands for the process's main thread: it is signalled
// when the process ends, and its id is the process id (the Linux id of a main thread).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tevo/win/sync.h"
#include "tevo/win/types.h"

// ---- Exit codes ----
// GetExitCodeProcess of a process that is still running.
constexpr DWORD STILL_ACTIVE = 259;

// ---- Creation flags ----
// Accepted and without effect here, except where noted.
constexpr DWORD DEBUG_PROCESS = 0x00000001;            // not supported
constexpr DWORD DEBUG_ONLY_THIS_PROCESS = 0x00000002;  // not supported
constexpr DWORD CREATE_SUSPENDED = 0x00000004;         // not supported
constexpr DWORD DETACHED_PROCESS = 0x00000008;
constexpr DWORD CREATE_NEW_CONSOLE = 0x00000010;
constexpr DWORD NORMAL_PRIORITY_CLASS = 0x00000020;
constexpr DWORD IDLE_PRIORITY_CLASS = 0x00000040;
constexpr DWORD HIGH_PRIORITY_CLASS = 0x00000080;
constexpr DWORD CREATE_NEW_PROCESS_GROUP = 0x00000200;
// lpEnvironment holds wide characters (otherwise UTF-8 narrow characters).
constexpr DWORD CREATE_UNICODE_ENVIRONMENT = 0x00000400;
constexpr DWORD BELOW_NORMAL_PRIORITY_CLASS = 0x00004000;
constexpr DWORD ABOVE_NORMAL_PRIORITY_CLASS = 0x00008000;
constexpr DWORD CREATE_DEFAULT_ERROR_MODE = 0x04000000;
constexpr DWORD CREATE_NO_WINDOW = 0x08000000;

// ---- Start-up information ----
constexpr DWORD STARTF_USESHOWWINDOW = 0x00000001;
constexpr DWORD STARTF_USESIZE = 0x00000002;
constexpr DWORD STARTF_USEPOSITION = 0x00000004;
constexpr DWORD STARTF_USECOUNTCHARS = 0x00000008;
constexpr DWORD STARTF_USEFILLATTRIBUTE = 0x00000010;
constexpr DWORD STARTF_RUNFULLSCREEN = 0x00000020;
constexpr DWORD STARTF_FORCEONFEEDBACK = 0x00000040;
constexpr DWORD STARTF_FORCEOFFFEEDBACK = 0x00000080;
// Standard handles given in the structure: not supported (ERROR_NOT_SUPPORTED).
constexpr DWORD STARTF_USESTDHANDLES = 0x00000100;

// ---- Window show states (no windows here: accepted and ignored) ----
constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_NORMAL = 1;
constexpr int SW_SHOWMINIMIZED = 2;
constexpr int SW_SHOWMAXIMIZED = 3;
constexpr int SW_MAXIMIZE = 3;
constexpr int SW_SHOWNOACTIVATE = 4;
constexpr int SW_SHOW = 5;
constexpr int SW_MINIMIZE = 6;
constexpr int SW_SHOWMINNOACTIVE = 7;
constexpr int SW_SHOWNA = 8;
constexpr int SW_RESTORE = 9;
constexpr int SW_SHOWDEFAULT = 10;

struct STARTUPINFOA {
    DWORD cb;
    LPSTR lpReserved;
    LPSTR lpDesktop;
    LPSTR lpTitle;
    DWORD dwX;
    DWORD dwY;
    DWORD dwXSize;
    DWORD dwYSize;
    DWORD dwXCountChars;
    DWORD dwYCountChars;
    DWORD dwFillAttribute;
    DWORD dwFlags;
    WORD wShowWindow;
    WORD cbReserved2;
    LPBYTE lpReserved2;
    HANDLE hStdInput;
    HANDLE hStdOutput;
    HANDLE hStdError;
};
using LPSTARTUPINFOA = STARTUPINFOA*;

struct STARTUPINFOW {
    DWORD cb;
    LPWSTR lpReserved;
    LPWSTR lpDesktop;
    LPWSTR lpTitle;
    DWORD dwX;
    DWORD dwY;
    DWORD dwXSize;
    DWORD dwYSize;
    DWORD dwXCountChars;
    DWORD dwYCountChars;
    DWORD dwFillAttribute;
    DWORD dwFlags;
    WORD wShowWindow;
    WORD cbReserved2;
    LPBYTE lpReserved2;
    HANDLE hStdInput;
    HANDLE hStdOutput;
    HANDLE hStdError;
};
using LPSTARTUPINFOW = STARTUPINFOW*;

struct PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
};
using PPROCESS_INFORMATION = PROCESS_INFORMATION*;
using LPPROCESS_INFORMATION = PROCESS_INFORMATION*;

extern "C" {
// Starts a program (see above for how the command line is split and the program found).
// application_name, when given, is the program (a path: PATH is not searched) and
// command_line the whole command line with the program name as its first token; when
// command_line is null or empty, application_name alone is the command line. The
// command line is not modified. current_directory (null: this process's) must name a
// folder (otherwise ERROR_DIRECTORY). environment (null: this process's) is a block of
// "NAME=value" strings, each ended by a zero, ended by an empty string. The security
// attributes are ignored; start-up information is optional and its window fields are
// ignored. On success the caller owns both handles of *process_information and closes
// them with CloseHandle. On failure FALSE with the last error set, in the calling
// process: ERROR_FILE_NOT_FOUND when the program does not exist, ERROR_ACCESS_DENIED when
// it may not be executed, ERROR_BAD_EXE_FORMAT when the system cannot run it (a script
// without "#!" line), ERROR_DIRECTORY, ERROR_NOT_SUPPORTED for CREATE_SUSPENDED, the
// debug flags and STARTF_USESTDHANDLES, ERROR_INVALID_PARAMETER for a missing command or
// process_information.
BOOL CreateProcessA(LPCSTR application_name, LPSTR command_line,
                    LPSECURITY_ATTRIBUTES process_attributes,
                    LPSECURITY_ATTRIBUTES thread_attributes, BOOL inherit_handles,
                    DWORD creation_flags, LPVOID environment, LPCSTR current_directory,
                    LPSTARTUPINFOA startup_info, LPPROCESS_INFORMATION process_information);
BOOL CreateProcessW(LPCWSTR application_name, LPWSTR command_line,
                    LPSECURITY_ATTRIBUTES process_attributes,
                    LPSECURITY_ATTRIBUTES thread_attributes, BOOL inherit_handles,
                    DWORD creation_flags, LPVOID environment, LPCWSTR current_directory,
                    LPSTARTUPINFOW startup_info, LPPROCESS_INFORMATION process_information);

// The exit code of a process (see above), or STILL_ACTIVE while it runs. FALSE with
// ERROR_INVALID_HANDLE for a handle that is not a process handle.
BOOL GetExitCodeProcess(HANDLE process, LPDWORD exit_code);
// Kills the process (SIGKILL) and makes exit_code its exit code. Returns at once; wait
// for the handle to see it ended. FALSE with ERROR_ACCESS_DENIED when it has already
// ended.
BOOL TerminateProcess(HANDLE process, UINT exit_code);
// The id of the process of a process handle; 0 with ERROR_INVALID_HANDLE otherwise.
DWORD GetProcessId(HANDLE process);

// This process's command line: its arguments joined by the quoting rules above, so that
// splitting it gives them back. The text lives as long as the process.
LPSTR GetCommandLineA();
LPWSTR GetCommandLineW();
}

#ifdef UNICODE
#define CreateProcess CreateProcessW
#define GetCommandLine GetCommandLineW
using STARTUPINFO = STARTUPINFOW;
using LPSTARTUPINFO = LPSTARTUPINFOW;
#else
#define CreateProcess CreateProcessA
#define GetCommandLine GetCommandLineA
using STARTUPINFO = STARTUPINFOA;
using LPSTARTUPINFO = LPSTARTUPINFOA;
#endif

namespace tevo::win {

// The exit code of a process killed by a signal: kSignalExitCodeBase | signal number.
inline constexpr DWORD kSignalExitCodeBase = 0xC0000000u;
constexpr DWORD ExitCodeForSignal(int signal_number) {
    return kSignalExitCodeBase | static_cast<DWORD>(signal_number);
}

// Splits a command line by the rules above; the first element is the program name.
std::vector<std::string> SplitCommandLine(std::string_view command_line);
// Splits an argument text (no program name first): every token by the argument rules.
std::vector<std::string> SplitArguments(std::string_view arguments);
// One argument written so that SplitArguments gives it back unchanged: as it is when it
// is not empty and holds no blank or quote, else quoted with backslashes doubled before
// quotes.
std::string QuoteArgument(std::string_view argument);
// Joins a program name and its arguments into a command line that SplitCommandLine gives
// back unchanged. A program name with blanks is put in quotes; a program name cannot
// hold a double quote (it has no escape) and one is passed on as it is.
std::string JoinCommandLine(const std::vector<std::string>& arguments);

}  // namespace tevo::win

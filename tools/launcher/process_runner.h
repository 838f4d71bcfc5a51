// What the installer's two process runners, Launcher and SetupRunner, share: the registry
// values through which they meet the installation, their message boxes, the argument text
// of their own command line, and starting one command line and waiting for its end.
//
// Both programs open no window of their own and write nothing except through message
// boxes, which have no owner window, the caption "Information" and a single OK button.
#pragma once

#include <string>
#include <string_view>

#include "tevo/win/windows.h"

namespace tevo::tools {

// The key under HKEY_LOCAL_MACHINE that holds the values shared with the installation.
inline constexpr char kResultKeyPath[] = "SOFTWARE\\Sorvant\\Tmp";
// The exit code of Launcher's command, a REG_SZ written with "%d" (zero included).
inline constexpr char kResultLauncherValue[] = "ResultLauncher";
// The installation's result for SetupRunner, a REG_SZ holding a decimal number.
inline constexpr char kResultSetupValue[] = "ResultSetup";

// Shows a message box without owner, with the caption "Information" and an OK button.
void ShowInformation(const std::string& text);

// The argument text of a command line as a windowed program receives it: what follows the
// program name and the blanks after it, unchanged. The program name is read by the
// command-line rules of the platform (tevo/win/process.h): a double quote toggles quoting,
// and the name ends at the first blank outside quotes.
std::string ArgumentText(std::string_view command_line);

// Starts the command line as a new process (no application name, no inherited handles, no
// creation flags, this process's environment and current folder, window shown normally)
// and waits without time limit until it ends. The command line is handed on unchanged;
// the new process splits it by the Windows rules. Returns the handle of the ended process,
// which the caller closes; when the process cannot be started, shows
// "CreateProcess failed for <command line>." and returns nullptr.
HANDLE RunCommandLine(const std::string& command_line);

}  // namespace tevo::tools

// Launcher: starts its argument text as the complete command line of a new process, waits
// for it and stores the process's exit code in the registry value ResultLauncher under
// HKEY_LOCAL_MACHINE\SOFTWARE\Sorvant\Tmp, where the installation that ran Launcher reads
// it. Failures are shown in message boxes; the exit code is 0 on success, -1 on failure.
//
// The stored text is the exit code as GetExitCodeProcess reports it, formatted as a signed
// decimal number ("%d"), with its terminating zero counted in the stored size:
//   - A normal end gives the signed 8-bit status of the command, "-128" to "127": an exit
//     status of 253 (exit(-3)) is stored as "-3".
//   - A command killed by a signal reports 0xC0000000 | signal number, like the NTSTATUS
//     code of a crashed Windows process, and is stored as that 32-bit value read signed:
//     -1073741824 + signal number, e.g. "-1073741815" for SIGKILL (9) and "-1073741809"
//     for SIGTERM (15). No normal end can give such a number, so the installation can
//     tell the two apart as it would on Windows (0xC0000005 is stored as "-1073741819").
//
// The arguments are handed on as they arrived: the platform gives this program its command
// line rebuilt from its arguments by the Windows quoting rules (GetCommandLineA), and the
// new process splits the argument text by the same rules, so it receives the arguments
// Launcher was given after its own name, unchanged.
#include <string>

#include "process_runner.h"
#include "tevo/win/windows.h"

namespace {

using tevo::tools::ShowInformation;

// Creates or opens the key and sets the string value (zero included). Reports a failure in
// message boxes and returns false.
bool PutContentToRegistry(const char* key_path, const char* value_name,
                          const std::string& content) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key_path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        ShowInformation(std::string("Error: PutContentToRegistry::RegOpenKeyEx\n") + key_path);
        return false;
    }
    const LSTATUS status =
        RegSetValueExA(key, value_name, 0, REG_SZ, reinterpret_cast<const BYTE*>(content.c_str()),
                       static_cast<DWORD>(content.size() + 1));
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) {
        ShowInformation(std::string("Error: PutContentToRegistry::RegSetValueEx\n") + value_name);
        return false;
    }
    return true;
}

}  // namespace

int main() {
    const HANDLE process =
        tevo::tools::RunCommandLine(tevo::tools::ArgumentText(GetCommandLineA()));
    if (process == nullptr) {
        return -1;
    }
    DWORD exit_code = 0;
    const BOOL known = GetExitCodeProcess(process, &exit_code);
    CloseHandle(process);
    if (!known) {
        ShowInformation("GetExitCodeProcess() failed");
        return -1;
    }
    if (exit_code == STILL_ACTIVE) {
        ShowInformation("Process is still active");
        return 0;
    }
    if (!PutContentToRegistry(tevo::tools::kResultKeyPath, tevo::tools::kResultLauncherValue,
                              std::to_string(static_cast<int>(exit_code)))) {
        ShowInformation("PutContentToRegistry failed.");
        return -1;
    }
    return 0;
}

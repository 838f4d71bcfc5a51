// SetupRunner: starts "Setup.exe" from its own folder with its own argument text, waits for
// it, and ends with the number that it then finds in the registry value ResultSetup under
// HKEY_LOCAL_MACHINE\SOFTWARE\Sorvant\Tmp, where the installation leaves its result. Every
// outcome is shown in a message box: the number ("Value to return: %d."), or the failure,
// after which SetupRunner ends with -1.
//
// A text that does not begin with a number gives the number -1; a text with nothing but
// white space (or nothing at all) is a failure ("sscanf failed").
//
// The exit status of a process here keeps the low 8 bits of the number, which
// GetExitCodeProcess reads back as a signed 8-bit value: numbers from -128 to 127 reach
// the caller unchanged. The message box always shows the whole number.
#include <string>

#include "process_runner.h"
#include "result_setup.h"
#include "setup_command.h"
#include "tevo/win/windows.h"

int main() {
    using tevo::tools::ShowInformation;

    const std::string arguments = tevo::tools::ArgumentText(GetCommandLineA());
    const std::string setup_program = tevo::tools::SetupProgramPath(tevo::tools::OwnProgramPath());
    const std::string command_line = tevo::tools::SetupCommandLine(setup_program, arguments);
    if (command_line.empty()) {
        ShowInformation("CreateProcess failed for " + setup_program + " " + arguments + ".");
        return -1;
    }
    const HANDLE process = tevo::tools::RunCommandLine(command_line);
    if (process == nullptr) {
        return -1;
    }
    CloseHandle(process);

    std::string result;
    if (tevo::tools::GetStringRegistryValue(HKEY_LOCAL_MACHINE, tevo::tools::kResultKeyPath,
                                            tevo::tools::kResultSetupValue,
                                            &result) != ERROR_SUCCESS) {
        ShowInformation("GetStringRegistryValue failed");
        return -1;
    }
    const tevo::tools::ScannedNumber number = tevo::tools::ScanDecimal(result);
    if (number.end_of_input) {
        ShowInformation("sscanf failed");
        return -1;
    }
    ShowInformation("Value to return: " + std::to_string(number.value) + ".");
    return number.value;
}

#include "process_runner.h"

namespace tevo::tools {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

void ShowInformation(const std::string& text) {
    MessageBoxA(nullptr, text.c_str(), "Information", MB_OK);
}

std::string ArgumentText(std::string_view command_line) {
    std::size_t i = 0;
    while (i < command_line.size() && IsBlank(command_line[i])) {
        ++i;
    }
    bool in_quotes = false;
    while (i < command_line.size() && (in_quotes || !IsBlank(command_line[i]))) {
        if (command_line[i] == '"') {
            in_quotes = !in_quotes;
        }
        ++i;
    }
    while (i < command_line.size() && IsBlank(command_line[i])) {
        ++i;
    }
    return std::string(command_line.substr(i));
}

HANDLE RunCommandLine(const std::string& command_line) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process{};
    // CreateProcessA takes a writable command line; it gets a copy of its own.
    std::string writable = command_line;
    if (!CreateProcessA(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        ShowInformation("CreateProcess failed for " + command_line + ".");
        return nullptr;
    }
    CloseHandle(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    return process.hProcess;
}

}  // namespace tevo::tools

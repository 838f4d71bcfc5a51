// Helpers for the tests of Launcher and SetupRunner: the message log and the result values
// of the current system root, and the reports of tevo_runner_test_child.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tevo/testing/temp_dir.h"
#include "tevo/win/registry.h"

namespace tevo::testing {

inline constexpr char kResultKeyPath[] = "SOFTWARE\\Sorvant\\Tmp";

// Every message box shown in the current system root: one "caption: text" line each.
inline std::string MessageLog() {
    return ReadFile(CurrentSystemRoot() / "messages.log");
}

// A value under HKEY_LOCAL_MACHINE\SOFTWARE\Sorvant\Tmp as the registry keeps it.
struct StoredValue {
    bool exists = false;
    DWORD type = REG_NONE;
    std::string bytes;
};

inline StoredValue ReadResultValue(const std::string& name) {
    StoredValue value;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kResultKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return value;
    }
    DWORD size = 0;
    if (RegQueryValueExA(key, name.c_str(), nullptr, &value.type, nullptr, &size) ==
        ERROR_SUCCESS) {
        value.bytes.resize(size);
        value.exists =
            RegQueryValueExA(key, name.c_str(), nullptr, &value.type,
                             reinterpret_cast<BYTE*>(value.bytes.data()), &size) == ERROR_SUCCESS;
        value.bytes.resize(size);
    }
    RegCloseKey(key);
    return value;
}

// Sets a value under HKEY_LOCAL_MACHINE\SOFTWARE\Sorvant\Tmp to exactly these bytes.
inline LONG WriteResultValue(const std::string& name, DWORD type, const std::string& bytes) {
    HKEY key = nullptr;
    LONG status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, kResultKeyPath, 0, nullptr, 0, KEY_WRITE,
                                  nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    status = RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                            static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
    return status;
}

// The argument vector that "echo" wrote to a file.
inline std::vector<std::string> ReadEchoedArguments(const std::filesystem::path& file) {
    const std::string bytes = ReadFile(file);
    std::vector<std::string> arguments;
    std::size_t start = 0;
    while (start < bytes.size()) {
        const std::size_t end = bytes.find('\0', start);
        if (end == std::string::npos) {
            break;
        }
        arguments.push_back(bytes.substr(start, end - start));
        start = end + 1;
    }
    return arguments;
}

}  // namespace tevo::testing

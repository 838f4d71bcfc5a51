// ExpandEnvironmentStrings: %NAME% references replaced by environment variables, with the
// Windows machine's own variables taken from the system root.
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "tevo/win/lasterror.h"
#include "tevo/win/string_out.h"
#include "tevo/win/sysroot.h"
#include "tevo/win/text.h"
#include "tevo/win/winerror.h"

extern char** environ;

namespace {

char AsciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Windows compares environment variable names without regard to case.
bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiUpper(a[i]) != AsciiUpper(b[i])) {
            return false;
        }
    }
    return true;
}

std::optional<std::string> MachineVariable(std::string_view name) {
    if (SameName(name, "SystemRoot") || SameName(name, "windir")) {
        return tevo::win::WindowsDirectory().string();
    }
    if (SameName(name, "TEMP") || SameName(name, "TMP")) {
        return tevo::win::TempDirectory().string();
    }
    if (SameName(name, "ProgramData") || SameName(name, "ALLUSERSPROFILE")) {
        return tevo::win::AllUsersDataDirectory().string();
    }
    if (SameName(name, "SystemDrive")) {
        return tevo::win::SystemRoot().string();
    }
    return std::nullopt;
}

std::optional<std::string> Lookup(std::string_view name) {
    if (auto machine = MachineVariable(name)) {
        return machine;
    }
    const std::string key(name);
    if (const char* value = std::getenv(key.c_str())) {
        return std::string(value);
    }
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        const std::size_t equals = text.find('=');
        if (equals != std::string_view::npos && SameName(text.substr(0, equals), name)) {
            return std::string(text.substr(equals + 1));
        }
    }
    return std::nullopt;
}

// A reference that cannot be expanded keeps its first "%", and the scan goes on after it,
// so that its closing "%" may open the next reference, as on Windows.
std::string Expand(std::string_view text) {
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '%') {
            out.push_back(text[i++]);
            continue;
        }
        const std::size_t close = text.find('%', i + 1);
        if (close != std::string_view::npos && close > i + 1) {
            if (auto value = Lookup(text.substr(i + 1, close - i - 1))) {
                out += *value;
                i = close + 1;
                continue;
            }
        }
        out.push_back('%');
        ++i;
    }
    return out;
}

}  // namespace

extern "C" DWORD ExpandEnvironmentStringsA(LPCSTR source, LPSTR destination, DWORD size) {
    if (source == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::string expanded = Expand(source);
    return tevo::win::CopyTextOutCountingZero(std::string_view(expanded), destination, size);
}

extern "C" DWORD ExpandEnvironmentStringsW(LPCWSTR source, LPWSTR destination, DWORD size) {
    if (source == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::wstring expanded = tevo::win::Utf8ToWide(Expand(tevo::win::WideToUtf8(source)));
    return tevo::win::CopyTextOutCountingZero(std::wstring_view(expanded), destination, size);
}

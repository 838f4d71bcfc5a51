// ShellExecuteExA/W: starting a program, or a script through the script host, with its
// parameters split by the Windows rules.
#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "process_launch.h"
#include "program_search.h"
#include "tevo/win/lasterror.h"
#include "tevo/win/process.h"
#include "tevo/win/shell.h"
#include "tevo/win/sync.h"
#include "tevo/win/sysroot.h"
#include "tevo/win/text.h"
#include "tevo/win/winerror.h"

namespace tevo::win {
namespace {

// The shell that stands in for the Windows Script Host.
constexpr const char* kScriptHost = "/bin/sh";
// hInstApp after a successful start (any value above 32 means success).
constexpr LONG_PTR kStarted = 42;

// A ShellExecuteEx call with its texts in UTF-8.
struct ShellCall {
    ULONG mask = 0;
    std::optional<std::string> verb;
    std::optional<std::string> file;
    std::optional<std::string> parameters;
    std::optional<std::string> directory;
};

struct ShellOutcome {
    BOOL ok = FALSE;
    LONG_PTR instance = 0;
    HANDLE process = nullptr;
};

std::optional<std::string> Narrow(LPCSTR text) {
    return text == nullptr ? std::nullopt : std::optional<std::string>(text);
}

std::optional<std::string> Narrow(LPCWSTR text) {
    return text == nullptr ? std::nullopt : std::optional<std::string>(WideToUtf8(text));
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
        if (x != b[i]) {
            return false;
        }
    }
    return true;
}

// Whether a file names the Windows Script Host: "wscript.exe" or "wscript", any letter
// case, after any folder part.
bool IsScriptHost(std::string_view file) {
    const std::size_t slash = file.find_last_of("/\\");
    const std::string_view name = slash == std::string_view::npos ? file : file.substr(slash + 1);
    return EqualsIgnoringAsciiCase(name, "wscript.exe") || EqualsIgnoringAsciiCase(name, "wscript");
}

std::string ExpandVariables(const std::string& text) {
    const DWORD size = ExpandEnvironmentStringsA(text.c_str(), nullptr, 0);
    if (size == 0) {
        return text;
    }
    std::string expanded(size, '\0');
    if (ExpandEnvironmentStringsA(text.c_str(), expanded.data(), size) != size) {
        return text;
    }
    expanded.resize(size - 1);
    return expanded;
}

// The folder of the platform's programs: bin/ beside the lib/ folder that holds this
// library (the build tree and the installed SDK are laid out alike). Empty when this
// library's file cannot be found or there is no such folder.
std::string PlatformProgramFolder() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<const void*>(&PlatformProgramFolder), &info) == 0 ||
        info.dli_fname == nullptr) {
        return {};
    }
    std::error_code error;
    const std::filesystem::path library =
        std::filesystem::weakly_canonical(std::filesystem::absolute(info.dli_fname, error), error);
    if (error) {
        return {};
    }
    const std::filesystem::path programs = library.parent_path().parent_path() / "bin";
    return std::filesystem::is_directory(programs, error) ? programs.string() : std::string();
}

// This process's environment with `folder` put first on PATH (PATH is set to the folder
// and the usual system folders when there is none).
std::vector<std::string> EnvironmentWithProgramsFirst(const std::string& folder) {
    std::vector<std::string> entries;
    bool had_path = false;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        std::string text = *entry;
        if (text.rfind("PATH=", 0) == 0) {
            text.insert(5, folder + ":");
            had_path = true;
        }
        entries.push_back(std::move(text));
    }
    if (!had_path) {
        entries.push_back("PATH=" + folder + ":/usr/local/bin:/usr/bin:/bin");
    }
    return entries;
}

LONG_PTR InstanceForError(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
            return SE_ERR_FNF;
        case ERROR_PATH_NOT_FOUND:
        case ERROR_DIRECTORY:
            return SE_ERR_PNF;
        case ERROR_ACCESS_DENIED:
            return SE_ERR_ACCESSDENIED;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return SE_ERR_OOM;
        case ERROR_BAD_EXE_FORMAT:
            return ERROR_BAD_FORMAT;
        case ERROR_NO_ASSOCIATION:
            return SE_ERR_NOASSOC;
        default:
            return 0;
    }
}

ShellOutcome Failure(DWORD error) {
    SetLastError(error);
    ShellOutcome outcome;
    outcome.instance = InstanceForError(error);
    return outcome;
}

ShellOutcome Execute(const ShellCall& call) {
    if (call.verb && !call.verb->empty() && !EqualsIgnoringAsciiCase(*call.verb, "open")) {
        return Failure(ERROR_NO_ASSOCIATION);
    }
    if (!call.file || call.file->empty()) {
        return Failure(ERROR_FILE_NOT_FOUND);
    }
    const bool substitute = (call.mask & SEE_MASK_DOENVSUBST) != 0;
    const std::string file = substitute ? ExpandVariables(*call.file) : *call.file;
    detail::LaunchRequest request;
    if (IsScriptHost(file)) {
        request.program = kScriptHost;
        request.arguments = {kScriptHost};
        request.null_input = true;
        const std::string programs = PlatformProgramFolder();
        if (!programs.empty()) {
            request.environment = EnvironmentWithProgramsFirst(programs);
        }
    } else {
        const detail::ProgramLookup lookup =
            detail::FindProgram(file, true, detail::ProgramSearchPath());
        if (lookup.error != ERROR_SUCCESS) {
            return Failure(lookup.error);
        }
        request.program = lookup.path;
        request.arguments = {file};
    }
    for (std::string& parameter : SplitArguments(call.parameters.value_or(""))) {
        request.arguments.push_back(std::move(parameter));
    }
    if (call.directory) {
        request.directory = substitute ? ExpandVariables(*call.directory) : *call.directory;
    }
    detail::LaunchedProcess launched;
    if (!detail::Launch(request, &launched)) {
        return Failure(GetLastError());
    }
    CloseHandle(launched.thread);
    ShellOutcome outcome;
    outcome.ok = TRUE;
    outcome.instance = kStarted;
    if ((call.mask & SEE_MASK_NOCLOSEPROCESS) != 0) {
        outcome.process = launched.process;
    } else {
        CloseHandle(launched.process);  // the process runs on
    }
    SetLastError(ERROR_SUCCESS);
    return outcome;
}

template <class Info>
BOOL ShellExecuteFor(Info* info) {
    if (info == nullptr || info->cbSize != sizeof(Info)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    ShellCall call;
    call.mask = info->fMask;
    call.verb = Narrow(info->lpVerb);
    call.file = Narrow(info->lpFile);
    call.parameters = Narrow(info->lpParameters);
    call.directory = Narrow(info->lpDirectory);
    const ShellOutcome outcome = Execute(call);
    info->hInstApp = reinterpret_cast<HINSTANCE>(outcome.instance);
    info->hProcess = outcome.process;
    return outcome.ok;
}

}  // namespace
}  // namespace tevo::win

extern "C" BOOL ShellExecuteExA(SHELLEXECUTEINFOA* info) {
    return tevo::win::ShellExecuteFor(info);
}

extern "C" BOOL ShellExecuteExW(SHELLEXECUTEINFOW* info) {
    return tevo::win::ShellExecuteFor(info);
}

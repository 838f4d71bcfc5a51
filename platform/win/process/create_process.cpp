// CreateProcessA/W: the command line split and its program found by the Windows rules,
// then started by the launcher.
#include <optional>
#include <string>
#include <vector>

#include "command_line.h"
#include "process_launch.h"
#include "program_search.h"
#include "tevo/win/lasterror.h"
#include "tevo/win/process.h"
#include "tevo/win/text.h"
#include "tevo/win/winerror.h"

namespace tevo::win {
namespace {

// A CreateProcess call with its texts in UTF-8.
struct CreateCall {
    std::optional<std::string> application;
    std::string command_line;
    bool inherit_handles = false;
    DWORD creation_flags = 0;
    const void* environment = nullptr;
    std::string directory;
    DWORD startup_flags = 0;
};

std::optional<std::string> Narrow(LPCSTR text) {
    return text == nullptr ? std::nullopt : std::optional<std::string>(text);
}

std::optional<std::string> Narrow(LPCWSTR text) {
    return text == nullptr ? std::nullopt : std::optional<std::string>(WideToUtf8(text));
}

// The entries of an environment block: zero-terminated strings up to an empty one. The
// hidden "=X:=..." entries of Windows blocks (per-drive folders) are left out.
template <class Char>
std::vector<std::string> ReadEnvironmentBlock(const Char* block) {
    std::vector<std::string> entries;
    while (*block != 0) {
        const std::basic_string<Char> entry(block);
        block += entry.size() + 1;
        if (entry.front() == static_cast<Char>('=')) {
            continue;
        }
        if constexpr (sizeof(Char) == 1) {
            entries.push_back(entry);
        } else {
            entries.push_back(WideToUtf8(entry));
        }
    }
    return entries;
}

// Finds the program of the call and the argument vector. ERROR_SUCCESS or the error.
DWORD ResolveCommand(const CreateCall& call, detail::LaunchRequest* request) {
    const std::string& line = call.command_line;
    if (call.application) {
        const detail::ProgramLookup lookup = detail::FindProgram(*call.application, false, "");
        if (lookup.error != ERROR_SUCCESS) {
            return lookup.error;
        }
        request->program = lookup.path;
        request->arguments = SplitCommandLine(line);
        if (request->arguments.empty()) {
            request->arguments = {*call.application};
        }
        return ERROR_SUCCESS;
    }
    const detail::ProgramToken token = detail::ReadProgramToken(line);
    if (token.name.empty()) {
        return token.quoted ? ERROR_FILE_NOT_FOUND : ERROR_INVALID_PARAMETER;
    }
    const std::string path_list = detail::ProgramSearchPath();
    const detail::ProgramLookup lookup = detail::FindProgram(token.name, true, path_list);
    if (lookup.error == ERROR_SUCCESS) {
        request->program = lookup.path;
        request->arguments = SplitCommandLine(line);
        return ERROR_SUCCESS;
    }
    if (!token.quoted) {
        // An unquoted name may be a path with blanks: try the longer prefixes that end at
        // a blank, shortest first.
        std::size_t end = token.end;
        for (;;) {
            std::size_t next = end;
            while (next < line.size() && detail::IsBlank(line[next])) {
                ++next;
            }
            if (next >= line.size()) {
                break;
            }
            while (next < line.size() && !detail::IsBlank(line[next]) && line[next] != '"') {
                ++next;
            }
            if (next < line.size() && line[next] == '"') {
                break;
            }
            end = next;
            const std::string candidate = line.substr(token.begin, end - token.begin);
            const detail::ProgramLookup longer = detail::FindProgram(candidate, true, path_list);
            if (longer.error == ERROR_SUCCESS) {
                request->program = longer.path;
                request->arguments = {candidate};
                for (std::string& argument : SplitArguments(std::string_view(line).substr(end))) {
                    request->arguments.push_back(std::move(argument));
                }
                return ERROR_SUCCESS;
            }
        }
    }
    return lookup.error;
}

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

BOOL CreateProcessFor(CreateCall call, LPPROCESS_INFORMATION information) {
    if (information == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if ((call.creation_flags & (CREATE_SUSPENDED | DEBUG_PROCESS | DEBUG_ONLY_THIS_PROCESS)) != 0 ||
        (call.startup_flags & STARTF_USESTDHANDLES) != 0) {
        return Fail(ERROR_NOT_SUPPORTED);
    }
    if (call.command_line.find_first_not_of(" \t") == std::string::npos) {
        if (!call.application) {
            return Fail(ERROR_INVALID_PARAMETER);
        }
        call.command_line.clear();
    }
    detail::LaunchRequest request;
    const DWORD error = ResolveCommand(call, &request);
    if (error != ERROR_SUCCESS) {
        return Fail(error);
    }
    if (call.environment != nullptr) {
        request.environment =
            (call.creation_flags & CREATE_UNICODE_ENVIRONMENT) != 0
                ? ReadEnvironmentBlock(static_cast<const wchar_t*>(call.environment))
                : ReadEnvironmentBlock(static_cast<const char*>(call.environment));
    }
    request.directory = call.directory;
    request.inherit_descriptors = call.inherit_handles;
    detail::LaunchedProcess launched;
    if (!detail::Launch(request, &launched)) {
        return FALSE;
    }
    information->hProcess = launched.process;
    information->hThread = launched.thread;
    information->dwProcessId = launched.id;
    information->dwThreadId = launched.id;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

}  // namespace
}  // namespace tevo::win

extern "C" BOOL CreateProcessA(LPCSTR application_name, LPSTR command_line,
                               LPSECURITY_ATTRIBUTES /*process_attributes*/,
                               LPSECURITY_ATTRIBUTES /*thread_attributes*/, BOOL inherit_handles,
                               DWORD creation_flags, LPVOID environment, LPCSTR current_directory,
                               LPSTARTUPINFOA startup_info,
                               LPPROCESS_INFORMATION process_information) {
    tevo::win::CreateCall call;
    call.application = tevo::win::Narrow(application_name);
    call.command_line = tevo::win::Narrow(command_line).value_or("");
    call.inherit_handles = inherit_handles != FALSE;
    call.creation_flags = creation_flags;
    call.environment = environment;
    call.directory = tevo::win::Narrow(current_directory).value_or("");
    call.startup_flags = startup_info != nullptr ? startup_info->dwFlags : 0;
    return tevo::win::CreateProcessFor(std::move(call), process_information);
}

extern "C" BOOL CreateProcessW(LPCWSTR application_name, LPWSTR command_line,
                               LPSECURITY_ATTRIBUTES /*process_attributes*/,
                               LPSECURITY_ATTRIBUTES /*thread_attributes*/, BOOL inherit_handles,
                               DWORD creation_flags, LPVOID environment, LPCWSTR current_directory,
                               LPSTARTUPINFOW startup_info,
                               LPPROCESS_INFORMATION process_information) {
    tevo::win::CreateCall call;
    call.application = tevo::win::Narrow(application_name);
    call.command_line = tevo::win::Narrow(command_line).value_or("");
    call.inherit_handles = inherit_handles != FALSE;
    call.creation_flags = creation_flags;
    call.environment = environment;
    call.directory = tevo::win::Narrow(current_directory).value_or("");
    call.startup_flags = startup_info != nullptr ? startup_info->dwFlags : 0;
    return tevo::win::CreateProcessFor(std::move(call), process_information);
}

// What a process handle answers and does: exit code, termination, id.
#include "child_process.h"
#include "tevo/win/lasterror.h"
#include "tevo/win/process.h"
#include "tevo/win/winerror.h"

namespace {

std::shared_ptr<tevo::win::detail::ProcessObject> FindProcess(HANDLE process) {
    auto found = tevo::win::FindHandleAs<tevo::win::detail::ProcessObject>(process);
    if (found == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
    }
    return found;
}

}  // namespace

extern "C" BOOL GetExitCodeProcess(HANDLE process, LPDWORD exit_code) {
    const auto found = FindProcess(process);
    if (found == nullptr) {
        return FALSE;
    }
    if (exit_code == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *exit_code = found->child().ExitCode().value_or(STILL_ACTIVE);
    return TRUE;
}

extern "C" BOOL TerminateProcess(HANDLE process, UINT exit_code) {
    const auto found = FindProcess(process);
    if (found == nullptr) {
        return FALSE;
    }
    if (!found->child().Terminate(exit_code)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return TRUE;
}

extern "C" DWORD GetProcessId(HANDLE process) {
    const auto found = FindProcess(process);
    return found == nullptr ? 0 : static_cast<DWORD>(found->child().pid());
}

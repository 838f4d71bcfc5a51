// Helpers shared by the file functions of this folder (not a public header).
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <string_view>

#include "tevo/win/files.h"
#include "tevo/win/lasterror.h"
#include "tevo/win/text.h"
#include "tevo/win/winerror.h"

namespace tevo::win::detail {

// A wide argument as UTF-8; null becomes empty.
inline std::string Narrow(LPCWSTR text) {
    return text == nullptr ? std::string() : WideToUtf8(text);
}

inline std::string Narrow(LPCSTR text) {
    return text == nullptr ? std::string() : std::string(text);
}

// The error for an entry that the resolver did not find.
inline DWORD NotFoundError(const ResolvedPath& resolved) {
    return resolved.folder_exists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

inline BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

inline BOOL FailWithErrno(int error) {
    return Fail(Win32ErrorFromErrno(error));
}

// The key under which a name is compared without regard to case.
std::wstring FoldedName(std::string_view name);

// Whether the owner may not write the entry: Windows' read-only attribute.
inline bool IsReadOnly(const struct stat& info) {
    return (info.st_mode & S_IWUSR) == 0;
}

// Makes the entries of a folder durable after a rename or link in it.
void SyncFolder(const std::filesystem::path& folder);

}  // namespace tevo::win::detail

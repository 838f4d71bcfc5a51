// Whole-file and folder operations: attributes, copy, delete, move, create and remove
// folders.
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "atomic_file.h"
#include "file_support.h"

namespace tevo::win {
namespace {

namespace fs = std::filesystem;
using detail::Fail;
using detail::FailWithErrno;
using detail::NotFoundError;

// The entry's status; false (with the last error set) when it does not exist.
bool StatExisting(const ResolvedPath& resolved, struct stat& info) {
    if (!resolved.exists || stat(resolved.path.c_str(), &info) != 0) {
        Fail(NotFoundError(resolved));
        return false;
    }
    return true;
}

DWORD Attributes(const std::string& name) {
    const ResolvedPath resolved = ResolvePath(name);
    struct stat info {};
    if (!StatExisting(resolved, info)) {
        return INVALID_FILE_ATTRIBUTES;
    }
    if (S_ISDIR(info.st_mode)) {
        return FILE_ATTRIBUTE_DIRECTORY | (detail::IsReadOnly(info) ? FILE_ATTRIBUTE_READONLY : 0);
    }
    return detail::IsReadOnly(info) ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL;
}

// Copies a regular file to a target whose folder exists, whole or not at all.
BOOL CopyResolved(const ResolvedPath& source, const ResolvedPath& target, bool fail_if_exists) {
    struct stat info {};
    if (!StatExisting(source, info)) {
        return FALSE;
    }
    if (S_ISDIR(info.st_mode)) {
        return Fail(ERROR_ACCESS_DENIED);
    }
    if (!target.folder_exists) {
        return Fail(ERROR_PATH_NOT_FOUND);
    }
    struct stat target_info {};
    const bool target_exists = target.exists && stat(target.path.c_str(), &target_info) == 0;
    if (target_exists && fail_if_exists) {
        return Fail(ERROR_FILE_EXISTS);
    }
    if (target_exists && (S_ISDIR(target_info.st_mode) || detail::IsReadOnly(target_info))) {
        return Fail(ERROR_ACCESS_DENIED);
    }
    const int source_fd = open(source.path.c_str(), O_RDONLY | O_CLOEXEC);
    if (source_fd < 0) {
        return FailWithErrno(errno);
    }
    detail::AtomicFile copy;
    const bool copied = copy.Open(target.path) && copy.CopyFrom(source_fd) &&
                        copy.SetMode(info.st_mode & 07777) && copy.Commit(!fail_if_exists);
    close(source_fd);
    if (!copied) {
        return FALSE;
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL Copy(const std::string& existing, const std::string& target, BOOL fail_if_exists) {
    return CopyResolved(ResolvePath(existing), ResolvePath(target), fail_if_exists != FALSE);
}

BOOL Delete(const std::string& name) {
    const ResolvedPath resolved = ResolvePath(name);
    struct stat info {};
    if (!resolved.exists && resolved.folder_exists && lstat(resolved.path.c_str(), &info) == 0) {
        // A link whose target is gone is still an entry that can be deleted.
    } else if (!StatExisting(resolved, info)) {
        return FALSE;
    } else if (S_ISDIR(info.st_mode) || detail::IsReadOnly(info)) {
        return Fail(ERROR_ACCESS_DENIED);
    }
    if (unlink(resolved.path.c_str()) != 0) {
        return FailWithErrno(errno);
    }
    return TRUE;
}

bool SameEntry(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The last component of a path as the caller wrote it, in the folder that was found.
fs::path AsNamed(const ResolvedPath& resolved, const std::string& given) {
    std::string normalized = given;
    for (char& c : normalized) {
        if (c == '\\') {
            c = '/';
        }
    }
    const fs::path name = fs::path(normalized).lexically_normal().filename();
    return name.empty() ? resolved.path : resolved.path.parent_path() / name;
}

BOOL Move(const std::string& existing, const std::string& target, DWORD flags) {
    if ((flags & MOVEFILE_DELAY_UNTIL_REBOOT) != 0) {
        return Fail(ERROR_NOT_SUPPORTED);
    }
    const ResolvedPath source = ResolvePath(existing);
    struct stat source_info {};
    if (!source.exists || lstat(source.path.c_str(), &source_info) != 0) {
        return Fail(NotFoundError(source));
    }
    const ResolvedPath resolved_target = ResolvePath(target);
    if (!resolved_target.folder_exists) {
        return Fail(ERROR_PATH_NOT_FOUND);
    }
    fs::path destination = resolved_target.path;
    bool replace = (flags & MOVEFILE_REPLACE_EXISTING) != 0;
    struct stat target_info {};
    if (resolved_target.exists && lstat(resolved_target.path.c_str(), &target_info) == 0) {
        if (SameEntry(source_info, target_info)) {
            // The same entry under another spelling: a change of letter case only.
            destination = AsNamed(resolved_target, target);
            replace = true;
        } else if (!replace) {
            return Fail(ERROR_ALREADY_EXISTS);
        } else if (S_ISDIR(target_info.st_mode) || S_ISDIR(source_info.st_mode) ||
                   detail::IsReadOnly(target_info)) {
            return Fail(ERROR_ACCESS_DENIED);
        }
    }
    int result = 0;
    if (replace) {
        result = rename(source.path.c_str(), destination.c_str());
    } else {
        result = renameat2(AT_FDCWD, source.path.c_str(), AT_FDCWD, destination.c_str(),
                           RENAME_NOREPLACE);
        if (result != 0 && (errno == EINVAL || errno == ENOSYS)) {
            // No RENAME_NOREPLACE on this file system: check, then rename.
            struct stat info {};
            if (lstat(destination.c_str(), &info) == 0) {
                return Fail(ERROR_ALREADY_EXISTS);
            }
            result = rename(source.path.c_str(), destination.c_str());
        }
    }
    if (result != 0) {
        const int error = errno;
        if (error == EEXIST) {
            return Fail(ERROR_ALREADY_EXISTS);
        }
        if (error == EXDEV && (flags & MOVEFILE_COPY_ALLOWED) != 0 &&
            S_ISREG(source_info.st_mode)) {
            if (!CopyResolved(source, resolved_target, !replace)) {
                return FALSE;
            }
            if (unlink(source.path.c_str()) != 0) {
                return FailWithErrno(errno);
            }
            return TRUE;
        }
        return FailWithErrno(error);
    }
    if ((flags & MOVEFILE_WRITE_THROUGH) != 0) {
        detail::SyncFolder(destination.parent_path());
        detail::SyncFolder(source.path.parent_path());
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL MakeDirectory(const std::string& name) {
    const ResolvedPath resolved = ResolvePath(name);
    if (resolved.exists) {
        return Fail(ERROR_ALREADY_EXISTS);
    }
    if (!resolved.folder_exists) {
        return Fail(ERROR_PATH_NOT_FOUND);
    }
    if (mkdir(resolved.path.c_str(), 0777) != 0) {
        return Fail(errno == EEXIST ? ERROR_ALREADY_EXISTS : Win32ErrorFromErrno(errno));
    }
    return TRUE;
}

BOOL RemoveFolder(const std::string& name) {
    const ResolvedPath resolved = ResolvePath(name);
    struct stat info {};
    if (!StatExisting(resolved, info)) {
        return FALSE;
    }
    if (!S_ISDIR(info.st_mode)) {
        return Fail(ERROR_DIRECTORY);
    }
    if (rmdir(resolved.path.c_str()) != 0) {
        return Fail(errno == EEXIST ? ERROR_DIR_NOT_EMPTY : Win32ErrorFromErrno(errno));
    }
    return TRUE;
}

}  // namespace
}  // namespace tevo::win

using tevo::win::detail::Narrow;

extern "C" DWORD GetFileAttributesA(LPCSTR name) {
    return tevo::win::Attributes(Narrow(name));
}

extern "C" DWORD GetFileAttributesW(LPCWSTR name) {
    return tevo::win::Attributes(Narrow(name));
}

extern "C" BOOL CopyFileA(LPCSTR existing, LPCSTR target, BOOL fail_if_exists) {
    return tevo::win::Copy(Narrow(existing), Narrow(target), fail_if_exists);
}

extern "C" BOOL CopyFileW(LPCWSTR existing, LPCWSTR target, BOOL fail_if_exists) {
    return tevo::win::Copy(Narrow(existing), Narrow(target), fail_if_exists);
}

extern "C" BOOL DeleteFileA(LPCSTR name) {
    return tevo::win::Delete(Narrow(name));
}

extern "C" BOOL DeleteFileW(LPCWSTR name) {
    return tevo::win::Delete(Narrow(name));
}

extern "C" BOOL MoveFileExA(LPCSTR existing, LPCSTR target, DWORD flags) {
    return tevo::win::Move(Narrow(existing), Narrow(target), flags);
}

extern "C" BOOL MoveFileExW(LPCWSTR existing, LPCWSTR target, DWORD flags) {
    return tevo::win::Move(Narrow(existing), Narrow(target), flags);
}

extern "C" BOOL MoveFileA(LPCSTR existing, LPCSTR target) {
    return MoveFileExA(existing, target, MOVEFILE_COPY_ALLOWED);
}

extern "C" BOOL MoveFileW(LPCWSTR existing, LPCWSTR target) {
    return MoveFileExW(existing, target, MOVEFILE_COPY_ALLOWED);
}

extern "C" BOOL CreateDirectoryA(LPCSTR name, LPSECURITY_ATTRIBUTES /*attributes*/) {
    return tevo::win::MakeDirectory(Narrow(name));
}

extern "C" BOOL CreateDirectoryW(LPCWSTR name, LPSECURITY_ATTRIBUTES /*attributes*/) {
    return tevo::win::MakeDirectory(Narrow(name));
}

extern "C" BOOL RemoveDirectoryA(LPCSTR name) {
    return tevo::win::RemoveFolder(Narrow(name));
}

extern "C" BOOL RemoveDirectoryW(LPCWSTR name) {
    return tevo::win::RemoveFolder(Narrow(name));
}

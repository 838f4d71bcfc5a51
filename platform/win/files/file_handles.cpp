// File handles: CreateFile and the synchronous operations on an open file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string>

#include "file_support.h"

namespace tevo::win {
namespace {

namespace fs = std::filesystem;

// An open file (or, with FILE_FLAG_BACKUP_SEMANTICS, folder) in the handle table.
class FileObject final : public KernelObject {
  public:
    FileObject(int fd, fs::path path, bool delete_on_close)
        : fd_(fd), path_(std::move(path)), delete_on_close_(delete_on_close) {}
    ~FileObject() override {
        close(fd_);
        if (delete_on_close_) {
            unlink(path_.c_str());
        }
    }
    int fd() const { return fd_; }

  private:
    int fd_;
    fs::path path_;
    bool delete_on_close_;
};

std::shared_ptr<FileObject> FindFile(HANDLE handle) {
    auto file = FindHandleAs<FileObject>(handle);
    if (file == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
    }
    return file;
}

// Errors of read and write on a handle opened without that access are access errors.
DWORD IoError(int error) {
    if (error == EBADF) {
        return ERROR_ACCESS_DENIED;
    }
    if (error == EISDIR) {
        return ERROR_INVALID_FUNCTION;
    }
    return Win32ErrorFromErrno(error);
}

HANDLE Open(const std::string& name, DWORD access, DWORD disposition, DWORD flags) {
    if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const bool read = (access & (GENERIC_READ | GENERIC_ALL | FILE_READ_DATA)) != 0;
    const bool write =
        (access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA)) != 0;
    if (disposition == TRUNCATE_EXISTING && !write) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const ResolvedPath resolved = ResolvePath(name);
    if (!resolved.folder_exists) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    struct stat info {};
    const bool exists = resolved.exists && stat(resolved.path.c_str(), &info) == 0;
    int open_flags = O_CLOEXEC | (read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY);
    if ((flags & FILE_FLAG_WRITE_THROUGH) != 0) {
        open_flags |= O_DSYNC;
    }
    // Append-only access (FILE_APPEND_DATA without write access): every write lands at
    // the end of the file in one step, also against writers in other processes.
    if ((access & FILE_APPEND_DATA) != 0 &&
        (access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA)) == 0) {
        open_flags |= O_APPEND;
    }
    if (exists) {
        if (disposition == CREATE_NEW) {
            SetLastError(ERROR_FILE_EXISTS);
            return INVALID_HANDLE_VALUE;
        }
        if (S_ISDIR(info.st_mode)) {
            const bool opens_folder = (flags & FILE_FLAG_BACKUP_SEMANTICS) != 0 && !write &&
                                      (disposition == OPEN_EXISTING || disposition == OPEN_ALWAYS);
            if (!opens_folder) {
                SetLastError(ERROR_ACCESS_DENIED);
                return INVALID_HANDLE_VALUE;
            }
            open_flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
        } else if (write && detail::IsReadOnly(info)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
        if (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING) {
            open_flags |= O_TRUNC;
        }
    } else {
        if (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        open_flags |= O_CREAT | O_EXCL;
    }
    const mode_t mode = (flags & FILE_ATTRIBUTE_READONLY) != 0 ? 0444 : 0666;
    const int fd = open(resolved.path.c_str(), open_flags, mode);
    if (fd < 0) {
        const int error = errno;
        SetLastError(error == EEXIST ? ERROR_FILE_EXISTS : Win32ErrorFromErrno(error));
        return INVALID_HANDLE_VALUE;
    }
    const HANDLE handle = RegisterHandle(
        std::make_shared<FileObject>(fd, resolved.path, (flags & FILE_FLAG_DELETE_ON_CLOSE) != 0));
    const bool reports_existing = disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS;
    SetLastError(exists && reports_existing ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

}  // namespace
}  // namespace tevo::win

using tevo::win::detail::Fail;
using tevo::win::detail::Narrow;

extern "C" HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD /*share_mode*/,
                              LPSECURITY_ATTRIBUTES /*attributes*/, DWORD disposition,
                              DWORD flags_and_attributes, HANDLE /*template_file*/) {
    if (name == nullptr || *name == '\0') {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    return tevo::win::Open(name, access, disposition, flags_and_attributes);
}

extern "C" HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD /*share_mode*/,
                              LPSECURITY_ATTRIBUTES /*attributes*/, DWORD disposition,
                              DWORD flags_and_attributes, HANDLE /*template_file*/) {
    if (name == nullptr || *name == L'\0') {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    return tevo::win::Open(Narrow(name), access, disposition, flags_and_attributes);
}

extern "C" BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytes_to_read, LPDWORD bytes_read,
                         LPOVERLAPPED overlapped) {
    if (bytes_read != nullptr) {
        *bytes_read = 0;
    }
    const auto object = tevo::win::FindFile(file);
    if (object == nullptr) {
        return FALSE;
    }
    if (overlapped != nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (buffer == nullptr && bytes_to_read > 0) {
        return Fail(ERROR_NOACCESS);
    }
    DWORD total = 0;
    while (total < bytes_to_read) {
        const ssize_t n =
            read(object->fd(), static_cast<char*>(buffer) + total, bytes_to_read - total);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return Fail(tevo::win::IoError(errno));
        }
        if (n == 0) {
            break;
        }
        total += static_cast<DWORD>(n);
        if (bytes_read != nullptr) {
            *bytes_read = total;
        }
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

extern "C" BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytes_to_write, LPDWORD bytes_written,
                          LPOVERLAPPED overlapped) {
    if (bytes_written != nullptr) {
        *bytes_written = 0;
    }
    const auto object = tevo::win::FindFile(file);
    if (object == nullptr) {
        return FALSE;
    }
    if (overlapped != nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (buffer == nullptr && bytes_to_write > 0) {
        return Fail(ERROR_NOACCESS);
    }
    DWORD total = 0;
    while (total < bytes_to_write) {
        const ssize_t n =
            write(object->fd(), static_cast<const char*>(buffer) + total, bytes_to_write - total);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return Fail(n == 0 ? ERROR_WRITE_FAULT : tevo::win::IoError(errno));
        }
        total += static_cast<DWORD>(n);
        if (bytes_written != nullptr) {
            *bytes_written = total;
        }
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

extern "C" BOOL FlushFileBuffers(HANDLE file) {
    const auto object = tevo::win::FindFile(file);
    if (object == nullptr) {
        return FALSE;
    }
    if (fsync(object->fd()) != 0) {
        return Fail(tevo::win::IoError(errno));
    }
    return TRUE;
}

extern "C" DWORD GetFileSize(HANDLE file, LPDWORD size_high) {
    const auto object = tevo::win::FindFile(file);
    if (object == nullptr) {
        return INVALID_FILE_SIZE;
    }
    struct stat info {};
    if (fstat(object->fd(), &info) != 0) {
        SetLastError(tevo::win::Win32ErrorFromErrno(errno));
        return INVALID_FILE_SIZE;
    }
    const auto size = static_cast<std::uint64_t>(info.st_size);
    if (size_high != nullptr) {
        *size_high = static_cast<DWORD>(size >> 32);
    }
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(size & 0xFFFFFFFFu);
}

extern "C" DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distance_high, DWORD method) {
    const auto object = tevo::win::FindFile(file);
    if (object == nullptr) {
        return INVALID_SET_FILE_POINTER;
    }
    int whence = SEEK_SET;
    switch (method) {
        case FILE_BEGIN:
            whence = SEEK_SET;
            break;
        case FILE_CURRENT:
            whence = SEEK_CUR;
            break;
        case FILE_END:
            whence = SEEK_END;
            break;
        default:
            SetLastError(ERROR_INVALID_PARAMETER);
            return INVALID_SET_FILE_POINTER;
    }
    // Without a high part the distance is a signed 32-bit number; with one, the two form a
    // signed 64-bit number.
    const std::int64_t offset =
        distance_high == nullptr
            ? static_cast<std::int64_t>(distance)
            : static_cast<std::int64_t>(
                  (static_cast<std::uint64_t>(static_cast<std::uint32_t>(*distance_high)) << 32) |
                  static_cast<std::uint32_t>(distance));
    const off_t position = lseek(object->fd(), offset, whence);
    if (position < 0) {
        SetLastError(errno == EINVAL ? ERROR_NEGATIVE_SEEK : tevo::win::IoError(errno));
        return INVALID_SET_FILE_POINTER;
    }
    const auto unsigned_position = static_cast<std::uint64_t>(position);
    if (distance_high != nullptr) {
        *distance_high = static_cast<LONG>(static_cast<std::uint32_t>(unsigned_position >> 32));
    }
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(unsigned_position & 0xFFFFFFFFu);
}

extern "C" BOOL SetEndOfFile(HANDLE file) {
    const auto object = tevo::win::FindFile(file);
    if (object == nullptr) {
        return FALSE;
    }
    const off_t position = lseek(object->fd(), 0, SEEK_CUR);
    if (position < 0 || ftruncate(object->fd(), position) != 0) {
        return Fail(tevo::win::IoError(errno));
    }
    return TRUE;
}

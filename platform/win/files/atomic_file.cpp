// Files that appear whole or not at all, and WriteFileAtomically on top of them.
#include "atomic_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <random>
#include <string>

#include "file_support.h"

namespace tevo::win::detail {
namespace {

namespace fs = std::filesystem;

fs::path FolderOf(const fs::path& target) {
    return target.has_parent_path() ? target.parent_path() : fs::path(".");
}

// A name for a temporary file beside the target that no other writer picks at the same
// time: the target's name, the process id and a random part.
fs::path TemporaryName(const fs::path& target) {
    static std::atomic<unsigned> counter{0};
    thread_local std::mt19937 random(std::random_device{}());
    const std::string name = "." + target.filename().string() + "." + std::to_string(getpid()) +
                             "-" + std::to_string(counter++) + "-" +
                             std::to_string(random() & 0xFFFFFF) + ".tmp";
    return FolderOf(target) / name;
}

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            FailWithErrno(errno);
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::string ProcFdPath(int fd) {
    return "/proc/self/fd/" + std::to_string(fd);
}

}  // namespace

void SyncFolder(const fs::path& folder) {
    const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

AtomicFile::~AtomicFile() {
    if (fd_ >= 0) {
        close(fd_);
    }
    if (!named_temp_.empty()) {
        unlink(named_temp_.c_str());
    }
}

bool AtomicFile::Open(const fs::path& target) {
    target_ = target;
    const fs::path folder = FolderOf(target);
    // An unnamed file vanishes by itself if the process dies; it needs /proc to be given a
    // name later.
    if (access("/proc/self/fd", X_OK) == 0) {
        fd_ = open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (fd_ >= 0) {
            return true;
        }
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path name = TemporaryName(target);
        fd_ = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ >= 0) {
            named_temp_ = name;
            return true;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    FailWithErrno(errno);
    return false;
}

bool AtomicFile::Write(const void* data, std::size_t size) {
    return WriteAll(fd_, static_cast<const char*>(data), size);
}

bool AtomicFile::CopyFrom(int source_fd) {
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(source_fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            FailWithErrno(errno);
            return false;
        }
        if (n == 0) {
            return true;
        }
        if (!WriteAll(fd_, buffer, static_cast<std::size_t>(n))) {
            return false;
        }
    }
}

bool AtomicFile::SetMode(mode_t mode) {
    if (fchmod(fd_, mode) != 0) {
        FailWithErrno(errno);
        return false;
    }
    return true;
}

bool AtomicFile::Commit(bool replace) {
    if (fsync(fd_) != 0) {
        FailWithErrno(errno);
        return false;
    }
    if (!Publish(replace)) {
        return false;
    }
    close(fd_);
    fd_ = -1;
    SyncFolder(FolderOf(target_));
    return true;
}

bool AtomicFile::Publish(bool replace) {
    if (named_temp_.empty()) {
        const std::string self = ProcFdPath(fd_);
        if (!replace) {
            if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, target_.c_str(), AT_SYMLINK_FOLLOW) != 0) {
                FailWithErrno(errno);
                return false;
            }
            return true;
        }
        // A link cannot replace a file: give the file a temporary name, then rename that.
        for (int attempt = 0; attempt < 100 && named_temp_.empty(); ++attempt) {
            const fs::path name = TemporaryName(target_);
            if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
                named_temp_ = name;
            } else if (errno != EEXIST) {
                FailWithErrno(errno);
                return false;
            }
        }
        if (named_temp_.empty()) {
            FailWithErrno(EEXIST);
            return false;
        }
    }
    if (replace) {
        if (rename(named_temp_.c_str(), target_.c_str()) != 0) {
            FailWithErrno(errno);
            return false;
        }
    } else if (renameat2(AT_FDCWD, named_temp_.c_str(), AT_FDCWD, target_.c_str(),
                         RENAME_NOREPLACE) != 0) {
        if (errno != EINVAL && errno != ENOSYS) {
            FailWithErrno(errno);
            return false;
        }
        // File systems without RENAME_NOREPLACE: a link fails just as atomically.
        if (link(named_temp_.c_str(), target_.c_str()) != 0) {
            FailWithErrno(errno);
            return false;
        }
        unlink(named_temp_.c_str());
    }
    named_temp_.clear();
    return true;
}

}  // namespace tevo::win::detail

namespace tevo::win {

bool WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes) {
    const ResolvedPath resolved = ResolvePath(path.string());
    if (!resolved.folder_exists) {
        detail::Fail(ERROR_PATH_NOT_FOUND);
        return false;
    }
    struct stat existing {};
    const bool exists = resolved.exists && stat(resolved.path.c_str(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode)) {
        detail::Fail(ERROR_ACCESS_DENIED);
        return false;
    }
    detail::AtomicFile file;
    if (!file.Open(resolved.path) || !file.Write(bytes.data(), bytes.size()) ||
        (exists && !file.SetMode(existing.st_mode & 07777)) || !file.Commit(true)) {
        return false;
    }
    SetLastError(ERROR_SUCCESS);
    return true;
}

}  // namespace tevo::win

// A new file that appears at its target path whole or not at all (not a public header).
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <filesystem>

namespace tevo::win::detail {

// Collects the content in a temporary file in the target's folder; Commit flushes it to
// disk and puts it in place with one rename or link. Without Commit, nothing appears and the
// temporary file is removed. The temporary file has no name at all while it is written
// where the file system allows it, so that a process killed while writing leaves nothing
// behind. Failures set the last error.
class AtomicFile {
  public:
    AtomicFile() = default;
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // The target's folder must exist. The new file gets the usual permissions (0666 less
    // the umask) unless SetMode changes them.
    bool Open(const std::filesystem::path& target);
    bool Write(const void* data, std::size_t size);
    // Copies the rest of an open file descriptor.
    bool CopyFrom(int source_fd);
    bool SetMode(mode_t mode);
    // replace: the target is replaced if it exists; otherwise an existing target fails with
    // ERROR_FILE_EXISTS and stays as it is.
    bool Commit(bool replace);

  private:
    bool Publish(bool replace);

    std::filesystem::path target_;
    std::filesystem::path named_temp_;  // empty while the temporary file has no name
    int fd_ = -1;
};

}  // namespace tevo::win::detail

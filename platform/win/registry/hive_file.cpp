#include "hive_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "regedit_text.h"
#include "tevo/win/registry.h"
#include "tevo/win/sysroot.h"
#include "tevo/win/winerror.h"

namespace tevo::win::registry {

namespace {

constexpr std::string_view kFormatLine = "; Hive format 2: the last line is \"; End of hive\".";
constexpr std::string_view kEndLine = "; End of hive";

// The damage found last by this thread's ReadHive or ChangeHive.
thread_local std::string last_damage;

const char* HiveFileName(Hive hive) {
    return hive == Hive::LocalMachine ? "HKLM.reg" : "HKCU.reg";
}

// An open file descriptor, closed on destruction.
class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Closes now and reports whether the close succeeded.
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

  private:
    int fd_;
};

// Holds a flock on the hive's lock file for its lifetime (released when the descriptor
// closes, also when the process dies).
class HiveLock {
  public:
    HiveLock(const std::filesystem::path& hive_path, bool exclusive)
        : fd_(::open((hive_path.string() + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666)) {
        if (!fd_.valid()) {
            return;
        }
        int rc = 0;
        do {
            rc = ::flock(fd_.get(), exclusive ? LOCK_EX : LOCK_SH);
        } while (rc != 0 && errno == EINTR);
        locked_ = rc == 0;
    }
    bool locked() const { return locked_; }
    int fd() const { return fd_.get(); }

  private:
    Descriptor fd_;
    bool locked_ = false;
};

// The hive's change count, kept in the first bytes of its lock file: every write of the
// hive by this library adds one, under the exclusive lock. 0 for a new lock file.
uint64_t ReadGeneration(const HiveLock& lock) {
    uint64_t generation = 0;
    if (::pread(lock.fd(), &generation, sizeof generation, 0) !=
        static_cast<ssize_t>(sizeof generation)) {
        return 0;
    }
    return generation;
}

void BumpGeneration(const HiveLock& lock) {
    const uint64_t next = ReadGeneration(lock) + 1;
    (void)!::pwrite(lock.fd(), &next, sizeof next, 0);
}

// What identifies one version of a hive file: the library's change count and the file's
// identity, size and time of change (the latter catch a file replaced by other means).
struct HiveVersion {
    uint64_t generation = 0;
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};

    bool operator==(const HiveVersion& other) const {
        return generation == other.generation && exists == other.exists && device == other.device &&
               inode == other.inode && size == other.size &&
               modified.tv_sec == other.modified.tv_sec &&
               modified.tv_nsec == other.modified.tv_nsec;
    }
};

// Under the hive's lock (shared or exclusive).
HiveVersion CurrentVersion(const HiveLock& lock, const std::filesystem::path& path) {
    HiveVersion version;
    version.generation = ReadGeneration(lock);
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0) {
        version.exists = true;
        version.device = status.st_dev;
        version.inode = status.st_ino;
        version.size = status.st_size;
        version.modified = status.st_mtim;
    }
    return version;
}

// The last hive read or written by this process, per hive file, so that the many reads of
// an unchanged hive (every open and query of a key reads it) parse it once.
struct CachedHive {
    std::filesystem::path path;
    HiveVersion version;
    std::shared_ptr<const Key> root;
};

class HiveCache {
  public:
    std::shared_ptr<const Key> Find(Hive hive, const std::filesystem::path& path,
                                    const HiveVersion& version) {
        std::lock_guard<std::mutex> lock(mutex_);
        const CachedHive& entry = entries_[Index(hive)];
        if (entry.root && entry.path == path && entry.version == version) {
            return entry.root;
        }
        return nullptr;
    }
    void Store(Hive hive, std::filesystem::path path, const HiveVersion& version,
               std::shared_ptr<const Key> root) {
        std::lock_guard<std::mutex> lock(mutex_);
        entries_[Index(hive)] = CachedHive{std::move(path), version, std::move(root)};
    }

  private:
    static size_t Index(Hive hive) { return hive == Hive::LocalMachine ? 0 : 1; }
    std::mutex mutex_;
    CachedHive entries_[2];
};

HiveCache& Cache() {
    static HiveCache cache;
    return cache;
}

bool WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// Reads the hive file; a missing file reads as empty. Anything but a regular file (a
// device that never ends, a pipe) is damage: ERROR_BADDB with the reason in `problem`.
// O_NONBLOCK keeps the open of a pipe from waiting for a writer; regular files ignore it.
LONG ReadFileText(const std::filesystem::path& path, std::string* text, bool* exists,
                  std::string* problem) {
    text->clear();
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!fd.valid()) {
        *exists = false;
        return errno == ENOENT ? ERROR_SUCCESS : ERROR_REGISTRY_IO_FAILED;
    }
    *exists = true;
    struct stat status {};
    if (::fstat(fd.get(), &status) != 0) {
        return ERROR_REGISTRY_IO_FAILED;
    }
    if (!S_ISREG(status.st_mode)) {
        *problem = path.string() + ": not a regular file";
        return ERROR_BADDB;
    }
    char buffer[65536];
    while (true) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return ERROR_REGISTRY_IO_FAILED;
        }
        if (n == 0) {
            return ERROR_SUCCESS;
        }
        text->append(buffer, static_cast<size_t>(n));
    }
}

// Writes the hive next to the old one, flushes it to disk and renames it over the old one,
// so that the hive file is always either the old or the new hive, complete.
LONG ReplaceFile(const std::filesystem::path& path, const std::string& text) {
    const std::string temporary = path.string() + ".new";
    {
        Descriptor fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
        if (!fd.valid()) {
            return ERROR_CANTWRITE;
        }
        if (!WriteAll(fd.get(), text) || ::fsync(fd.get()) != 0 || !fd.Close()) {
            ::unlink(temporary.c_str());
            return ERROR_CANTWRITE;
        }
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return ERROR_CANTWRITE;
    }
    return ERROR_SUCCESS;
}

// The header of this format: the REGEDIT4 line and the format line.
std::string FormatHeader() {
    std::string header(kRegeditHeader);
    header += '\n';
    header += kFormatLine;
    header += '\n';
    return header;
}

std::string FormatHive(Hive hive, const Key& root) {
    std::string text = FormatHeader();
    text += '\n';
    AppendRegeditSections(root, HiveRootName(hive), false, &text);
    text += kEndLine;
    text += '\n';
    return text;
}

// The number of the line at which the text stops: the line after its last line break
// (the one that is cut, or the one that is missing).
size_t EndingLine(std::string_view text) {
    size_t breaks = 0;
    for (const char c : text) {
        breaks += c == '\n' ? 1 : 0;
    }
    return breaks + 1;
}

// Reads and parses the hive file. On damage, records it for LastHiveDamage.
LONG LoadHive(Hive hive, const std::filesystem::path& path, Key* root, bool* exists) {
    std::string text;
    std::string problem;
    LONG status = ReadFileText(path, &text, exists, &problem);
    if (status == ERROR_SUCCESS && *exists) {
        status = ParseHive(hive, text, root, &problem);
        if (status == ERROR_BADDB) {
            problem = path.string() + ", " + problem;
        }
    }
    if (status == ERROR_BADDB) {
        last_damage = problem;
    }
    return status;
}

}  // namespace

const char* HiveRootName(Hive hive) {
    return hive == Hive::LocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

std::filesystem::path HiveFilePath(Hive hive) {
    return RegistryDirectory() / HiveFileName(hive);
}

bool HasHiveHeader(std::string_view text) {
    const std::string header = FormatHeader();
    return text.substr(0, header.size()) == header;
}

bool CheckHiveEnd(std::string_view text, std::string* error) {
    const std::string header = FormatHeader();
    const bool whole_header = HasHiveHeader(text);
    const bool cut_header = !whole_header && header.substr(0, text.size()) == text;
    if (!whole_header && !cut_header) {
        return true;  // an earlier version's hive, or text written by people
    }
    const std::string end = '\n' + std::string(kEndLine) + '\n';
    if (whole_header && text.size() >= header.size() + end.size() - 1 &&
        text.substr(text.size() - end.size()) == end) {
        return true;
    }
    if (error != nullptr) {
        *error =
            "line " + std::to_string(EndingLine(text)) + ": the hive ends without its end marker";
    }
    return false;
}

LONG ParseHive(Hive hive, std::string_view text, Key* root, std::string* error) {
    root->ClearValues();
    root->ClearSubkeys();
    if (!CheckHiveEnd(text, error)) {
        return ERROR_BADDB;
    }
    const std::string root_name = FoldName(HiveRootName(hive));
    Key* key = nullptr;
    RegeditHandler handler;
    handler.section = [&](std::vector<std::string>& path, bool remove, size_t /*line*/) {
        if (remove || FoldName(path.front()) != root_name) {
            return false;
        }
        key = root;
        for (size_t i = 1; i < path.size(); ++i) {
            key = key->AddSubkey(path[i]);
        }
        return true;
    };
    handler.value = [&](TextValue& value) {
        if (value.remove) {
            return false;
        }
        key->SetValue(value.name, value.type, std::move(value.data));
        return true;
    };
    return ParseRegedit(text, handler, error) ? ERROR_SUCCESS : ERROR_BADDB;
}

LONG ReadHive(Hive hive, Key* root) {
    const std::filesystem::path path = HiveFilePath(hive);
    HiveLock lock(path, false);
    if (!lock.locked()) {
        return ERROR_REGISTRY_IO_FAILED;
    }
    bool exists = false;
    const LONG status = LoadHive(hive, path, root, &exists);
    if (status == ERROR_SUCCESS && !exists) {
        root->ClearValues();
        root->ClearSubkeys();
    }
    return status;
}

LONG ReadHiveSnapshot(Hive hive, std::shared_ptr<const Key>* root) {
    const std::filesystem::path path = HiveFilePath(hive);
    HiveLock lock(path, false);
    if (!lock.locked()) {
        return ERROR_REGISTRY_IO_FAILED;
    }
    const HiveVersion version = CurrentVersion(lock, path);
    if (std::shared_ptr<const Key> cached = Cache().Find(hive, path, version)) {
        *root = std::move(cached);
        return ERROR_SUCCESS;
    }
    auto loaded = std::make_shared<Key>();
    bool exists = false;
    const LONG status = LoadHive(hive, path, loaded.get(), &exists);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (!exists) {
        loaded->ClearValues();
        loaded->ClearSubkeys();
    }
    Cache().Store(hive, path, version, loaded);
    *root = std::move(loaded);
    return ERROR_SUCCESS;
}

LONG ChangeHive(Hive hive, const std::function<LONG(Key& root, bool& changed)>& change) {
    const std::filesystem::path path = HiveFilePath(hive);
    HiveLock lock(path, true);
    if (!lock.locked()) {
        return ERROR_REGISTRY_IO_FAILED;
    }
    auto root = std::make_shared<Key>();
    bool exists = false;
    LONG status = LoadHive(hive, path, root.get(), &exists);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    bool changed = false;
    status = change(*root, changed);
    if (status != ERROR_SUCCESS || !changed) {
        return status;
    }
    status = ReplaceFile(path, FormatHive(hive, *root));
    BumpGeneration(lock);
    if (status == ERROR_SUCCESS) {
        // The tree just written is the hive now: the next read needs no parse.
        Cache().Store(hive, path, CurrentVersion(lock, path), std::move(root));
    }
    return status;
}

const std::string& LastHiveDamage() {
    return last_damage;
}

}  // namespace tevo::win::registry

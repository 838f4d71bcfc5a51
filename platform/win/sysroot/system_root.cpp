// Choosing the system root and setting up a new one: its folders, then the registered
// set-up steps, once per root across all processes.
#include <dlfcn.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tevo/win/sysroot.h"

namespace tevo::win {
namespace {

namespace fs = std::filesystem;

constexpr const char* kLockFileName = ".setup.lock";
constexpr const char* kDoneFileName = ".setup.done";
// The platform library (this one) whose installation ran the set-up steps.
constexpr const char* kPlatformFileName = ".setup.platform";

struct SetupSteps {
    std::mutex mutex;
    std::vector<std::pair<std::string, SystemRootSetupStep>> steps;
    // For each root set up by this process: how many of the registered steps it has seen.
    // A forked child is a process of its own and starts afresh.
    std::map<std::string, std::size_t> seen;
    pid_t seen_by = 0;
};

SetupSteps& Steps() {
    static auto* steps = new SetupSteps;  // never destroyed: roots may be used during exit
    return *steps;
}

// Serialises set-up within the process; the file lock serialises it between processes.
std::mutex& SetupMutex() {
    static auto* mutex = new std::mutex;
    return *mutex;
}

// The root that the calling thread is setting up, so that steps may use it.
thread_local const fs::path* t_root_in_setup = nullptr;

std::string NonEmptyVariable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

fs::path HomeDirectory() {
    std::string home = NonEmptyVariable("HOME");
    if (!home.empty()) {
        return home;
    }
    passwd entry{};
    passwd* result = nullptr;
    std::vector<char> buffer(16384);
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 &&
        result != nullptr && result->pw_dir != nullptr) {
        return result->pw_dir;
    }
    return "/";
}

fs::path ChooseRoot() {
    fs::path root;
    const std::string chosen = NonEmptyVariable("TEVO_SYSTEM_ROOT");
    if (!chosen.empty()) {
        root = chosen;
    } else {
        // The XDG base directory rules ignore a relative XDG_DATA_HOME.
        const fs::path data_home = NonEmptyVariable("XDG_DATA_HOME");
        root = (data_home.is_absolute() ? data_home : HomeDirectory() / ".local" / "share") /
               "tevo" / "system";
    }
    std::error_code error;
    fs::path absolute = fs::absolute(root, error);
    if (error) {
        absolute = root;
    }
    absolute = absolute.lexically_normal();
    if (!absolute.has_filename() && absolute.has_relative_path()) {
        absolute = absolute.parent_path();  // no trailing separator
    }
    return absolute;
}

void CreateFolders(const fs::path& root) {
    std::error_code error;
    for (const char* folder :
         {"Windows/Help", "Windows/System32", "Windows/Temp", "ProgramData/IVI Foundation/IVI",
          "registry", "Documents and Settings/All Users"}) {
        fs::create_directories(root / folder, error);
    }
    const fs::path old_name = root / "Documents and Settings" / "All Users" / "Application Data";
    struct stat info {};
    if (lstat(old_name.c_str(), &info) != 0) {
        fs::create_directory_symlink("../../ProgramData", old_name, error);
    }
}

// The full path of this library's file; empty when it cannot be found.
std::string PlatformLibraryPath() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<const void*>(&PlatformLibraryPath), &info) == 0 ||
        info.dli_fname == nullptr) {
        return {};
    }
    std::error_code error;
    const fs::path path = fs::weakly_canonical(fs::absolute(info.dli_fname, error), error);
    return error ? std::string() : path.string();
}

// Whether the root must be set up again by the installation in use: the steps registered
// components and type libraries of the installation that ran them, and a root that still
// points at its removed files would leave every client without them. When that
// installation still exists, the root stays as it is. A root set up without a record of
// its installation (by an older platform) is set up again once; every step can run again.
bool SetUpByARemovedInstallation(const fs::path& root, const std::set<std::string>& done,
                                 const std::string& current) {
    std::ifstream in(root / kPlatformFileName);
    std::string recorded;
    if (!std::getline(in, recorded) || recorded.empty()) {
        return !done.empty();
    }
    if (recorded == current) {
        return false;
    }
    std::error_code error;
    return !fs::exists(recorded, error) && !error;
}

void RecordPlatform(const fs::path& root, const std::string& current) {
    if (current.empty()) {
        return;
    }
    std::ofstream out(root / kPlatformFileName, std::ios::trunc);
    out << current << "\n";
}

std::set<std::string> ReadDoneSteps(const fs::path& file) {
    std::set<std::string> done;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        done.insert(line);
    }
    return done;
}

// Appends one line with a single write, then makes it durable.
void RecordDone(int fd, const std::string& name) {
    const std::string line = name + "\n";
    std::size_t written = 0;
    while (written < line.size()) {
        const ssize_t n = write(fd, line.data() + written, line.size() - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;
        }
        written += static_cast<std::size_t>(n);
    }
    fsync(fd);
}

bool IsKnownSetUp(const fs::path& root, std::size_t& registered) {
    SetupSteps& steps = Steps();
    const std::lock_guard<std::mutex> guard(steps.mutex);
    registered = steps.steps.size();
    if (steps.seen_by != getpid()) {
        steps.seen.clear();
        steps.seen_by = getpid();
    }
    const auto found = steps.seen.find(root.string());
    if (found == steps.seen.end() || found->second != registered) {
        return false;
    }
    // A root that was removed while the process ran is set up again.
    struct stat info {};
    return stat((root / kDoneFileName).c_str(), &info) == 0;
}

class FileLock {
  public:
    explicit FileLock(const fs::path& file)
        : fd_(open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666)) {
        if (fd_ < 0) {
            return;
        }
        while (flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR) {
                close(fd_);
                fd_ = -1;
                return;
            }
        }
    }
    ~FileLock() {
        if (fd_ >= 0) {
            flock(fd_, LOCK_UN);
            close(fd_);
        }
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool locked() const { return fd_ >= 0; }

  private:
    int fd_;
};

void RunStep(const fs::path& root, const std::string& name, const SystemRootSetupStep& step,
             int done_fd) {
    struct InSetup {
        explicit InSetup(const fs::path* root) { t_root_in_setup = root; }
        ~InSetup() { t_root_in_setup = nullptr; }
        InSetup(const InSetup&) = delete;
        InSetup& operator=(const InSetup&) = delete;
    } in_setup(&root);
    try {
        step(root);
    } catch (const std::exception& e) {
        std::cerr << "tevo: set-up step \"" << name << "\" failed for the system root " << root
                  << ": " << e.what() << "\n";
        return;
    } catch (...) {
        std::cerr << "tevo: set-up step \"" << name << "\" failed for the system root " << root
                  << "\n";
        return;
    }
    RecordDone(done_fd, name);
}

void EnsureSetUp(const fs::path& root) {
    if (t_root_in_setup != nullptr && *t_root_in_setup == root) {
        return;  // a set-up step of this root uses it
    }
    std::size_t registered = 0;
    if (IsKnownSetUp(root, registered)) {
        return;
    }
    const std::lock_guard<std::mutex> setup_guard(SetupMutex());
    if (IsKnownSetUp(root, registered)) {
        return;  // another thread has just done it
    }
    std::error_code error;
    fs::create_directories(root, error);
    const FileLock lock(root / kLockFileName);
    if (!lock.locked()) {
        return;
    }
    CreateFolders(root);
    const fs::path done_file = root / kDoneFileName;
    const std::string platform = PlatformLibraryPath();
    std::set<std::string> done = ReadDoneSteps(done_file);
    const bool redo = SetUpByARemovedInstallation(root, done, platform);
    if (redo) {
        done.clear();
    }
    const int done_fd = open(
        done_file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | (redo ? O_TRUNC : 0), 0666);
    if (done_fd < 0) {
        return;
    }
    std::vector<std::pair<std::string, SystemRootSetupStep>> steps;
    {
        const std::lock_guard<std::mutex> guard(Steps().mutex);
        steps = Steps().steps;
    }
    for (const auto& [name, step] : steps) {
        if (done.count(name) == 0) {
            RunStep(root, name, step, done_fd);
        }
    }
    close(done_fd);
    if (redo || done.empty()) {
        RecordPlatform(root, platform);
    }
    const std::lock_guard<std::mutex> guard(Steps().mutex);
    Steps().seen[root.string()] = steps.size();
}

}  // namespace

fs::path SystemRoot() {
    fs::path root = ChooseRoot();
    EnsureSetUp(root);
    return root;
}

fs::path WindowsDirectory() {
    return SystemRoot() / "Windows";
}

fs::path WindowsHelpDirectory() {
    return WindowsDirectory() / "Help";
}

fs::path SystemDirectory() {
    return WindowsDirectory() / "System32";
}

fs::path TempDirectory() {
    return WindowsDirectory() / "Temp";
}

fs::path AllUsersDataDirectory() {
    return SystemRoot() / "ProgramData";
}

fs::path IviDataDirectory() {
    return AllUsersDataDirectory() / "IVI Foundation" / "IVI";
}

fs::path RegistryDirectory() {
    return SystemRoot() / "registry";
}

bool AddSystemRootSetupStep(const std::string& name, SystemRootSetupStep step) {
    if (name.empty() || name.find_first_of("\r\n") != std::string::npos || !step) {
        return false;
    }
    SetupSteps& steps = Steps();
    const std::lock_guard<std::mutex> guard(steps.mutex);
    for (const auto& registered : steps.steps) {
        if (registered.first == name) {
            return false;
        }
    }
    steps.steps.emplace_back(name, std::move(step));
    return true;
}

}  // namespace tevo::win

// Temporary folders for tests: created empty, removed with everything in them.
#pragma once

#include <filesystem>
#include <string>

namespace tevo::testing {

// A fresh, empty folder under the machine's temporary directory, removed on destruction.
class TempDir {
public:
    explicit TempDir(const std::string& prefix = "tevo-test");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Writes bytes to a file, creating its folders; returns the path.
std::filesystem::path WriteFile(const std::filesystem::path& path, const std::string& bytes);
// Reads a whole file as bytes; empty when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);

// The system root that the running test was given (the value of TEVO_SYSTEM_ROOT).
std::filesystem::path CurrentSystemRoot();

}  // namespace tevo::testing

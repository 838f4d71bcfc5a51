// The error the resource compiler reports for a bad script or message file: the file and
// line it was found at, and what is wrong there.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>

namespace tevo::rc {

class CompileError : public std::runtime_error {
  public:
    CompileError(std::filesystem::path file, int line, const std::string& message)
        : std::runtime_error(file.string() + ":" + std::to_string(line) + ": error: " + message),
          file_(std::move(file)),
          line_(line) {}

    const std::filesystem::path& file() const { return file_; }
    int line() const { return line_; }

  private:
    std::filesystem::path file_;
    int line_;
};

}  // namespace tevo::rc

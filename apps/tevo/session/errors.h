// The failures a command reports, each with the exit status scripts rely on: a driver or
// instrument error (1) carries the driver's own description, a usage error (2) says what
// is wrong with the command line.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "tevo/com/unknown.h"

namespace tevo::cli {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitDriverError = 1;
inline constexpr int kExitUsageError = 2;

class DriverError : public std::runtime_error {
  public:
    DriverError(const std::string& message, HRESULT hr) : std::runtime_error(message), hr_(hr) {}
    HRESULT hr() const { return hr_; }

  private:
    HRESULT hr_;
};

class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// "0x80040260"
std::string HresultText(HRESULT hr);

// The description of the calling thread's error object (taking it), or empty.
std::string TakeErrorDescription();

// Throws DriverError for a failed HRESULT: "<what>: <the driver's description>", or the
// HRESULT when the driver left no description.
void Check(HRESULT hr, std::string_view what);

}  // namespace tevo::cli

// A driver session against the analyzer emulator for the fault tests: the driver reached
// only through its COM interfaces, the emulator's settings known, and the exact messages
// it received since the last look.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "session/error_codes.h"
#include "testing/driver_test_support.h"

namespace tevo::reliability {

using tevo::com::Bstr;
using tevo::com::ComPtr;
using tevo::driver::testing::RunningEmulator;
using Messages = std::vector<std::string>;

// The description of error 30002 after an exchange that timed out (VI_ERROR_TMO).
inline constexpr const wchar_t* kTimeoutDescription =
    L"Tevo: Cannot recover.\r\n\nError Code: bfff0015";
// The frequencies the emulator is set to, exactly representable in its replies.
inline constexpr double kStartFrequency = 1.25e9;
inline constexpr double kStopFrequency = 2.5e9;
// The number of points of the emulator's traces.
inline constexpr size_t kTracePoints = 501;
// Long enough for any answer to come on a loaded machine; never reached when all is well.
inline constexpr std::chrono::seconds kPatience{20};

// Owns a SAFEARRAY of doubles handed to a trace read.
class TraceArray {
  public:
    TraceArray() = default;
    // An array of `count` elements, all `fill`.
    TraceArray(LONG count, double fill);
    ~TraceArray();
    TraceArray(const TraceArray&) = delete;
    TraceArray& operator=(const TraceArray&) = delete;
    SAFEARRAY** Out() { return &array_; }
    std::vector<double> Values() const;

  private:
    SAFEARRAY* array_ = nullptr;
};

// Trace 1 as the emulator holds it, decoded from its own binary answer.
std::vector<double> InstrumentTrace(tevo::emulator::Emulator& emulator);
// A definite-length block of `data`.
std::string Block(const std::string& data);

class DriverFaultSession : public ::testing::Test {
  protected:
    explicit DriverFaultSession(
        tevo::emulator::EmulatorOptions options = RunningEmulator::InstantOptions());
    void TearDown() override;

    // Initializes a new driver object against the emulator with the option string, sets the
    // start and stop frequencies, and forgets what was received so far.
    void Open(const wchar_t* options);
    ComPtr<ITevoFrequency> Frequency() const;
    ComPtr<IIviDriverUtility> Utility() const;
    ComPtr<ITevoTrace> Trace1() const;

    // The messages received since the last call, once at least `count` have arrived.
    Messages Received(size_t count = 0);
    // The session's next exchanges are right: a get of the start frequency answers it and
    // sends exactly its query, and a put of it reaches the instrument as exactly its command.
    void ExpectSessionWorks();

    RunningEmulator emulator_;
    ComPtr<ITevo> driver_;
};

}  // namespace tevo::reliability

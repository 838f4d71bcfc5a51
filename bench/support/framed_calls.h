// The driver's per-call overhead without I/O: interface methods of a simulated session, with
// the driver's call tracing off or on. Shared by the nanosecond benchmarks and the program
// whose instructions callgrind counts.
#pragma once

#include <memory>
#include <string>

#include "support/driver_session.h"

namespace tevo::bench {

struct FramedCall {
    const char* name;
    void (*call)(const DriverSession& session);
};

// ITevoFrequency::get_Start of a simulated session: call frame and attribute engine.
extern const FramedCall kSimulatedPropertyGet;
// IIviDriverOperation::get_Cache: a SessionFrame around a body that only reads a flag.
extern const FramedCall kSessionFramedCall;
inline constexpr const FramedCall* kFramedCalls[] = {&kSimulatedPropertyGet, &kSessionFramedCall};

// A simulated session (Simulate=true, no instrument). With tracing, the driver's trace
// switch is on and the trace log is written to a file in the system root (TEVO_TRACE_FILE).
std::unique_ptr<DriverSession> OpenSimulatedSession(bool tracing);

}  // namespace tevo::bench

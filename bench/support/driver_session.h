// The driver as a client program has it: created by its ProgID from the registered module
// and initialized on a resource.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "tevo/Tevo.h"
#include "tevo/com/com_ptr.h"

namespace tevo::bench {

using tevo::com::ComPtr;

// A driver created by ProgID "Tevo.Tevo" and initialized (no identity query, no reset) on
// the resource with the option string. Throws std::runtime_error with the driver's error
// description when either step fails. Closed when destroyed.
class DriverSession {
  public:
    DriverSession(const std::string& resource, const std::string& options);
    ~DriverSession();
    DriverSession(const DriverSession&) = delete;
    DriverSession& operator=(const DriverSession&) = delete;

    ITevo* Driver() const { return driver_.Get(); }
    ITevoFrequency* Frequency() const { return frequency_.Get(); }
    ITevoTrace* Trace1() const { return trace1_.Get(); }
    IIviDriverOperation* Operation() const { return operation_.Get(); }

  private:
    ComPtr<ITevo> driver_;
    ComPtr<ITevoFrequency> frequency_;
    ComPtr<ITevoTrace> trace1_;
    ComPtr<IIviDriverOperation> operation_;
};

// Throws std::runtime_error naming the call and the thread's error description when the
// status is a failure.
void CheckCall(HRESULT status, const char* call);

// The SCPI messages the driver sends for one call of the operation, as an emulator of its
// own received them (after one call that is not counted, so that nothing of a first call
// is mistaken for the steady state). prepare runs on the emulator first (through a plain
// client) to give it the state of the benchmark.
std::vector<std::string> RecordDriverMessages(
    const std::vector<std::string>& prepare,
    const std::function<void(const DriverSession&)>& operation);

}  // namespace tevo::bench

// The binding of a driver object to the tracing service: set up at the end of the object's
// construction, torn down at its destruction.
//
// Set-up creates the TracingService in-process, registers with it ("Tevo" as subsystem and
// role, the object's resource descriptor as view), and installs a new process-wide state
// (see trace_state.h): the object's ITraceSwitch, the service and cookie, the coclass type
// information and the TraceRegistry built from it. Any failure leaves tracing off; the
// object works as before. Tear-down unregisters the object's cookie, releases its service
// and clears the process-wide state, whichever object installed it.
#pragma once

#include "tevo/TraceRuntime.h"
#include "tevo/com/com_ptr.h"

namespace tevo::driver {

class TraceBinding {
  public:
    TraceBinding() = default;
    ~TraceBinding() { TearDown(); }
    TraceBinding(const TraceBinding&) = delete;
    TraceBinding& operator=(const TraceBinding&) = delete;

    // object: the driver object (its IUnknown); view: its IoResourceDescriptor. E_FAIL when
    // this binding already holds a service; otherwise the first failure, or S_OK.
    HRESULT SetUp(IUnknown* object, BSTR view);
    void TearDown();

    LONG Cookie() const { return cookie_; }

  private:
    tevo::com::ComPtr<ITraceSink> service_;
    LONG cookie_ = 0;
};

}  // namespace tevo::driver

// TraceScope: the call tracing of the call frame, opened at the frame's first step and
// closed at its last. While tracing is on (a driver object set up with the tracing service
// and its ITraceSwitch enabled) the scope writes
//   ">>> <thread>: <interface>::<method>(<in parameters>)"     on entry and
//   "<<< <thread>: <interface>::<method>(<out parameters>)"    on exit,
// the parameters rendered from the call's typed arguments as the type library describes
// the method. An interface or method the type library does not know gives
// ">>> <thread>: [Unknown Interface]" or ">>> <thread>: <interface>::[Unknown Method]" and
// no exit line. While tracing is off the scope costs one atomic load.
#pragma once

#include "session/trace_rendering.h"
#include "session/trace_state.h"

namespace tevo::driver {

struct FrameSite;

class TraceScope {
  public:
    // The arguments are those of the interface method, in order (see Facet).
    TraceScope(const FrameSite& site, TraceArguments arguments)
        : site_(site), arguments_(arguments) {
        if (TracingMayBeOn()) {
            Enter();
        }
    }
    ~TraceScope() {
        if (state_) {
            Leave();
        }
    }
    TraceScope(const TraceScope&) = delete;
    TraceScope& operator=(const TraceScope&) = delete;

    const FrameSite& Site() const { return site_; }
    bool Active() const { return state_ != nullptr; }

  private:
    void Enter();
    void Leave();

    const FrameSite& site_;
    TraceArguments arguments_;
    TraceSnapshot state_;  // set while this call is traced
    const TraceMethod* method_ = nullptr;
    HRESULT entry_status_ = S_OK;
};

}  // namespace tevo::driver

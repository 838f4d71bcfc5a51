// The process-wide tracing state: the switch of the most recently set-up driver object,
// the tracing service with its cookie, the coclass type information and the
// TraceRegistry. It is replaced when a driver object is set up and cleared when any driver
// object is destroyed; traced calls on other threads may run meanwhile.
//
// A state, once installed, never changes: a traced call takes a reference to the current
// one (TraceSnapshot) and keeps using it for its exit line, even when the state is
// replaced or cleared in between. The switch (not reference-counted) is asked only while
// the state's lock is held, so a driver object never goes away under that call.
#pragma once

#include <memory>
#include <string>

#include "session/trace_registry.h"
#include "tevo/TraceRuntime.h"
#include "tevo/com/com_ptr.h"

namespace tevo::driver {

struct TraceState {
    ITraceSwitch* trace_switch = nullptr;  // not AddRef'ed
    tevo::com::ComPtr<ITraceSink> sink;
    LONG cookie = 0;
    tevo::com::ComPtr<ITypeInfo> class_info;
    std::string coclass_name;
    TraceRegistry registry;

    bool Active() const { return cookie > 0; }
};

using TraceSnapshot = std::shared_ptr<const TraceState>;

// Whether a state with tracing active is installed and some driver object's trace switch is
// on: the one check of every call while tracing is off (no lock, no call to a switch).
bool TracingMayBeOn();

// Counts the driver objects whose trace switch is on; each object reports every change of
// its switch (and a switch still on when it goes away, as on to off).
void NoteTraceSwitchChange(bool was_on, bool is_on);

// The installed state, when it is active and its switch is on; null otherwise.
TraceSnapshot EnabledTraceState();

// Installs a new state in place of the current one.
void InstallTraceState(std::shared_ptr<const TraceState> state);
// Clears the state: tracing is off until the next installation.
void ClearTraceState();

// Sends one line (cut to 2047 bytes) to the state's sink. The sink's result.
HRESULT WriteTraceLine(const TraceState& state, const std::string& line);

}  // namespace tevo::driver

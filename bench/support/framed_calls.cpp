#include "support/framed_calls.h"

#include <cstdlib>
#include <filesystem>

#include "tevo/TraceRuntime.h"

namespace tevo::bench {

namespace {

void SimulatedGetStart(const DriverSession& session) {
    double value = 0;
    CheckCall(session.Frequency()->get_Start(&value), "get_Start");
}

void SessionFramedGetCache(const DriverSession& session) {
    VARIANT_BOOL cache = VARIANT_FALSE;
    CheckCall(session.Operation()->get_Cache(&cache), "get_Cache");
}

}  // namespace

const FramedCall kSimulatedPropertyGet{"SimulatedGet/get_Start", SimulatedGetStart};
const FramedCall kSessionFramedCall{"SessionFrame/get_Cache", SessionFramedGetCache};

std::unique_ptr<DriverSession> OpenSimulatedSession(bool tracing) {
    if (tracing) {
        const char* root = std::getenv("TEVO_SYSTEM_ROOT");
        const std::filesystem::path log =
            std::filesystem::path(root != nullptr ? root : ".") / "bench-calls.log";
        setenv("TEVO_TRACE_FILE", log.c_str(), 1);
    }
    auto session = std::make_unique<DriverSession>("GPIB0::20::INSTR", "Simulate=true");
    ComPtr<ITraceSwitch> trace_switch;
    CheckCall(session->Driver()->QueryInterface(IID_PPV_ARGS(&trace_switch)),
              "QueryInterface(ITraceSwitch)");
    CheckCall(trace_switch->put_Enabled(tracing ? VARIANT_TRUE : VARIANT_FALSE),
              "ITraceSwitch::put_Enabled");
    return session;
}

}  // namespace tevo::bench

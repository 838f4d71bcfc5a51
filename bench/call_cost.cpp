// Runs one of the driver's framed calls (framed_calls.h) a given number of times for
// callgrind, which counts only the calls: instrumentation is switched on around the loop
// (run with --instr-atstart=no). Prints nothing; the count per call is callgrind's total
// divided by the number of calls.
//
//   valgrind --tool=callgrind --instr-atstart=no tevo_call_cost SimulatedGet/get_Start off 1000
#include <valgrind/callgrind.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iterator>
#include <string>

#include "support/bench_environment.h"
#include "support/framed_calls.h"

namespace tevo::bench {
namespace {

const FramedCall* FindCall(const std::string& name) {
    const auto found = std::find_if(std::begin(kFramedCalls), std::end(kFramedCalls),
                                    [&name](const FramedCall* call) { return name == call->name; });
    return found == std::end(kFramedCalls) ? nullptr : *found;
}

int RunCalls(const FramedCall& call, bool tracing, long count) {
    const std::unique_ptr<DriverSession> session = OpenSimulatedSession(tracing);
    call.call(*session);  // the first call loads and sets up what later calls reuse
    CALLGRIND_START_INSTRUMENTATION;
    for (long i = 0; i < count; ++i) {
        call.call(*session);
    }
    CALLGRIND_STOP_INSTRUMENTATION;
    return 0;
}

}  // namespace
}  // namespace tevo::bench

int main(int argc, char** argv) {
    const std::string tracing = argc == 4 ? argv[2] : "";
    const long count = argc == 4 ? std::strtol(argv[3], nullptr, 10) : 0;
    const tevo::bench::FramedCall* call = argc == 4 ? tevo::bench::FindCall(argv[1]) : nullptr;
    if (call == nullptr || (tracing != "on" && tracing != "off") || count <= 0) {
        std::fprintf(stderr,
                     "usage: tevo_call_cost SimulatedGet/get_Start|SessionFrame/get_Cache "
                     "on|off COUNT\n");
        return 2;
    }
    int exit_code = 0;
    try {
        tevo::bench::SetUpBenchEnvironment();
        exit_code = tevo::bench::RunCalls(*call, tracing == "on", count);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "tevo_call_cost: %s\n", failure.what());
        exit_code = 1;
    }
    tevo::bench::TearDownBenchEnvironment();
    return exit_code;
}

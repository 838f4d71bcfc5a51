// The driver's own cost per call, without I/O: a simulated property get and a
// SessionFrame-framed call, with call tracing off and on, in nanoseconds. (call_cost.cpp
// runs the same calls for callgrind, which counts their instructions.)
#include <benchmark/benchmark.h>

#include <string>

#include "support/bench_main.h"
#include "support/framed_calls.h"

namespace tevo::bench {
namespace {

void RunFramedCall(benchmark::State& state, const FramedCall& call, bool tracing) {
    try {
        const std::unique_ptr<DriverSession> session = OpenSimulatedSession(tracing);
        call.call(*session);
        for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
            call.call(*session);
        }
    } catch (const std::exception& failure) {
        state.SkipWithError(failure.what());
    }
}

void RegisterCallOverheadBenchmarks() {
    for (const FramedCall* call : kFramedCalls) {
        for (const bool tracing : {false, true}) {
            const std::string name =
                std::string(call->name) + (tracing ? "/tracing:on" : "/tracing:off");
            benchmark::RegisterBenchmark(name.c_str(), [call, tracing](benchmark::State& state) {
                RunFramedCall(state, *call, tracing);
            })->Unit(benchmark::kNanosecond);
        }
    }
}

}  // namespace
}  // namespace tevo::bench

int main(int argc, char** argv) {
    return tevo::bench::RunBenchmarkProgram(argc, argv, "call overhead benchmarks",
                                            tevo::bench::RegisterCallOverheadBenchmarks);
}

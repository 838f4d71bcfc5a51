#include "support/bench_main.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <exception>

#include "support/bench_environment.h"

namespace tevo::bench {

int RunBenchmarkProgram(int argc, char** argv, const char* program, RegisterBenchmarks add) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 2;
    }
    int exit_code = 0;
    try {
        SetUpBenchEnvironment();
        add();
        benchmark::AddCustomContext(
            "note", "the emulator's own reply latency is part of both sides of every ratio");
        benchmark::RunSpecifiedBenchmarks();
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "%s: %s\n", program, failure.what());
        exit_code = 1;
    }
    benchmark::Shutdown();
    TearDownBenchEnvironment();
    return exit_code;
}

}  // namespace tevo::bench

// The main() of every benchmark program: the library's flags, the environment of
// bench_environment.h, the program's benchmarks, then the run.
#pragma once

namespace tevo::bench {

// Registers the program's benchmarks; called once the environment is set up.
using RegisterBenchmarks = void (*)();

int RunBenchmarkProgram(int argc, char** argv, const char* program, RegisterBenchmarks add);

}  // namespace tevo::bench

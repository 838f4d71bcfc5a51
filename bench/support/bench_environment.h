// What every benchmark program shares: a fresh system root with the built driver registered
// in it, and the emulator the benchmarks talk to.
//
// The emulator is the kl-emulator program that scripts/bench.sh starts, named by the
// environment (TEVO_BENCH_SOCKET_PORT, and TEVO_BENCH_VXI11_PORT / TEVO_BENCH_HISLIP_PORT
// when it serves those protocols), so that the driver, the bare client and PyVISA all talk
// to one process. Without TEVO_BENCH_SOCKET_PORT the program starts an emulator of its own,
// in process (sweeps at their nominal time).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tevo::bench {

// Creates a temporary system root (TEVO_SYSTEM_ROOT), registers the driver module of the
// build in it with regsvr and initialises COM. Throws std::runtime_error on failure.
void SetUpBenchEnvironment();
// Removes the temporary system root.
void TearDownBenchEnvironment();

// The folder of the build's programs (regsvr, reg, ivi-config).
std::string ProgramFolder();

struct EmulatorEndpoint {
    uint16_t socket_port = 0;
    uint16_t vxi11_port = 0;  // 0: not served
    uint16_t hislip_port = 0;
};

// The emulator of this run (started in process on first use when none is named).
const EmulatorEndpoint& SharedEmulator();

// Runs a program and waits for it; its output is discarded. Returns its exit code, or -1
// when it could not run or ended by a signal.
int RunProgram(const std::string& program, const std::vector<std::string>& arguments);

}  // namespace tevo::bench

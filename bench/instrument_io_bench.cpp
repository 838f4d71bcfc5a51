// The driver's instrument I/O against its physical limit. Each operation runs through the
// driver (ProgID-created, VISA, loopback, emulator) once per transport the emulator serves,
// and as a bare client (bare_scpi_client.h) that sends exactly the messages the driver sent
// for one call (recorded by an emulator of its own) over a plain socket to the same
// emulator. Both sides include the emulator's own time to answer.
//
// Names: "<operation>/driver:<transport>" and "<operation>/bare:SOCKET"; the ratio table
// (scripts/bench.sh) divides the first by the second.
#include <benchmark/benchmark.h>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/bare_scpi_client.h"
#include "support/bench_environment.h"
#include "support/bench_main.h"
#include "support/driver_session.h"

namespace tevo::bench {
namespace {

// ---- Transports: one row each; a row whose port the emulator does not serve is left out.
struct TransportRow {
    const char* name;
    uint16_t EmulatorEndpoint::*port;
    std::string (*resource)(uint16_t port);
};

const TransportRow kTransports[] = {
    {"SOCKET", &EmulatorEndpoint::socket_port,
     [](uint16_t port) { return "TCPIP::127.0.0.1::" + std::to_string(port) + "::SOCKET"; }},
    {"VXI-11", &EmulatorEndpoint::vxi11_port,
     [](uint16_t port) { return "TCPIP0::127.0.0.1," + std::to_string(port) + "::inst0::INSTR"; }},
    {"HiSLIP", &EmulatorEndpoint::hislip_port,
     [](uint16_t port) {
         return "TCPIP0::127.0.0.1::hislip0," + std::to_string(port) + "::INSTR";
     }},
};

// ---- Operations.
constexpr double kStartFrequency = 1.5e9;
constexpr LONG kReadYMaxTimeMs = 10000;
// The sweep of the ReadY benchmark; the table compares ReadY with it.
constexpr double kReadYSweepSeconds = 0.05;

// The emulator's state for a trace read of the given points: single sweeps, a short fixed
// sweep time, binary transfer, and one finished sweep to read.
std::vector<std::string> TraceState(int points, double sweep_seconds) {
    return {"INIT:CONT OFF",
            "FORM REAL,32",
            "SENS:SWE:TIME:AUTO OFF",
            "SENS:SWE:TIME " + std::to_string(sweep_seconds),
            "SENS:SWE:POIN " + std::to_string(points),
            "INIT;*OPC?"};
}

void DestroyArray(SAFEARRAY* array) {
    if (array != nullptr) {
        SafeArrayDestroy(array);
    }
}

struct Operation {
    std::string name;
    std::vector<std::string> prepare;
    std::function<void(const DriverSession&)> call;
    double sweep_seconds = 0;  // the sweep the call waits for, if any
};

std::vector<Operation> Operations() {
    return {
        {"RoundTrip/get_Start",
         {},
         [](const DriverSession& session) {
             double value = 0;
             CheckCall(session.Frequency()->get_Start(&value), "get_Start");
             benchmark::DoNotOptimize(value);
         }},
        {"RoundTrip/put_Start",
         {},
         [](const DriverSession& session) {
             CheckCall(session.Frequency()->put_Start(kStartFrequency), "put_Start");
         }},
        {"FetchY/625", TraceState(625, 0.01),
         [](const DriverSession& session) {
             SAFEARRAY* values = nullptr;
             CheckCall(session.Trace1()->FetchY(&values), "FetchY");
             DestroyArray(values);
         }},
        {"FetchY/10001", TraceState(10001, 0.01),
         [](const DriverSession& session) {
             SAFEARRAY* values = nullptr;
             CheckCall(session.Trace1()->FetchY(&values), "FetchY");
             DestroyArray(values);
         }},
        {"ReadY/625", TraceState(625, kReadYSweepSeconds),
         [](const DriverSession& session) {
             SAFEARRAY* values = nullptr;
             CheckCall(session.Trace1()->ReadY(kReadYMaxTimeMs, &values), "ReadY");
             DestroyArray(values);
         },
         kReadYSweepSeconds},
    };
}

// The driver's messages for one call of each operation, recorded once per process.
const std::vector<std::string>& DriverMessages(const Operation& operation) {
    static std::mutex mutex;
    static std::map<std::string, std::vector<std::string>> recorded;
    const std::lock_guard lock(mutex);
    auto found = recorded.find(operation.name);
    if (found == recorded.end()) {
        found =
            recorded
                .emplace(operation.name, RecordDriverMessages(operation.prepare, operation.call))
                .first;
    }
    return found->second;
}

void Prepare(const Operation& operation) {
    BareScpiClient client(SharedEmulator().socket_port);
    Replay(client, operation.prepare);
}

void RunDriver(benchmark::State& state, const Operation& operation, const TransportRow& row) {
    try {
        Prepare(operation);
        DriverSession session(row.resource(SharedEmulator().*row.port), "");
        operation.call(session);  // the first call is not counted
        for (auto _ : state) {    // NOLINT(clang-analyzer-deadcode.DeadStores)
            operation.call(session);
        }
    } catch (const std::exception& failure) {
        state.SkipWithError(failure.what());
        return;
    }
    state.counters["sweep_s"] = operation.sweep_seconds;
}

void RunBare(benchmark::State& state, const Operation& operation) {
    size_t reply_bytes = 0;
    try {
        const std::vector<std::string>& messages = DriverMessages(operation);
        Prepare(operation);
        BareScpiClient client(SharedEmulator().socket_port);
        Replay(client, messages);
        for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
            // cppcheck-suppress useStlAlgorithm
            reply_bytes = Replay(client, messages);
        }
        state.SetLabel(std::to_string(messages.size()) + " messages, first \"" +
                       (messages.empty() ? std::string() : messages.front()) + "\"");
    } catch (const std::exception& failure) {
        state.SkipWithError(failure.what());
        return;
    }
    state.counters["reply_bytes"] = static_cast<double>(reply_bytes);
    state.counters["sweep_s"] = operation.sweep_seconds;
}

// Registered from main (not at static initialisation): which transports there are depends on
// the emulator of the run.
void RegisterInstrumentIoBenchmarks() {
    static const std::vector<Operation> operations = Operations();
    for (const Operation& operation : operations) {
        for (const TransportRow& row : kTransports) {
            if (SharedEmulator().*row.port == 0) {
                continue;
            }
            benchmark::RegisterBenchmark(
                (operation.name + "/driver:" + row.name).c_str(),
                [&operation, &row](benchmark::State& state) { RunDriver(state, operation, row); })
                ->Unit(benchmark::kMicrosecond)
                ->UseRealTime();
        }
        benchmark::RegisterBenchmark(
            (operation.name + "/bare:SOCKET").c_str(),
            [&operation](benchmark::State& state) { RunBare(state, operation); })
            ->Unit(benchmark::kMicrosecond)
            ->UseRealTime();
    }
}

}  // namespace
}  // namespace tevo::bench

int main(int argc, char** argv) {
    return tevo::bench::RunBenchmarkProgram(argc, argv, "instrument I/O benchmarks",
                                            tevo::bench::RegisterInstrumentIoBenchmarks);
}

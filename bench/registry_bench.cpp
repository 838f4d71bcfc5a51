// What a registry write and a configuration-store change cost as the store grows: each
// rewrites its whole file under a lock, so the cost follows the number of entries. Stores
// of 10, 100 and 1000 entries:
//   Registry/RegSetValueEx/<n>   one value written in process into a key of n values
//   Registry/reg_add/<n>         the same through the reg program (a process per write)
//   ConfigStore/ivi_config_add/<n>  ivi-config adding a hardware asset (replacing it, so
//                                   the store keeps its size) to a store of n assets
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "support/bench_environment.h"
#include "support/bench_main.h"
#include "tevo/platform.h"

namespace tevo::bench {
namespace {

constexpr const char* kBenchKey = "Software\\TevoBench";

// A key of HKEY_CURRENT_USER with count values, removed again at the end.
class FilledKey {
  public:
    explicit FilledKey(int count) {
        if (RegCreateKeyExA(HKEY_CURRENT_USER, kBenchKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key_, nullptr) != ERROR_SUCCESS) {
            throw std::runtime_error("cannot create HKCU\\" + std::string(kBenchKey));
        }
        for (int i = 0; i < count; ++i) {
            Set("value_" + std::to_string(i), "an existing value of the key");
        }
    }
    ~FilledKey() {
        RegCloseKey(key_);
        RegDeleteKeyA(HKEY_CURRENT_USER, kBenchKey);
    }
    FilledKey(const FilledKey&) = delete;
    FilledKey& operator=(const FilledKey&) = delete;

    void Set(const std::string& name, const std::string& data) {
        const LSTATUS status = RegSetValueExA(key_, name.c_str(), 0, REG_SZ,
                                              reinterpret_cast<const BYTE*>(data.c_str()),
                                              static_cast<DWORD>(data.size() + 1));
        if (status != ERROR_SUCCESS) {
            throw std::runtime_error("RegSetValueEx failed: " + std::to_string(status));
        }
    }

  private:
    HKEY key_ = nullptr;
};

void RegSetValueExInKey(benchmark::State& state) {
    try {
        FilledKey key(static_cast<int>(state.range(0)));
        for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
            key.Set("bench", "a value written again and again");
        }
    } catch (const std::exception& failure) {
        state.SkipWithError(failure.what());
    }
}

void RegAddInKey(benchmark::State& state) {
    try {
        FilledKey key(static_cast<int>(state.range(0)));
        const std::string reg = ProgramFolder() + "/reg";
        const std::string key_name = std::string("HKCU\\") + kBenchKey;
        for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
            if (RunProgram(reg, {"add", key_name, "/v", "bench", "/d", "x", "/f"}) != 0) {
                throw std::runtime_error("reg add failed");
            }
        }
    } catch (const std::exception& failure) {
        state.SkipWithError(failure.what());
    }
}

// A configuration store of count hardware assets, made with one "ivi-config run".
std::string FilledStore(int count) {
    const std::filesystem::path root = std::getenv("TEVO_SYSTEM_ROOT");
    const std::filesystem::path store = root / ("bench-store-" + std::to_string(count) + ".xml");
    const std::filesystem::path commands = root / "bench-store-commands.txt";
    std::filesystem::remove(store);
    {
        std::ofstream out(commands);
        for (int i = 0; i < count; ++i) {
            out << "add hardware-asset Asset" << i << " --resource TCPIP::10.0." << i / 250 << "."
                << i % 250 << "::INSTR --description \"an asset of the store\"\n";
        }
    }
    if (RunProgram(ProgramFolder() + "/ivi-config",
                   {"--store", store.string(), "run", commands.string()}) != 0) {
        throw std::runtime_error("ivi-config run could not fill " + store.string());
    }
    return store.string();
}

void IviConfigAddInStore(benchmark::State& state) {
    try {
        const std::string store = FilledStore(static_cast<int>(state.range(0)));
        const std::string ivi_config = ProgramFolder() + "/ivi-config";
        for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
            if (RunProgram(ivi_config,
                           {"--store", store, "add", "hardware-asset", "BenchAsset", "--resource",
                            "TCPIP::127.0.0.1::5025::SOCKET", "--replace"}) != 0) {
                throw std::runtime_error("ivi-config add failed");
            }
        }
    } catch (const std::exception& failure) {
        state.SkipWithError(failure.what());
    }
}

void RegisterRegistryBenchmarks() {
    for (const auto& [name, function] :
         {std::pair{"Registry/RegSetValueEx", &RegSetValueExInKey},
          std::pair{"Registry/reg_add", &RegAddInKey},
          std::pair{"ConfigStore/ivi_config_add", &IviConfigAddInStore}}) {
        benchmark::RegisterBenchmark(name, function)
            ->Arg(10)
            ->Arg(100)
            ->Arg(1000)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
}

}  // namespace
}  // namespace tevo::bench

int main(int argc, char** argv) {
    return tevo::bench::RunBenchmarkProgram(argc, argv, "registry benchmarks",
                                            tevo::bench::RegisterRegistryBenchmarks);
}

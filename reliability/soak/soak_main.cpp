// tevo-soak: N driver sessions x M threads of mixed calls against an in-process emulator for
// a bounded time, checking that the process's memory and descriptor counts stay flat. See
// SoakUsage (tevo-soak --help).
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "resource_samples.h"
#include "soak_options.h"
#include "soak_workload.h"
#include "tevo/emulator/emulator.h"

namespace {

using namespace tevo::reliability::soak;

// Without a system root of the caller's, the run gets a temporary one, removed at the end,
// so that a soak never touches a user's registry or stores.
class TemporarySystemRoot {
  public:
    TemporarySystemRoot() {
        if (getenv("TEVO_SYSTEM_ROOT") != nullptr) {
            return;
        }
        std::string pattern =
            (std::filesystem::temp_directory_path() / "tevo-soak-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
            setenv("TEVO_SYSTEM_ROOT", path_.c_str(), 1);
        }
    }
    ~TemporarySystemRoot() {
        if (!path_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(path_, ignored);
        }
    }
    TemporarySystemRoot(const TemporarySystemRoot&) = delete;
    TemporarySystemRoot& operator=(const TemporarySystemRoot&) = delete;

  private:
    std::filesystem::path path_;
};

int RunSoak(const SoakOptions& options) {
    tevo::emulator::EmulatorOptions emulator_options;
    emulator_options.time_scale = 0;
    // Nobody inspects the messages: keeping them would be growth of its own.
    emulator_options.record_messages = false;
    emulator_options.max_clients =
        static_cast<size_t>(options.sessions) * (options.threads + 1) + 8;
    tevo::emulator::Emulator emulator(emulator_options);
    emulator.Start(0);
    emulator.Execute("FORM REAL,32");
    const std::string resource = emulator.ResourceName();

    SoakWorkload workload(std::wstring(resource.begin(), resource.end()), options.sessions,
                          options.threads);
    std::string error;
    if (!workload.Open(&error)) {
        std::fprintf(stderr, "tevo-soak: %s\n", error.c_str());
        return 1;
    }
    std::printf("tevo-soak: %d sessions x %d threads for %.0f s against %s (warm-up %.0f s)\n",
                options.sessions, options.threads, options.seconds, resource.c_str(),
                options.Warmup());
    workload.Start();
    const auto begin = std::chrono::steady_clock::now();
    const auto interval = std::chrono::duration<double>(options.interval_seconds);
    std::vector<ResourceSample> samples;
    for (int n = 1;; ++n) {
        const auto due =
            begin + std::chrono::duration_cast<std::chrono::steady_clock::duration>(interval * n);
        if (due > begin + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                              std::chrono::duration<double>(options.seconds))) {
            break;
        }
        std::this_thread::sleep_until(due);
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        samples.push_back(SampleThisProcess(elapsed));
        const ResourceSample& sample = samples.back();
        std::printf("t=%6.1f s  rss=%8.1f MiB  fds=%4zu  calls=%llu  failures=%llu\n", elapsed,
                    static_cast<double>(sample.resident_bytes) / (1024.0 * 1024.0),
                    sample.descriptors, static_cast<unsigned long long>(workload.calls()),
                    static_cast<unsigned long long>(workload.failures()));
        std::fflush(stdout);
    }
    workload.Stop();
    emulator.Stop();

    FlatnessLimits limits;
    limits.warmup_seconds = options.Warmup();
    limits.resident_tolerance_bytes =
        static_cast<size_t>(options.rss_tolerance_mib * 1024.0 * 1024.0);
    limits.descriptor_tolerance = static_cast<size_t>(options.descriptor_tolerance);
    const FlatnessVerdict verdict = JudgeFlatness(samples, limits);
    int status = 0;
    for (const std::string& problem : verdict.problems) {
        std::printf("tevo-soak: FAIL: %s\n", problem.c_str());
        status = 1;
    }
    if (workload.failures() > 0) {
        const unsigned long long failed = workload.failures();
        const unsigned long long made = workload.calls() + failed;
        std::printf("tevo-soak: FAIL: %llu of %llu calls failed; the first: %s\n", failed, made,
                    workload.FirstFailure().c_str());
        status = 1;
    }
    if (status == 0) {
        std::printf("tevo-soak: PASS: %llu calls, memory and descriptors flat after warm-up\n",
                    static_cast<unsigned long long>(workload.calls()));
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    const ParsedCommandLine parsed =
        ParseSoakCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (parsed.help) {
        std::fputs(SoakUsage(), stdout);
        return 0;
    }
    if (!parsed.options) {
        std::fprintf(stderr, "tevo-soak: %s\n\n%s", parsed.error.c_str(), SoakUsage());
        return 2;
    }
    const TemporarySystemRoot root;
    return RunSoak(*parsed.options);
}

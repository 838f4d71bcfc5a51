#include "support/bench_environment.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>

#include "tevo/com/apartment.h"
#include "tevo/emulator/emulator.h"

extern char** environ;

namespace tevo::bench {

namespace {

std::filesystem::path& SystemRoot() {
    static std::filesystem::path root;
    return root;
}

uint16_t PortFromEnvironment(const char* name) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') {
        return 0;
    }
    const long port = std::strtol(text, nullptr, 10);
    if (port <= 0 || port > 65535) {
        throw std::runtime_error(std::string(name) + " is not a port number: " + text);
    }
    return static_cast<uint16_t>(port);
}

EmulatorEndpoint StartEndpoint() {
    EmulatorEndpoint endpoint;
    endpoint.socket_port = PortFromEnvironment("TEVO_BENCH_SOCKET_PORT");
    if (endpoint.socket_port != 0) {
        endpoint.vxi11_port = PortFromEnvironment("TEVO_BENCH_VXI11_PORT");
        endpoint.hislip_port = PortFromEnvironment("TEVO_BENCH_HISLIP_PORT");
        return endpoint;
    }
    tevo::emulator::EmulatorOptions options;
    // A benchmark runs many thousand messages: nothing needs them kept.
    options.record_messages = false;
    static tevo::emulator::Emulator own(options);
    endpoint.socket_port = own.Start(0);
    return endpoint;
}

}  // namespace

std::string ProgramFolder() {
    return TEVO_BENCH_PROGRAM_FOLDER;
}

int RunProgram(const std::string& program, const std::vector<std::string>& arguments) {
    std::vector<std::string> words{program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv(words.size() + 1, nullptr);
    std::transform(words.begin(), words.end(), argv.begin(),
                   [](std::string& word) { return word.data(); });
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    const int spawned =
        posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        return -1;
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void SetUpBenchEnvironment() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tevo-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary system root");
    }
    SystemRoot() = pattern;
    setenv("TEVO_SYSTEM_ROOT", pattern.c_str(), 1);
    if (RunProgram(ProgramFolder() + "/regsvr", {TEVO_BENCH_DRIVER_MODULE}) != 0) {
        throw std::runtime_error("regsvr could not register " +
                                 std::string(TEVO_BENCH_DRIVER_MODULE));
    }
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
}

void TearDownBenchEnvironment() {
    CoUninitialize();
    std::error_code ignored;
    if (!SystemRoot().empty()) {
        std::filesystem::remove_all(SystemRoot(), ignored);
    }
}

const EmulatorEndpoint& SharedEmulator() {
    static const EmulatorEndpoint endpoint = StartEndpoint();
    return endpoint;
}

}  // namespace tevo::bench

#include "server/command_line.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <stdexcept>

#include "instrument/models.h"

namespace tevo::emulator {
namespace {

uint16_t ParsePort(const std::string& option, const std::string& text) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || value < 0 || value > 65535)
        throw std::invalid_argument(option + " needs a number from 0 to 65535, not \"" + text +
                                    "\"");
    return static_cast<uint16_t>(value);
}

double ParseTimeScale(const std::string& text) {
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno != 0 || !std::isfinite(value) || value < 0)
        throw std::invalid_argument("--time-scale needs a number of 0 or more, not \"" + text +
                                    "\"");
    return value;
}

// A serial number or firmware revision: one field of the *IDN? reply.
std::string ParseIdentityField(const std::string& option, const std::string& text) {
    const std::string problem = IdentityFieldProblem(text);
    if (!problem.empty())
        throw std::invalid_argument(option + " needs 1 to " + std::to_string(kMaxIdentityField) +
                                    " printable ASCII characters without commas or "
                                    "semicolons; the value given " +
                                    problem);
    return text;
}

// Seconds, fractions allowed; 0 turns the timeout off.
std::chrono::milliseconds ParseIdleTimeout(const std::string& text) {
    char* end = nullptr;
    errno = 0;
    const double seconds = std::strtod(text.c_str(), &end);
    constexpr double kMaxSeconds = 1e6;
    if (text.empty() || *end != '\0' || errno != 0 || !(seconds >= 0) || seconds > kMaxSeconds)
        throw std::invalid_argument(
            "--idle-timeout needs a number of seconds from 0 to 1000000, "
            "not \"" +
            text + "\"");
    return std::chrono::milliseconds(static_cast<int64_t>(std::ceil(seconds * 1000.0)));
}

[[noreturn]] void RejectLogLimit(const std::string& text) {
    throw std::invalid_argument("--log-limit needs a byte count of at least " +
                                std::to_string(EmulatorOptions::kMinLogLimitBytes) +
                                " (K, M or G may follow), not \"" + text + "\"");
}

// A byte count with an optional binary suffix: K, M or G.
uint64_t ParseLogLimit(const std::string& text) {
    if (text.empty() || text[0] < '0' || text[0] > '9')
        RejectLogLimit(text);
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(text.c_str(), &end, 10);
    if (errno != 0)
        RejectLogLimit(text);
    unsigned shift = 0;
    const std::string suffix(end);
    if (suffix == "K" || suffix == "k")
        shift = 10;
    else if (suffix == "M")
        shift = 20;
    else if (suffix == "G")
        shift = 30;
    else if (!suffix.empty())
        RejectLogLimit(text);
    if (value > (std::numeric_limits<uint64_t>::max() >> shift))
        RejectLogLimit(text);
    const uint64_t bytes = static_cast<uint64_t>(value) << shift;
    if (bytes < EmulatorOptions::kMinLogLimitBytes)
        RejectLogLimit(text);
    return bytes;
}

}  // namespace

std::string Usage() {
    std::string models;
    for (const ModelInfo& model : AllModels())
        models += (models.empty() ? "" : ", ") + std::string(model.name);
    return "usage: kl-emulator [options]\n"
           "Emulates a KL-series spectrum analyzer that speaks SCPI over TCP (messages end\n"
           "with a line feed). Several clients may be connected at once; they share the one\n"
           "analyzer. Prints \"listening on PORT\" when ready (then \"vxi11 on PORT\" and\n"
           "\"hislip on PORT\" for the protocols asked for) and runs until it receives\n"
           "SIGTERM or SIGINT.\n"
           "\n"
           "options:\n"
           "  --port N          TCP port to listen on (default 5025; 0 picks a free port)\n"
           "  --vxi11-port N    also serve VXI-11 with its core channel on port N (0 picks a\n"
           "                    free port); resource TCPIP0::host,N::inst0::INSTR\n"
           "  --hislip-port N   also serve HiSLIP on port N (0 picks a free port; 4880 is\n"
           "                    the standard port); resource TCPIP0::host::hislip0,N::INSTR\n"
           "  --model NAME      analyzer model: " +
           models +
           " (default KLC)\n"
           "  --serial S        serial number in the *IDN? answer (default 100482)\n"
           "  --firmware F      firmware revision in the *IDN? answer (default 3.12)\n"
           "                    (both: 1 to 64 printable ASCII characters, no ',' or ';')\n"
           "  --time-scale X    sweeps and calibrations take X times their nominal time\n"
           "                    (default 1; 0 makes them instant)\n"
           "  --log FILE        append every received message and reply to FILE\n"
           "  --log-limit BYTES when FILE would grow beyond BYTES (K, M or G may follow;\n"
           "                    default 16M, at least 4096), it becomes FILE.1 and a new\n"
           "                    FILE is started\n"
           "  --idle-timeout SECONDS\n"
           "                    drop a client that sends nothing while the analyzer waits\n"
           "                    for it, or reads nothing while a reply waits for it, for\n"
           "                    this long (default 60; 0: never)\n"
           "  --bind ADDRESS    IP address to listen on (default 127.0.0.1)\n"
           "  --help            print this text and exit\n";
}

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine line;
    for (size_t i = 0; i < arguments.size(); ++i) {
        std::string name = arguments[i];
        std::string value;
        bool has_value = false;
        const size_t equals = name.find('=');
        if (name.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
            has_value = true;
        }
        if (name == "--help" || name == "-h") {
            line.help = true;
            continue;
        }
        const bool takes_value = name == "--port" || name == "--model" || name == "--serial" ||
                                 name == "--firmware" || name == "--time-scale" ||
                                 name == "--log" || name == "--log-limit" ||
                                 name == "--idle-timeout" || name == "--bind" ||
                                 name == "--vxi11-port" || name == "--hislip-port";
        if (!takes_value)
            throw std::invalid_argument("unknown option \"" + arguments[i] + "\"");
        if (!has_value) {
            if (i + 1 >= arguments.size())
                throw std::invalid_argument(name + " needs a value");
            value = arguments[++i];
        }
        if (name == "--port") {
            line.port = ParsePort(name, value);
        } else if (name == "--vxi11-port") {
            line.options.vxi11_port = ParsePort(name, value);
        } else if (name == "--hislip-port") {
            line.options.hislip_port = ParsePort(name, value);
        } else if (name == "--model") {
            if (FindModel(value) == nullptr)
                throw std::invalid_argument("unknown model \"" + value + "\"");
            line.options.model = value;
        } else if (name == "--serial") {
            line.options.serial = ParseIdentityField(name, value);
        } else if (name == "--firmware") {
            line.options.firmware = ParseIdentityField(name, value);
        } else if (name == "--time-scale") {
            line.options.time_scale = ParseTimeScale(value);
        } else if (name == "--log") {
            line.options.log_path = value;
        } else if (name == "--log-limit") {
            line.options.log_limit_bytes = ParseLogLimit(value);
        } else if (name == "--idle-timeout") {
            line.options.idle_timeout = ParseIdleTimeout(value);
        } else {
            line.options.bind_address = value;
        }
    }
    return line;
}

}  // namespace tevo::emulator

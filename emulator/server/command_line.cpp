#include "server/command_line.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <stdexcept>

#include "instrument/models.h"

namespace tevo::emulator {
namespace {

uint16_t ParsePort(const std::string& text) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || value < 0 || value > 65535)
        throw std::invalid_argument("--port needs a number from 0 to 65535, not \"" + text + "\"");
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

}  // namespace

std::string Usage() {
    std::string models;
    for (const ModelInfo& model : AllModels())
        models += (models.empty() ? "" : ", ") + std::string(model.name);
    return "usage: kl-emulator [options]\n"
           "Emulates a KL-series spectrum analyzer that speaks SCPI over TCP (one client at a\n"
           "time; messages end with a line feed). Prints \"listening on PORT\" when ready and\n"
           "runs until it receives SIGTERM or SIGINT.\n"
           "\n"
           "options:\n"
           "  --port N          TCP port to listen on (default 5025; 0 picks a free port)\n"
           "  --model NAME      analyzer model: " +
           models +
           " (default KLC)\n"
           "  --serial S        serial number in the *IDN? answer (default 100482)\n"
           "  --firmware F      firmware revision in the *IDN? answer (default 3.12)\n"
           "  --time-scale X    sweeps and calibrations take X times their nominal time\n"
           "                    (default 1; 0 makes them instant)\n"
           "  --log FILE        append every received message and reply to FILE\n"
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
                                 name == "--log" || name == "--bind";
        if (!takes_value)
            throw std::invalid_argument("unknown option \"" + arguments[i] + "\"");
        if (!has_value) {
            if (i + 1 >= arguments.size())
                throw std::invalid_argument(name + " needs a value");
            value = arguments[++i];
        }
        if (name == "--port") {
            line.port = ParsePort(value);
        } else if (name == "--model") {
            if (FindModel(value) == nullptr)
                throw std::invalid_argument("unknown model \"" + value + "\"");
            line.options.model = value;
        } else if (name == "--serial") {
            line.options.serial = value;
        } else if (name == "--firmware") {
            line.options.firmware = value;
        } else if (name == "--time-scale") {
            line.options.time_scale = ParseTimeScale(value);
        } else if (name == "--log") {
            line.options.log_path = value;
        } else {
            line.options.bind_address = value;
        }
    }
    return line;
}

}  // namespace tevo::emulator

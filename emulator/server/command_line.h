// The command line of the kl-emulator program:
//   kl-emulator [--port N] [--vxi11-port N] [--hislip-port N] [--model NAME] [--serial S] [--firmware F] [--time-scale X]
//               [--log FILE] [--log-limit BYTES] [--idle-timeout SECONDS] [--bind ADDRESS]
//               [--help]
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tevo/emulator/emulator.h"

namespace tevo::emulator {

struct CommandLine {
    EmulatorOptions options;
    uint16_t port = 5025;
    bool help = false;
};

// Parses the arguments after the program name ("--name value" or "--name=value").
// Throws std::invalid_argument with a message for the user.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// The usage text printed by --help.
std::string Usage();

}  // namespace tevo::emulator

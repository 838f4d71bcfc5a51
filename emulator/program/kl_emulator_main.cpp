// kl-emulator: a KL-series spectrum analyzer on a TCP port. Prints "listening on PORT" once
// it accepts clients, serves several clients at once, and exits with code 0 on SIGTERM or
// SIGINT.
#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "server/command_line.h"
#include "tevo/emulator/emulator.h"

int main(int argc, char** argv) {
    using tevo::emulator::CommandLine;
    CommandLine line;
    try {
        line = tevo::emulator::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::exception& error) {
        std::cerr << "kl-emulator: " << error.what() << "\n" << tevo::emulator::Usage();
        return 2;
    }
    if (line.help) {
        std::cout << tevo::emulator::Usage();
        return 0;
    }

    // The signals are taken by sigwait below; every thread (the server's too) blocks them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    // Nobody reads the message history of the program; it would only grow.
    line.options.record_messages = false;
    try {
        tevo::emulator::Emulator emulator(line.options);
        const uint16_t port = emulator.Start(line.port);
        std::printf("listening on %u\n", static_cast<unsigned>(port));
        if (line.options.vxi11_port)
            std::printf("vxi11 on %u\n", static_cast<unsigned>(emulator.Vxi11Port()));
        if (line.options.hislip_port)
            std::printf("hislip on %u\n", static_cast<unsigned>(emulator.HislipPort()));
        std::fflush(stdout);
        int received = 0;
        sigwait(&signals, &received);
        emulator.Stop();
    } catch (const std::exception& error) {
        std::cerr << "kl-emulator: " << error.what() << "\n";
        return 1;
    }
    return 0;
}

// An emulator started on an ephemeral port with one client connected to it: the starting
// point of tests and tools that talk to the emulator over TCP.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "client/scpi_client.h"
#include "tevo/emulator/emulator.h"

namespace tevo::emulator {

// Options of an emulator whose sweeps and calibrations are instant.
inline EmulatorOptions InstantOptions() {
    EmulatorOptions options;
    options.time_scale = 0;
    return options;
}

// Options of an emulator whose time moves only by Emulator::AdvanceClock.
inline EmulatorOptions ManualClockOptions() {
    EmulatorOptions options;
    options.manual_clock = true;
    return options;
}

struct ConnectedEmulator {
    explicit ConnectedEmulator(EmulatorOptions options = InstantOptions())
        : emulator(std::move(options)), port(emulator.Start()), client(port) {}

    std::string Query(std::string_view message) { return client.Query(message); }
    bool Send(std::string_view message) { return client.Send(message); }
    // The oldest entry of the error queue.
    std::string NextError() { return client.Query("SYST:ERR?"); }
    // The event status register (read and cleared).
    int EventStatus() { return std::stoi(client.Query("*ESR?")); }

    Emulator emulator;
    uint16_t port;
    ScpiClient client;
};

}  // namespace tevo::emulator

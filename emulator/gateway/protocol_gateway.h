// A gateway serves the analyzer over an instrument protocol other than raw SOCKET (VXI-11,
// HiSLIP). It listens on its own port and serves its clients on threads of its own; each
// client session talks to the analyzer through an InstrumentLink, so everything that the
// emulator does for SOCKET clients (the log, recorded messages, scripts, faults) applies to
// the gateway's clients too.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "gateway/instrument_link.h"

namespace tevo::emulator {

struct GatewayServices {
    // A new client connection of the analyzer; `peer` is shown in the emulator's log.
    std::function<std::unique_ptr<InstrumentLink>(const std::string& peer)> open_link;
    // The analyzer's IEEE 488.2 status byte (what *STB? would return), read without sending
    // a message.
    std::function<uint8_t()> status_byte;
};

// Listening and serving from construction; the destructor closes every connection and joins
// every thread of the gateway.
class ProtocolGateway {
  public:
    virtual ~ProtocolGateway() = default;
    // The port listened on (the ephemeral one chosen for port 0).
    virtual uint16_t port() const = 0;
};

// Throw std::system_error when the port cannot be opened. On 127.0.0.1 the IPv6 loopback
// address is served with the same port too, where possible.
std::unique_ptr<ProtocolGateway> StartVxi11Gateway(const std::string& bind_address, uint16_t port,
                                                   GatewayServices services);
std::unique_ptr<ProtocolGateway> StartHislipGateway(const std::string& bind_address, uint16_t port,
                                                    GatewayServices services);

}  // namespace tevo::emulator

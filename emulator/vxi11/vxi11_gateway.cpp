#include <stdexcept>

#include "gateway/protocol_gateway.h"

namespace tevo::emulator {

std::unique_ptr<ProtocolGateway> StartVxi11Gateway(const std::string&, uint16_t, GatewayServices) {
    throw std::runtime_error("VXI-11 is not served yet");
}

}  // namespace tevo::emulator

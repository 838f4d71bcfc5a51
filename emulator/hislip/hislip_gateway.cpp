#include <stdexcept>

#include "gateway/protocol_gateway.h"

namespace tevo::emulator {

std::unique_ptr<ProtocolGateway> StartHislipGateway(const std::string&, uint16_t, GatewayServices) {
    throw std::runtime_error("HiSLIP is not served yet");
}

}  // namespace tevo::emulator

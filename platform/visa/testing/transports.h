// The transports over which the VISA library reaches the analyzer emulator, in one list for
// every value-parameterised test that runs over each of them, with what differs between
// them as the tests see it.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "tevo/emulator/emulator.h"
#include "tevo/visa.h"

namespace tevo::visa::testing {

using tevo::emulator::EmulatorTransport;

inline constexpr EmulatorTransport kEmulatorTransports[] = {
    EmulatorTransport::kSocket,
    EmulatorTransport::kVxi11,
    EmulatorTransport::kHislip,
};

inline std::string TransportName(EmulatorTransport transport) {
    switch (transport) {
        case EmulatorTransport::kSocket:
            return "Socket";
        case EmulatorTransport::kVxi11:
            return "Vxi11";
        case EmulatorTransport::kHislip:
            return "Hislip";
    }
    return "Unknown";
}

// For INSTANTIATE_TEST_SUITE_P: names the test after its transport.
struct TransportParamName {
    std::string operator()(const ::testing::TestParamInfo<EmulatorTransport>& info) const {
        return TransportName(info.param);
    }
};

// Makes options serve the transport too (SOCKET is always served), on an ephemeral port.
inline tevo::emulator::EmulatorOptions Serving(tevo::emulator::EmulatorOptions options,
                                               EmulatorTransport transport) {
    if (transport == EmulatorTransport::kVxi11) {
        options.vxi11_port = 0;
    } else if (transport == EmulatorTransport::kHislip) {
        options.hislip_port = 0;
    }
    return options;
}

// The status of a read that got a whole reply with its default attributes: SOCKET ends it
// on the line feed (the termination character is on by default there), INSTR resources on
// END.
inline ViStatus WholeReplyStatus(EmulatorTransport transport) {
    return transport == EmulatorTransport::kSocket ? VI_SUCCESS_TERM_CHAR : VI_SUCCESS;
}

}  // namespace tevo::visa::testing

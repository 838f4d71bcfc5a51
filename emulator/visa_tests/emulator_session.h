// A running analyzer emulator on an ephemeral loopback port and a VISA SOCKET session to
// it, for tests of the VISA library against the real instrument model.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "testing/session_fixture.h"
#include "tevo/emulator/emulator.h"
#include "tevo/visa.h"

namespace tevo::visa::emulator_tests {

using Clock = std::chrono::steady_clock;
using testing::ReadOutcome;
using testing::TestSession;
using tevo::emulator::Emulator;
using tevo::emulator::EmulatorOptions;
using tevo::emulator::Fault;

// The emulator's identity with its default options.
inline constexpr const char* kIdentity = "Valdacor,KLC,100482,3.12";

// A time-out ends no earlier than its value and, on a loaded two-core machine, no more than
// this much later.
inline constexpr std::chrono::milliseconds kLateMargin(1500);

inline std::chrono::milliseconds Since(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
}

// Sweeps finish at once, so that tests wait for nothing but what they set up themselves.
inline EmulatorOptions InstantSweeps() {
    EmulatorOptions options;
    options.time_scale = 0;
    return options;
}

// Starts the emulator on an ephemeral port and returns its resource name.
inline std::string StartOnAnyPort(Emulator& emulator) {
    emulator.Start(0);
    return emulator.ResourceName();
}

class EmulatorSession {
  public:
    explicit EmulatorSession(EmulatorOptions options = InstantSweeps())
        : emulator(std::move(options)), session(StartOnAnyPort(emulator)) {}

    // Writes a query and reads its reply (up to count bytes); a failed write's status is
    // returned with no bytes.
    ReadOutcome Query(const std::string& message, size_t count = 65536) {
        return session.Query(message, count);
    }

    Emulator emulator;
    TestSession session;
};

// A definite-length block reply split into its parts.
struct BlockReply {
    std::string header;  // "#42500"
    std::string data;    // the announced bytes
    std::string rest;    // what follows the data (the line feed)
};

// Splits a reply that starts with "#<n><n digits>"; a reply without such a header gives an
// empty header and the whole reply as rest.
inline BlockReply SplitBlock(const std::string& reply) {
    BlockReply block;
    if (reply.size() < 2 || reply[0] != '#' || reply[1] < '1' || reply[1] > '9') {
        block.rest = reply;
        return block;
    }
    const size_t digits = static_cast<size_t>(reply[1] - '0');
    block.header = reply.substr(0, 2 + digits);
    const size_t length = std::stoul(reply.substr(2, digits));
    block.data = reply.substr(block.header.size(), length);
    block.rest = reply.substr(std::min(reply.size(), block.header.size() + length));
    return block;
}

// The values of FORM REAL,32 block data in the emulator's default byte order
// (FORM:BORD SWAPped: least significant byte first).
inline std::vector<float> LittleEndianFloats(const std::string& data) {
    std::vector<float> values(data.size() / 4);
    for (size_t i = 0; i < values.size(); ++i) {
        uint32_t bits = 0;
        for (int b = 3; b >= 0; --b) {
            bits = (bits << 8) | static_cast<uint8_t>(data[4 * i + static_cast<size_t>(b)]);
        }
        std::memcpy(&values[i], &bits, sizeof bits);
    }
    return values;
}

}  // namespace tevo::visa::emulator_tests

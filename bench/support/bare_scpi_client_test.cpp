#include "support/bare_scpi_client.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "tevo/emulator/emulator.h"

namespace tevo::bench {
namespace {

using namespace std::chrono_literals;

TEST(IsQuery, FindsAQueryHeaderInAnyUnitButNotInData) {
    EXPECT_TRUE(IsQuery("SENS:FREQ:STAR?"));
    EXPECT_TRUE(IsQuery("TRAC? TRACE1"));
    EXPECT_TRUE(IsQuery("INIT;*OPC?"));
    EXPECT_TRUE(IsQuery("*CLS;:SENS:FREQ:STAR?;:INIT"));
    EXPECT_FALSE(IsQuery("FORM REAL,32"));
    EXPECT_FALSE(IsQuery("SENS:FREQ:STAR 1.5E9;:INIT"));
    EXPECT_FALSE(IsQuery("SYST:DISP:TEXT 'why?'"));
    EXPECT_FALSE(IsQuery(""));
}

class BareClientAgainstEmulator : public ::testing::Test {
  protected:
    BareClientAgainstEmulator() : emulator_(InstantOptions()) { port_ = emulator_.Start(0); }
    static tevo::emulator::EmulatorOptions InstantOptions() {
        tevo::emulator::EmulatorOptions options;
        options.time_scale = 0;
        return options;
    }

    tevo::emulator::Emulator emulator_;
    uint16_t port_ = 0;
};

TEST_F(BareClientAgainstEmulator, ReadsBinaryBlocksWholeAndStaysInStepWithLineReplies) {
    BareScpiClient client(port_);
    client.Send("FORM REAL,32");
    // SWAP order: the first byte of each float is its least significant.
    client.Send("SENS:SWE:POIN 625;:INIT:CONT OFF");
    EXPECT_EQ(client.Query("INIT;*OPC?"), "1");
    // Two blocks in a row, then a line: each reply ends where it should, whatever bytes
    // (line feeds included) the binary data holds.
    for (int read = 0; read < 2; ++read) {
        const std::string_view block = client.Query("TRAC? TRACE1");
        ASSERT_EQ(block.size(), 625u * 4);
        float first = 0;
        std::memcpy(&first, block.data(), sizeof first);
        EXPECT_GT(first, -200.0f);
        EXPECT_LT(first, 30.0f);
    }
    EXPECT_EQ(client.Query("*OPC?"), "1");
}

TEST_F(BareClientAgainstEmulator, ReadsLongLinesThatArriveInPieces) {
    BareScpiClient client(port_);
    client.Send("FORM ASC;:SENS:SWE:POIN 10001;:INIT:CONT OFF");
    EXPECT_EQ(client.Query("INIT;*OPC?"), "1");
    const std::string line(client.Query("TRAC? TRACE1"));
    EXPECT_EQ(std::count(line.begin(), line.end(), ','), 10000);
    EXPECT_EQ(client.Query("*OPC?"), "1");
}

TEST_F(BareClientAgainstEmulator, ReplaySendsEveryMessageAndReadsOnlyTheQueriesReplies) {
    BareScpiClient client(port_);
    const std::vector<std::string> messages = {"SENS:FREQ:STAR 1.5E9", "SENS:FREQ:STAR?", "*OPC?"};
    // "1500000000" or an exponent form; with "1" for *OPC?.
    const size_t reply_bytes = Replay(client, messages);
    EXPECT_EQ(reply_bytes, emulator_.Execute("SENS:FREQ:STAR?").size() + 1);
    ASSERT_TRUE(emulator_.WaitForMessages(messages.size(), 5s));
    EXPECT_EQ(emulator_.ReceivedMessages(), messages);
}

TEST_F(BareClientAgainstEmulator, ReportsAClosedConnectionInsteadOfWaiting) {
    BareScpiClient client(port_);
    emulator_.InjectFault(tevo::emulator::Fault::CloseConnection("*IDN?"));
    EXPECT_THROW(client.Query("*IDN?"), std::runtime_error);
}

}  // namespace
}  // namespace tevo::bench

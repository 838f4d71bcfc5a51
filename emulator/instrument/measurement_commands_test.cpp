// Trace data over TCP: binary blocks and ASCII, the synthetic spectrum following the
// settings, determinism, trace modes, copy and math.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "client/connected_emulator.h"

using tevo::emulator::ConnectedEmulator;

namespace {

// Single sweeps, binary transfer.
void Prepare(ConnectedEmulator& e) {
    ASSERT_TRUE(e.Send("INIT:CONT OFF;:INIT2:CONT OFF;:FORM REAL,32"));
    ASSERT_EQ(e.Query("INIT;*OPC?"), "1");
}

float LittleEndianFloat(const char* bytes) {
    uint32_t bits = 0;
    for (int i = 3; i >= 0; --i)
        bits = (bits << 8) | static_cast<unsigned char>(bytes[i]);
    return std::bit_cast<float>(bits);
}

std::vector<float> ReadTrace(ConnectedEmulator& e, int trace, int window = 1) {
    EXPECT_TRUE(e.Send("TRAC" + std::to_string(window) + "? TRACE" + std::to_string(trace)));
    const std::optional<std::string> block = e.client.ReadBlock();
    EXPECT_TRUE(block.has_value());
    std::vector<float> values;
    if (!block)
        return values;
    for (size_t i = 0; i + 4 <= block->size(); i += 4)
        values.push_back(LittleEndianFloat(block->data() + i));
    return values;
}

float Median(std::vector<float> values) {
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

float Max(const std::vector<float>& values) {
    return *std::max_element(values.begin(), values.end());
}

}  // namespace

TEST(Traces, RealBlocksCarryThePointCountWithTheRightLengthPrefix) {
    ConnectedEmulator e;
    Prepare(e);
    const std::vector<std::pair<int, std::string>> cases = {
        {101, "#3404"}, {501, "#42004"}, {625, "#42500"}, {1001, "#44004"}, {32001, "#6128004"}};
    for (const auto& [points, header] : cases) {
        SCOPED_TRACE(points);
        ASSERT_TRUE(e.Send("SENS:SWE:POIN " + std::to_string(points)));
        ASSERT_EQ(e.Query("INIT;*OPC?"), "1");
        ASSERT_TRUE(e.Send("TRAC? TRACE1"));
        EXPECT_EQ(e.client.ReadBytes(header.size()), header);
        const auto data = e.client.ReadBytes(static_cast<size_t>(points) * 4);
        ASSERT_TRUE(data.has_value());
        EXPECT_EQ(e.client.ReadLine(), "");  // the line feed right after the block
    }
    EXPECT_EQ(e.NextError(), "0,\"No error\"");
}

TEST(Traces, BlocksWithLineFeedBytesInsideArriveWholeAndMatchTheAsciiForm) {
    ConnectedEmulator e;
    Prepare(e);
    ASSERT_TRUE(e.Send("TRAC? TRACE1"));
    const std::optional<std::string> block = e.client.ReadBlock();
    ASSERT_TRUE(block.has_value());
    ASSERT_EQ(block->size(), 2004u);
    // The default sweep holds 0x0A bytes: a reader that stopped at a line feed would fail.
    EXPECT_NE(block->find('\n'), std::string::npos);
    EXPECT_EQ(e.Query("*OPC?"), "1");  // nothing of the block is left over

    // The same sweep in ASCII: comma-separated NR3 values, equal to the single-precision data.
    ASSERT_TRUE(e.Send("FORM ASC"));
    const std::string ascii = e.Query("TRAC? TRACE1");
    std::stringstream stream(ascii);
    std::string field;
    size_t index = 0;
    while (std::getline(stream, field, ',')) {
        ASSERT_LT(index * 4, block->size());
        EXPECT_EQ(std::strtof(field.c_str(), nullptr), LittleEndianFloat(block->data() + index * 4))
            << index;
        ++index;
    }
    EXPECT_EQ(index, 501u);
}

TEST(Traces, ByteOrderAndDoublePrecision) {
    ConnectedEmulator e;
    Prepare(e);
    const std::vector<float> little = ReadTrace(e, 1);
    ASSERT_TRUE(e.Send("FORM:BORD NORM"));
    ASSERT_TRUE(e.Send("TRAC? TRACE1"));
    const auto big = e.client.ReadBlock();
    ASSERT_TRUE(big.has_value());
    ASSERT_EQ(big->size(), little.size() * 4);
    for (size_t i = 0; i < little.size(); ++i) {
        const char swapped[4] = {(*big)[i * 4 + 3], (*big)[i * 4 + 2], (*big)[i * 4 + 1],
                                 (*big)[i * 4]};
        ASSERT_EQ(LittleEndianFloat(swapped), little[i]);
    }
    ASSERT_TRUE(e.Send("FORM:BORD SWAP;:FORM REAL,64"));
    EXPECT_EQ(e.Query("FORM?"), "REAL,64");
    ASSERT_TRUE(e.Send("TRAC? TRACE1"));
    const auto doubles = e.client.ReadBlock();
    ASSERT_TRUE(doubles.has_value());
    ASSERT_EQ(doubles->size(), little.size() * 8);
    double first = 0;
    std::memcpy(&first, doubles->data(), 8);  // the host is little-endian
    EXPECT_EQ(first, static_cast<double>(little[0]));
    ASSERT_TRUE(e.Send("FORM REAL,16"));
    EXPECT_EQ(e.NextError(), "-224,\"Illegal parameter value\"");
}

TEST(Traces, TheSpectrumFollowsFrequencyLevelBandwidthAndUnits) {
    ConnectedEmulator e;
    Prepare(e);
    ASSERT_TRUE(e.Send("SENS:FREQ:CENT 1 GHZ;SPAN 10 MHZ"));
    ASSERT_EQ(e.Query("INIT;*OPC?"), "1");
    std::vector<float> trace = ReadTrace(e, 1);
    const auto peak = std::max_element(trace.begin(), trace.end());
    EXPECT_NEAR(*peak, -30.0f, 0.5f);  // the 1 GHz carrier
    EXPECT_EQ(peak - trace.begin(), 250);

    // Noise away from the carriers. With the sample detector its statistics do not depend
    // on the bandwidth.
    ASSERT_TRUE(e.Send("SENS:FREQ:CENT 3.5 GHZ;:SENS:DET SAMP;:SENS:BAND 1 MHZ"));
    ASSERT_EQ(e.Query("INIT;*OPC?"), "1");
    const float floor = Median(ReadTrace(e, 1));
    ASSERT_TRUE(e.Send("SENS:BAND 10 KHZ"));  // 20 dB less noise, same carrier level
    ASSERT_EQ(e.Query("INIT;*OPC?"), "1");
    trace = ReadTrace(e, 1);
    EXPECT_NEAR(Median(trace), floor - 20, 3);

    ASSERT_TRUE(e.Send("INP:ATT 30"));  // 20 dB more attenuation: 20 dB more noise
    ASSERT_EQ(e.Query("INIT;*OPC?"), "1");
    EXPECT_NEAR(Median(ReadTrace(e, 1)), floor, 3);

    // The carrier overloads the display 10 dB above the reference level.
    ASSERT_TRUE(e.Send("SENS:FREQ:CENT 1 GHZ;:DISP:WIND:TRAC:Y:RLEV -60"));
    ASSERT_EQ(e.Query("INIT;*OPC?"), "1");
    const std::vector<float> dbm = ReadTrace(e, 1);
    EXPECT_FLOAT_EQ(Max(dbm), -50.0f);
    ASSERT_TRUE(e.Send("UNIT:POW DBMV"));  // the same sweep in another unit
    const std::vector<float> dbmv = ReadTrace(e, 1);
    ASSERT_EQ(dbmv.size(), dbm.size());
    for (size_t i = 0; i < dbm.size(); ++i)
        ASSERT_NEAR(dbmv[i] - dbm[i], 46.9897f, 1e-3f);

    // Screen 2 has its own settings and traces.
    ASSERT_TRUE(e.Send("SENS2:SWE:POIN 101"));
    ASSERT_EQ(e.Query("INIT2;*OPC?"), "1");
    EXPECT_EQ(ReadTrace(e, 1, 2).size(), 101u);
    EXPECT_EQ(ReadTrace(e, 1, 1).size(), 501u);
}

TEST(Traces, TheSameCommandsGiveTheSameDataOnEveryRun) {
    const auto run = [] {
        ConnectedEmulator e;
        Prepare(e);
        EXPECT_EQ(e.Query("SENS:FREQ:CENT 2.4GHZ;SPAN 50MHZ;:INIT;*OPC?"), "1");
        EXPECT_TRUE(e.Send("TRAC? TRACE1"));
        return e.client.ReadBlock();
    };
    const auto first = run();
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(run(), first);
}

TEST(Traces, ModesCopyExchangeAndMath) {
    ConnectedEmulator e;
    Prepare(e);
    ASSERT_TRUE(
        e.Send("DISP:WIND:TRAC2:MODE MAXH;:DISP:WIND:TRAC3:MODE MINH;:DISP:WIND:TRAC4:MODE AVER"));
    ASSERT_TRUE(e.Send("SENS:SWE:COUN 5"));
    ASSERT_EQ(e.Query("INIT;*OPC?"), "1");
    const std::vector<float> write = ReadTrace(e, 1);
    const std::vector<float> max_hold = ReadTrace(e, 2);
    const std::vector<float> min_hold = ReadTrace(e, 3);
    const std::vector<float> average = ReadTrace(e, 4);
    ASSERT_EQ(max_hold.size(), write.size());
    for (size_t i = 0; i < write.size(); ++i) {
        ASSERT_GE(max_hold[i], write[i]);
        ASSERT_LE(min_hold[i], write[i]);
        ASSERT_GE(average[i], min_hold[i]);
        ASSERT_LE(average[i], max_hold[i]);
    }
    EXPECT_GT(Median(max_hold), Median(min_hold) + 3);

    // A trace in view mode keeps its data through a new sweep.
    ASSERT_TRUE(e.Send("DISP:WIND:TRAC2:MODE VIEW"));
    ASSERT_EQ(e.Query("INIT;*OPC?"), "1");
    EXPECT_EQ(ReadTrace(e, 2), max_hold);
    const std::vector<float> trace1 = ReadTrace(e, 1);
    EXPECT_NE(trace1, write);

    ASSERT_TRUE(e.Send("TRAC:COPY TRACE5,TRACE1"));
    EXPECT_EQ(ReadTrace(e, 5), trace1);
    ASSERT_TRUE(e.Send("TRAC:COPY TRACE3,TRACE1;COPY TRACE1,TRACE2;COPY TRACE2,TRACE3"));
    EXPECT_EQ(ReadTrace(e, 1), max_hold);
    EXPECT_EQ(ReadTrace(e, 2), trace1);
    EXPECT_EQ(ReadTrace(e, 3), trace1);

    ASSERT_TRUE(e.Send("CALC:MATH (TRACE1 - TRACE2)"));  // the result goes to trace 1
    const std::vector<float> difference = ReadTrace(e, 1);
    ASSERT_EQ(difference.size(), trace1.size());
    for (size_t i = 0; i < difference.size(); ++i)
        ASSERT_FLOAT_EQ(difference[i], max_hold[i] - trace1[i]);
    EXPECT_EQ(e.NextError(), "0,\"No error\"");

    const auto expect_error = [&](const std::string& message, const std::string& error) {
        ASSERT_TRUE(e.Send(message));
        EXPECT_EQ(e.NextError(), error) << message;
    };
    expect_error("TRAC?", "-109,\"Missing parameter\"");
    expect_error("TRAC? TRACE7", "-141,\"Invalid character data\"");
    expect_error("TRAC:COPY TRACE1", "-109,\"Missing parameter\"");
    expect_error("CALC:MATH TRACE1", "-148,\"Character data not allowed\"");
    expect_error("CALC:MATH (TRACE1 * 2)", "-171,\"Invalid expression\"");
    expect_error("DISP:WIND:TRAC7:MODE VIEW", "-114,\"Header suffix out of range\"");
}

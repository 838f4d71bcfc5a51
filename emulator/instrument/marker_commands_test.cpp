// Markers over TCP: peak search on the synthetic carriers, positions, marker functions,
// the frequency counter and delta markers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "client/connected_emulator.h"

using tevo::emulator::ConnectedEmulator;

namespace {

double Number(const std::string& text) {
    return std::strtod(text.c_str(), nullptr);
}

// Full span of a KLC (0 to 13.6 GHz, 27.2 MHz per point), one single sweep taken.
void Sweep(ConnectedEmulator& e) {
    ASSERT_TRUE(e.Send("INIT:CONT OFF"));
    ASSERT_EQ(e.Query("INIT;*OPC?"), "1");
}

void ExpectError(ConnectedEmulator& e, const std::string& message, const std::string& error) {
    ASSERT_TRUE(e.Send(message));
    EXPECT_EQ(e.NextError(), error) << message;
}

constexpr double kPoint = 13.6e9 / 500;  // frequency step of a full-span trace point

}  // namespace

TEST(Markers, PeakSearchWalksTheCarriersFromHighestDown) {
    ConnectedEmulator e;
    Sweep(e);
    ASSERT_TRUE(e.Send("CALC:MARK:PEXC 15;:CALC:MARK:MAX"));
    EXPECT_NEAR(Number(e.Query("CALC:MARK:X?")), 100e6, kPoint);
    EXPECT_NEAR(Number(e.Query("CALC:MARK:Y?")), -20, 0.5);
    // The next lower peaks: 1 GHz -30 dBm, 5.8 GHz -35 dBm, 2.4 GHz -40 dBm.
    const std::pair<double, double> next[] = {{1e9, -30}, {5.8e9, -35}, {2.4e9, -40}};
    for (const auto& [frequency, level] : next) {
        ASSERT_TRUE(e.Send("CALC:MARK:MAX:NEXT"));
        EXPECT_NEAR(Number(e.Query("CALC:MARK:X?")), frequency, kPoint);
        EXPECT_NEAR(Number(e.Query("CALC:MARK:Y?")), level, 0.5);
    }
    ASSERT_TRUE(e.Send("CALC:MARK:MAX:LEFT"));  // from 2.4 GHz: 1.85 GHz
    EXPECT_NEAR(Number(e.Query("CALC:MARK:X?")), 1.85e9, kPoint);
    ASSERT_TRUE(e.Send("CALC:MARK:MAX:RIGHT"));  // and back
    EXPECT_NEAR(Number(e.Query("CALC:MARK:X?")), 2.4e9, kPoint);
    ASSERT_TRUE(e.Send("CALC:MARK:MIN"));
    EXPECT_LT(Number(e.Query("CALC:MARK:Y?")), -70);

    // With a threshold only the carriers above it are peaks.
    ASSERT_TRUE(e.Send("CALC:THR -25;THR:STAT ON;:CALC:MARK:MAX"));
    EXPECT_NEAR(Number(e.Query("CALC:MARK:X?")), 100e6, kPoint);
    ExpectError(e, "CALC:MARK:MAX:NEXT", "-200,\"Execution error;No peak found\"");
    ExpectError(e, "CALC:THR -10;:CALC:MARK:MAX", "-200,\"Execution error;No peak found\"");
    EXPECT_EQ(e.NextError(), "0,\"No error\"");
}

TEST(Markers, PositionFunctionsCounterAndTraceAssignment) {
    ConnectedEmulator e;
    Sweep(e);
    // A marker that is off has no position: the query gets no reply but an error.
    ExpectError(e, "CALC:MARK:X?", "-221,\"Settings conflict\"");
    ExpectError(e, "CALC:MARK:FUNC:CENT", "-221,\"Settings conflict\"");
    // Setting the position switches the marker on.
    ASSERT_TRUE(e.Send("CALC:MARK:X 1GHZ"));
    EXPECT_EQ(e.Query("CALC:MARK?;:CALC:MARK:X?"), "1;1E+09");
    EXPECT_NEAR(Number(e.Query("CALC:MARK:Y?")), -30, 0.5);
    ExpectError(e, "CALC:MARK:X 20 GHZ", "-222,\"Data out of range\"");

    // The frequency counter finds the carrier within the resolution bandwidth.
    ExpectError(e, "CALC:MARK:COUN:FREQ?", "-221,\"Settings conflict\"");
    ASSERT_TRUE(e.Send("CALC:MARK:X 1.002GHZ;:CALC:MARK:COUN ON;RES 1000"));
    EXPECT_EQ(e.Query("CALC:MARK:COUN:FREQ?"), "1E+09");

    // Marker to center keeps the marker where it is; the span shrinks to fit at 0 Hz.
    ASSERT_TRUE(e.Send("CALC:MARK:X 1GHZ;:CALC:MARK:FUNC:CENT"));
    EXPECT_EQ(e.Query("SENS:FREQ:CENT?;SPAN?"), "1E+09;2E+09");
    ASSERT_EQ(e.Query("INIT;*OPC?"), "1");
    ASSERT_TRUE(e.Send("CALC:MARK:MAX;:CALC:MARK:FUNC:REF"));
    EXPECT_NEAR(Number(e.Query("DISP:WIND:TRAC:Y:RLEV?")), -20, 0.5);
    // Positions outside the span stop at its edge.
    ASSERT_TRUE(e.Send("CALC:MARK:X 5 GHZ"));
    EXPECT_EQ(e.Query("CALC:MARK:X?"), "2E+09");

    ASSERT_TRUE(e.Send("CALC:MARK2:TRAC TRACE3;:CALC:MARK3 ON"));
    EXPECT_EQ(e.Query("CALC:MARK2:TRAC?;:CALC:MARK3:TRAC?;:CALC:MARK3:NAME?"), "3;1;M3");
    ASSERT_TRUE(e.Send("CALC:MARK:AOFF"));
    EXPECT_EQ(e.Query("CALC:MARK1?;:CALC:MARK3?"), "0;0");
    EXPECT_EQ(e.NextError(), "0,\"No error\"");
}

TEST(Markers, DeltaMarkersReadAgainstTheirReference) {
    ConnectedEmulator e;
    Sweep(e);
    ASSERT_TRUE(e.Send("CALC:MARK1:X 1GHZ;:CALC:DELT2:X 100MHZ"));
    EXPECT_EQ(e.Query("CALC:DELT2?;:CALC:MARK2?;:CALC:DELT?;:CALC:MARK2:NAME?"), "1;0;0;D2");
    // Marker 1, a normal marker, is the reference.
    EXPECT_NEAR(Number(e.Query("CALC:DELT2:Y?")), 10, 0.5);  // -20 dBm against -30 dBm
    EXPECT_NEAR(Number(e.Query("CALC:DELT2:X:REL?")), -900e6, 1);
    EXPECT_EQ(e.Query("CALC:DELT2:FUNC:FIX:RPO:X?"), "1E+09");
    EXPECT_NEAR(Number(e.Query("CALC:DELT2:FUNC:FIX:RPO:Y?")), -30, 0.5);
    // Without a normal marker 1 the reference is fixed where the delta marker started.
    ASSERT_TRUE(e.Send("CALC:MARK1 OFF;:CALC:DELT3:X 2.4GHZ"));
    EXPECT_EQ(e.Query("CALC:DELT3:FUNC:FIX:RPO:X?"), "2.4E+09");
    ASSERT_TRUE(e.Send("CALC:DELT3:X 1GHZ"));
    EXPECT_NEAR(Number(e.Query("CALC:DELT3:Y?")), 10, 0.5);  // -30 dBm against -40 dBm
    // The driver's delta switch: CALC1:DELT1 ON makes marker 1 a delta marker.
    ASSERT_TRUE(e.Send("CALC1:DELT1 ON"));
    EXPECT_EQ(e.Query("CALC1:DELT?;:CALC1:MARK1?"), "1;0");
    ASSERT_TRUE(e.Send("CALC1:MARK1 ON"));
    EXPECT_EQ(e.Query("CALC1:DELT?;:CALC1:MARK1?"), "0;1");
    ASSERT_TRUE(e.Send("CALC:DELT2 OFF"));
    EXPECT_EQ(e.Query("CALC:DELT2?"), "0");
    ExpectError(e, "CALC:DELT4:Y?", "-221,\"Settings conflict\"");
    EXPECT_EQ(e.NextError(), "0,\"No error\"");
}

TEST(Markers, SignalTrackKeepsTheSignalInTheCenter) {
    ConnectedEmulator e;
    ASSERT_TRUE(e.Send("INIT:CONT OFF;:SENS:FREQ:CENT 980MHZ;SPAN 100MHZ"));
    ASSERT_EQ(e.Query("INIT;*OPC?"), "1");
    ASSERT_TRUE(e.Send("CALC:MARK ON;:CALC:MARK:FUNC:STR ON"));
    ASSERT_EQ(e.Query("INIT;*OPC?"), "1");
    EXPECT_NEAR(Number(e.Query("SENS:FREQ:CENT?")), 1e9, 100e6 / 500);
    EXPECT_EQ(e.Query("SENS:FREQ:SPAN?"), "1E+08");
}

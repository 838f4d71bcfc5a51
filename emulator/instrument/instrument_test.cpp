// The IEEE 488.2 status model and sweep timing over TCP. Timing is checked by order of
// events (a manual clock, or replies that must come after a sweep), never by wall time.
#include "instrument/instrument.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "client/connected_emulator.h"
#include "scpi/error_codes.h"

using namespace std::chrono_literals;
using tevo::emulator::ConnectedEmulator;
using tevo::emulator::EmulatorOptions;
using tevo::emulator::ManualClockOptions;
using tevo::emulator::ScpiClient;

namespace {

constexpr auto kQuiet = 100ms;  // how long "no reply yet" is watched

// A single-sweep emulator on a manual clock whose sweeps take one second.
ConnectedEmulator OneSecondSweeps() {
    return ConnectedEmulator(ManualClockOptions());
}

}  // namespace

TEST(StatusModel, EventStatusBitsForEachKindOfError) {
    ConnectedEmulator e;
    EXPECT_EQ(e.EventStatus(), 128);  // power on
    EXPECT_EQ(e.EventStatus(), 0);    // read and cleared
    ASSERT_TRUE(e.Send("FOO:BAR 1"));
    EXPECT_EQ(e.EventStatus(), 32);  // command error
    ASSERT_TRUE(e.Send("INP:ATT 99"));
    EXPECT_EQ(e.EventStatus(), 16);  // execution error
    EXPECT_EQ(e.Query("*IDN?;*OPC?"), "Valdacor,KLC,100482,3.12");
    EXPECT_EQ(e.EventStatus(), 4);  // query error: no query after *IDN?
    ASSERT_TRUE(e.Send("SYST:PASS '" + std::string(2u << 20, 'x') + "'"));
    EXPECT_EQ(e.EventStatus(), 8);  // device-dependent: input buffer overrun
    ASSERT_TRUE(e.Send("*OPC"));
    EXPECT_EQ(e.EventStatus(), 1);  // operation complete
    EXPECT_EQ(e.NextError(), "-113,\"Undefined header\"");
    EXPECT_EQ(e.NextError(), "-222,\"Data out of range\"");
    EXPECT_EQ(e.NextError(), "-440,\"Query UNTERMINATED after indefinite response\"");
    EXPECT_EQ(e.NextError(), "-363,\"Input buffer overrun\"");
    EXPECT_EQ(e.NextError(), "0,\"No error\"");
}

TEST(StatusModel, EnableRegistersStatusByteAndClear) {
    ConnectedEmulator e;
    ASSERT_TRUE(e.Send("*ESE 60;*SRE 36"));
    EXPECT_EQ(e.Query("*ESE?;*SRE?"), "60;36");
    EXPECT_EQ(e.Query("*STB?"), "0");  // power-on (128) is not enabled
    ASSERT_TRUE(e.Send("FOO"));
    // Error queue (4), event summary (32) and, both enabled, request service (64).
    EXPECT_EQ(e.Query("*STB?"), "100");
    ASSERT_TRUE(e.Send("*CLS"));
    EXPECT_EQ(e.Query("*STB?;*ESR?;:SYST:ERR:COUN?"), "0;0;0");
    ASSERT_TRUE(e.Send("*ESE 256"));
    EXPECT_EQ(e.NextError(), "-222,\"Data out of range\"");
}

TEST(StatusModel, ErrorQueueKeepsOrderAndReportsOverflow) {
    ConnectedEmulator e;
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(e.Send(i % 2 == 0 ? "BAD:HEADER" : "INP:ATT 1000"));
    EXPECT_EQ(e.Query("SYST:ERR:COUN?"), "16");
    EXPECT_EQ(e.NextError(), "-113,\"Undefined header\"");
    EXPECT_EQ(e.NextError(), "-222,\"Data out of range\"");
    std::string all = e.Query("SYST:ERR:ALL?");
    EXPECT_EQ(all.rfind("-350,\"Queue overflow\""),
              all.size() - std::string("-350,\"Queue overflow\"").size());
    EXPECT_EQ(e.Query("SYST:ERR:COUN?"), "0");
    EXPECT_EQ(e.Query("SYST:ERR:ALL?"), "0,\"No error\"");
    e.emulator.PushError(-300, "Fan failure");
    e.emulator.SetEventStatusBits(0x40);
    EXPECT_EQ(e.Query("SYST:ERR?"), "-300,\"Device-specific error;Fan failure\"");
    EXPECT_EQ(e.EventStatus(), 128 | 0x40 | 32 | 16 | 8);
}

TEST(Sweeps, OperationCompleteWaitsForTheSweepOnTheClock) {
    ConnectedEmulator e = OneSecondSweeps();
    ASSERT_TRUE(e.Send("INIT:CONT OFF;:SENS:SWE:TIME 1;COUN 2"));  // two sweeps of a second
    ASSERT_TRUE(e.Send("INIT;*OPC?"));
    ASSERT_TRUE(e.emulator.WaitForMessages(2, 5s));  // recorded means run up to the wait
    EXPECT_TRUE(e.client.Quiet(kQuiet));
    EXPECT_EQ(e.emulator.Execute("STAT:OPER:COND?"), "8");  // sweeping
    e.emulator.AdvanceClock(1.5s);
    EXPECT_TRUE(e.client.Quiet(kQuiet));
    e.emulator.AdvanceClock(0.6s);
    EXPECT_EQ(e.client.ReadLine(), "1");
    EXPECT_EQ(e.Query("STAT:OPER:COND?"), "0");

    // *OPC sets its bit only once the sweep has ended.
    ASSERT_TRUE(e.Send("INIT;*OPC"));
    EXPECT_EQ(e.EventStatus() & 1, 0);
    e.emulator.AdvanceClock(2.1s);
    EXPECT_EQ(e.EventStatus(), 1);

    // *WAI holds back the next message until the sweep ends; it is not interrupted.
    e.emulator.ClearReceivedMessages();
    ASSERT_TRUE(e.Send("INIT;*WAI"));
    ASSERT_TRUE(e.Send("SENS:SWE:POIN?"));
    ASSERT_TRUE(e.emulator.WaitForMessages(1, 5s));  // the sweep has started
    EXPECT_TRUE(e.client.Quiet(kQuiet));
    e.emulator.AdvanceClock(2.1s);
    EXPECT_EQ(e.client.ReadLine(), "501");
    EXPECT_EQ(e.NextError(), "0,\"No error\"");
}

TEST(Sweeps, ANewMessageInterruptsAWaitingQuery) {
    ConnectedEmulator e = OneSecondSweeps();
    ASSERT_TRUE(e.Send("INIT:CONT OFF;:SENS:SWE:TIME 1"));
    ASSERT_TRUE(e.Send("INIT;*OPC?"));
    ASSERT_TRUE(e.emulator.WaitForMessages(2, 5s));
    EXPECT_TRUE(e.client.Quiet(kQuiet));
    EXPECT_EQ(e.Query("*IDN?"), "Valdacor,KLC,100482,3.12");  // not "1"
    EXPECT_EQ(e.NextError(), "-410,\"Query INTERRUPTED\"");
    EXPECT_EQ(e.EventStatus() & 4, 4);
    // The sweep itself goes on; a second INIT meanwhile is ignored.
    ASSERT_TRUE(e.Send("INIT"));
    EXPECT_EQ(e.NextError(), "-213,\"Init ignored\"");
    e.emulator.AdvanceClock(1.1s);
    EXPECT_EQ(e.Query("*OPC?"), "1");
    EXPECT_TRUE(e.client.Quiet(kQuiet));  // the interrupted reply never comes
}

TEST(Sweeps, AbortEndsTheMeasurementAndCalibrationTakesItsTime) {
    ConnectedEmulator e = OneSecondSweeps();
    ASSERT_TRUE(e.Send("INIT:CONT OFF;:SENS:SWE:TIME 100"));
    ASSERT_TRUE(e.Send("INIT"));
    EXPECT_EQ(e.Query("ABOR;*OPC?"), "1");
    EXPECT_EQ(e.Query("CAL:RES?"), "\"NOT CALIBRATED\"");
    e.emulator.ClearReceivedMessages();
    ASSERT_TRUE(e.Send("*CAL?"));
    ASSERT_TRUE(e.emulator.WaitForMessages(1, 5s));
    EXPECT_TRUE(e.client.Quiet(kQuiet));
    EXPECT_EQ(e.emulator.Execute("STAT:OPER:COND?"), "1");  // calibrating
    e.emulator.AdvanceClock(2.1s);
    EXPECT_EQ(e.client.ReadLine(), "0");
    EXPECT_EQ(e.Query("CAL:RES?"), "\"PASSED\"");
}

TEST(Sweeps, TimeScaleShortensRealSweepsAndTracesChangeOnlyAfterThem) {
    EmulatorOptions options;
    options.time_scale = 0.01;  // a 2 s sweep lasts 20 ms
    ConnectedEmulator e(options);
    ASSERT_TRUE(e.Send("INIT:CONT OFF;:SENS:SWE:TIME 2;:FORM REAL,32"));
    EXPECT_EQ(e.Query("INIT;*OPC?"), "1");
    ASSERT_TRUE(e.Send("TRAC? TRACE1"));
    const auto before = e.client.ReadBlock();
    ASSERT_TRUE(before.has_value());
    ASSERT_TRUE(e.Send("TRAC? TRACE1"));
    EXPECT_EQ(e.client.ReadBlock(), before);  // single sweep: the trace stands still
    EXPECT_EQ(e.Query("INIT;*OPC?"), "1");
    ASSERT_TRUE(e.Send("TRAC? TRACE1"));
    const auto after = e.client.ReadBlock();
    ASSERT_TRUE(after.has_value());
    EXPECT_NE(after, before);  // a new sweep, new noise
    EXPECT_EQ(e.Query("STAT:OPER:COND?"), "0");
    EXPECT_EQ(e.NextError(), "0,\"No error\"");
}

TEST(Sweeps, AClientThatLeavesMidSweepDoesNotHangTheEmulator) {
    ConnectedEmulator e = OneSecondSweeps();
    ASSERT_TRUE(e.Send("INIT:CONT OFF;:SENS:SWE:TIME 5"));
    ASSERT_TRUE(e.Send("INIT;*OPC?"));
    ASSERT_TRUE(e.emulator.WaitForMessages(2, 5s));
    e.client.Close();
    ASSERT_TRUE(e.emulator.WaitForDisconnect(5s));
    ScpiClient next(e.port);
    EXPECT_EQ(next.Query("*IDN?"), "Valdacor,KLC,100482,3.12");
    EXPECT_EQ(next.Query("STAT:OPER:COND?"), "8");  // the sweep goes on without its client
    e.emulator.AdvanceClock(6s);
    EXPECT_EQ(next.Query("*OPC?"), "1");
    EXPECT_EQ(e.emulator.ConnectionCount(), 2u);
}

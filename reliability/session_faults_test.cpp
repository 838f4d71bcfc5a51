// The faults of the wire and of the instrument, each injected by the emulator into a driver
// session and met through the driver's COM interfaces: each call fails with its documented
// error or succeeds, and the session goes on working afterwards with exactly the expected
// messages on the wire and nothing written lost.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "driver_fault_session.h"
#include "fault_summary.h"
#include "testing/thread_watchdog.h"

namespace tevo::reliability {
namespace {

using tevo::driver::E_IVI_CANNOT_RECOVER;
using tevo::driver::E_IVI_INSTRUMENT_STATUS;
using tevo::driver::E_IVI_NOT_INITIALIZED;
using tevo::driver::E_IVI_UNEXPECTED_RESPONSE;
using tevo::driver::testing::kNotInitializedDescription;
using tevo::driver::testing::TakeThreadError;
using tevo::driver::testing::WatchedThreads;
using tevo::emulator::Fault;

const Messages kReadYSequence = {"FORM REAL,32", "INIT:CONT OFF", "INIT;*OPC?", "TRAC? TRACE1"};

std::string HexStatus(HRESULT status) {
    char text[16] = {};
    std::snprintf(text, sizeof text, "0x%08lx", static_cast<unsigned long>(status) & 0xFFFFFFFFUL);
    return text;
}

std::wstring TakenDescription() {
    return TakeThreadError().description;
}

class SessionFaults : public DriverFaultSession {};

TEST_F(SessionFaults, TimeOutInTheMiddleOfAReply) {
    Open(L"DriverTimeout=300");
    // "1.25" arrives, its line feed never does.
    emulator_->InjectFault(Fault::CutReply("SENS1:FREQ:STAR?", 4));
    double start = 0.0;
    EXPECT_EQ(Frequency()->get_Start(&start), E_IVI_CANNOT_RECOVER);
    EXPECT_EQ(TakenDescription(), kTimeoutDescription);
    EXPECT_EQ(Received(), Messages{"SENS1:FREQ:STAR?"});
    // The part of the reply read is not glued to the next one.
    ExpectSessionWorks();
    RecordOutcome("error 30002 (VI_ERROR_TMO), then the next get and put are exact");
}

TEST_F(SessionFaults, LateReplyAfterATimeOutIsNotTakenAsTheNextAnswer) {
    Open(L"DriverTimeout=300");
    emulator_->InjectFault(Fault::DelayReply("SENS1:FREQ:STAR?", std::chrono::milliseconds(900)));
    double start = 0.0;
    EXPECT_EQ(Frequency()->get_Start(&start), E_IVI_CANNOT_RECOVER);
    EXPECT_EQ(TakenDescription(), kTimeoutDescription);
    // On the same connection the stop query would be answered after the late start reply.
    double stop = 0.0;
    EXPECT_EQ(Frequency()->get_Stop(&stop), S_OK);
    EXPECT_EQ(stop, kStopFrequency);
    EXPECT_EQ(Frequency()->get_Start(&start), S_OK);
    EXPECT_EQ(start, kStartFrequency);
    EXPECT_EQ(Received(), (Messages{"SENS1:FREQ:STAR?", "SENS1:FREQ:STOP?", "SENS1:FREQ:STAR?"}));
    ExpectSessionWorks();
    RecordOutcome("error 30002 (VI_ERROR_TMO); the late reply never reaches a later query");
}

TEST_F(SessionFaults, ConnectionRefusedAtInitialize) {
    RunningEmulator closed;
    const Bstr resource = closed.Resource();
    closed->Stop();
    driver_ = tevo::driver::testing::NewDriver();
    EXPECT_EQ(driver_->Initialize(resource.Get(), VARIANT_FALSE, VARIANT_FALSE,
                                  Bstr(L"DriverTimeout=300").Get()),
              E_IVI_CANNOT_RECOVER);
    EXPECT_EQ(TakenDescription(), L"Tevo: Cannot recover.\r\n\nVISA error code:bfff0011");
    VARIANT_BOOL initialized = VARIANT_TRUE;
    EXPECT_EQ(driver_->get_Initialized(&initialized), S_OK);
    EXPECT_EQ(initialized, VARIANT_FALSE);
    double start = 0.0;
    EXPECT_EQ(Frequency()->get_Start(&start), E_IVI_NOT_INITIALIZED);
    EXPECT_EQ(TakenDescription(), kNotInitializedDescription);
    // The same object opens a session to an instrument that is there.
    driver_.Reset();
    Open(L"DriverTimeout=300");
    ExpectSessionWorks();
    RecordOutcome("error 30002 (VI_ERROR_RSRC_NFOUND), object not initialized, usable after");
}

// The emulator drops a client that reads nothing more while it waits for input: a reply cut
// short there is followed by the end of the connection.
class DroppedConnection : public DriverFaultSession {
  protected:
    DroppedConnection() : DriverFaultSession(DroppingOptions()) {}
    static tevo::emulator::EmulatorOptions DroppingOptions() {
        tevo::emulator::EmulatorOptions options = RunningEmulator::InstantOptions();
        options.idle_timeout = std::chrono::milliseconds(1000);
        return options;
    }
};

TEST_F(DroppedConnection, ConnectionDroppedInTheMiddleOfABlock) {
    // The time-out is far longer than the idle time: the drop, not the time-out, ends the
    // read.
    Open(L"DriverTimeout=15000");
    emulator_->Execute("FORM REAL,32");
    constexpr size_t kHeaderBytes = 6;  // "#42004"
    const std::wstring expected =
        L"Tevo: Cannot recover.\r\n\nTrace block: the length field announces 2004 bytes, "
        L"1000 arrived";
    for (const bool read_y : {false, true}) {
        SCOPED_TRACE(read_y ? "ReadY" : "FetchY");
        emulator_->InjectFault(Fault::CutReply("TRAC? TRACE1", kHeaderBytes + 1000));
        TraceArray caller(4, 2.0);
        const HRESULT result =
            read_y ? Trace1()->ReadY(1000, caller.Out()) : Trace1()->FetchY(caller.Out());
        EXPECT_EQ(result, E_IVI_CANNOT_RECOVER);
        EXPECT_EQ(TakenDescription(), expected);
        EXPECT_EQ(caller.Values(), std::vector<double>(4, 2.0)) << "nothing of the cut block";
        EXPECT_EQ(Received(), read_y ? kReadYSequence : Messages{"TRAC? TRACE1"});

        TraceArray whole;
        EXPECT_EQ(read_y ? Trace1()->ReadY(1000, whole.Out()) : Trace1()->FetchY(whole.Out()),
                  S_OK);
        EXPECT_EQ(whole.Values(), InstrumentTrace(*emulator_));
        EXPECT_EQ(Received(), read_y ? kReadYSequence : Messages{"TRAC? TRACE1"});
    }
    ExpectSessionWorks();
    RecordOutcome(
        "FetchY and ReadY fail with error 30002 naming the cut; the caller's array "
        "is untouched; the next reads are whole");
}

TEST_F(SessionFaults, BlockCutShort) {
    Open(L"DriverTimeout=300");
    TraceArray first;
    ASSERT_EQ(Trace1()->ReadY(0, first.Out()), S_OK);
    Received();
    // The block announces 100 bytes and ends after 10 (its "line feed" is one of them).
    emulator_->InjectFault(
        Fault::ReplaceReply("TRAC? TRACE1", "#3100" + std::string(9, 'A') + "\n"));
    TraceArray caller(3, 6.0);
    EXPECT_EQ(Trace1()->FetchY(caller.Out()), E_IVI_CANNOT_RECOVER);
    EXPECT_EQ(TakenDescription(),
              L"Tevo: Cannot recover.\r\n\nTrace block: the length field announces 100 bytes, 10 "
              L"arrived");
    EXPECT_EQ(caller.Values(), std::vector<double>(3, 6.0));
    EXPECT_EQ(Received(), Messages{"TRAC? TRACE1"});
    TraceArray whole;
    EXPECT_EQ(Trace1()->FetchY(whole.Out()), S_OK);
    EXPECT_EQ(whole.Values().size(), kTracePoints);
    EXPECT_EQ(whole.Values(), InstrumentTrace(*emulator_));
    EXPECT_EQ(Received(), Messages{"TRAC? TRACE1"});
    ExpectSessionWorks();
    RecordOutcome("error 30002 naming the cut after the time-out; next FetchY whole");
}

TEST_F(SessionFaults, GarbageReplies) {
    Open(L"DriverTimeout=300");
    const std::string garbage = std::string("\x01\xfe\x00garbage;,\"", 12) + "\n";
    // A trace that is not a block.
    emulator_->Execute("FORM REAL,32");
    emulator_->InjectFault(Fault::ReplaceReply("TRAC? TRACE1", garbage));
    TraceArray caller(2, 3.0);
    EXPECT_EQ(Trace1()->FetchY(caller.Out()), E_IVI_CANNOT_RECOVER);
    EXPECT_NE(TakenDescription().find(L"Trace block: the reply starts"), std::wstring::npos);
    EXPECT_EQ(caller.Values(), std::vector<double>(2, 3.0));
    // An error queue entry that is no "<code>,\"<text>\"".
    emulator_->InjectFault(Fault::ReplaceReply("SYST:ERR?", garbage));
    LONG code = 5;
    Bstr message;
    EXPECT_EQ(Utility()->ErrorQuery(&code, &message), E_IVI_UNEXPECTED_RESPONSE);
    EXPECT_EQ(TakenDescription(),
              L"Tevo: IDS_E_IVI_UNEXPECTED_RESPONSE\r\n\nMethod: Error Query, Reason: Bad "
              L"Response string");
    // A number that is none reads as the C library reads it: zero.
    emulator_->InjectFault(Fault::ReplaceReply("SENS1:FREQ:STOP?", garbage));
    double stop = -1.0;
    EXPECT_EQ(Frequency()->get_Stop(&stop), S_OK);
    EXPECT_EQ(stop, 0.0);
    EXPECT_EQ(Received(), (Messages{"TRAC? TRACE1", "SYST:ERR?", "SENS1:FREQ:STOP?"}));

    // Each next exchange gets its own answer.
    emulator_->PushError(-222);
    EXPECT_EQ(Utility()->ErrorQuery(&code, &message), S_OK);
    EXPECT_EQ(code, -222);
    EXPECT_EQ(message.ToWide(), L"Data out of range");
    EXPECT_EQ(Frequency()->get_Stop(&stop), S_OK);
    EXPECT_EQ(stop, kStopFrequency);
    TraceArray whole;
    EXPECT_EQ(Trace1()->FetchY(whole.Out()), S_OK);
    EXPECT_EQ(whole.Values(), InstrumentTrace(*emulator_));
    EXPECT_EQ(Received(), (Messages{"SYST:ERR?", "SENS1:FREQ:STOP?", "TRAC? TRACE1"}));
    ExpectSessionWorks();
    RecordOutcome(
        "FetchY 30002, ErrorQuery unexpected response, real property reads 0; "
        "every next exchange exact");
}

TEST_F(SessionFaults, OverLongReplies) {
    Open(L"DriverTimeout=2000");
    // A number followed by 256 KiB of digits: read as far as the driver reads, the rest is
    // dropped before the next query.
    emulator_->InjectFault(Fault::ReplaceReply(
        "SENS1:FREQ:STAR?", "1250000000." + std::string(256 * 1024, '0') + "\n"));
    double start = 0.0;
    EXPECT_EQ(Frequency()->get_Start(&start), S_OK);
    EXPECT_EQ(start, kStartFrequency);
    double stop = 0.0;
    EXPECT_EQ(Frequency()->get_Stop(&stop), S_OK);
    EXPECT_EQ(stop, kStopFrequency);
    // An error message far longer than any the instrument has.
    emulator_->InjectFault(
        Fault::ReplaceReply("SYST:ERR?", "-222,\"" + std::string(64 * 1024, 'x') + "\"\n"));
    LONG code = 0;
    Bstr message;
    const HRESULT long_error = Utility()->ErrorQuery(&code, &message);
    TakeThreadError();
    EXPECT_EQ(Received(), (Messages{"SENS1:FREQ:STAR?", "SENS1:FREQ:STOP?", "SYST:ERR?"}));
    emulator_->PushError(-113);
    EXPECT_EQ(Utility()->ErrorQuery(&code, &message), S_OK);
    EXPECT_EQ(code, -113);
    EXPECT_EQ(message.ToWide(), L"Undefined header");
    EXPECT_EQ(Received(), Messages{"SYST:ERR?"});
    ExpectSessionWorks();
    RecordOutcome("long number read to its value, long error message gives " +
                  HexStatus(long_error) + "; the rest of both never reaches the next query");
}

TEST_F(SessionFaults, EventStatusErrorBits) {
    Open(L"DriverTimeout=2000,QueryInstrStatus=true");
    emulator_->PushError(-222, "start frequency");
    EXPECT_EQ(Frequency()->put_Start(1.5e9), E_IVI_INSTRUMENT_STATUS);
    EXPECT_EQ(TakenDescription(),
              L"Tevo: Instrument status error.\r\n\nInstrument error detected.  Use "
              L"ErrorQuery() to determine the error(s).");
    EXPECT_EQ(Received(2), (Messages{"SENS1:FREQ:STAR 1500000000.000000", "*ESR?"}));
    // The value was written all the same.
    EXPECT_EQ(std::stod(emulator_->Execute("SENS1:FREQ:STAR?")), 1.5e9);
    LONG code = 0;
    Bstr message;
    EXPECT_EQ(Utility()->ErrorQuery(&code, &message), S_OK);
    EXPECT_EQ(code, -222);
    EXPECT_EQ(Received(), (Messages{"SYST:ERR?", "*ESR?"}));
    // *ESR? cleared the register: the next calls pass their status checks.
    double start = 0.0;
    EXPECT_EQ(Frequency()->get_Start(&start), VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(start, 1.5e9);
    EXPECT_EQ(Received(), (Messages{"SENS1:FREQ:STAR?", "*ESR?"}));
    EXPECT_EQ(Frequency()->put_Start(kStartFrequency), VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(Received(), (Messages{"SENS1:FREQ:STAR 1250000000.000000", "*ESR?"}));
    EXPECT_EQ(std::stod(emulator_->Execute("SENS1:FREQ:STAR?")), kStartFrequency);
    RecordOutcome(
        "put written, then error 30003 'Instrument error detected'; ErrorQuery "
        "names it; later checks pass");
}

TEST_F(SessionFaults, InstrumentStopsAnsweringDuringReadY) {
    Open(L"DriverTimeout=300");
    emulator_->InjectFault(Fault::NoReply("INIT;*OPC?"));
    struct Shared {
        std::atomic<HRESULT> result{S_OK};
        std::wstring description;
        std::vector<double> values;
    };
    auto shared = std::make_shared<Shared>();
    ComPtr<ITevoTrace> trace = Trace1();
    WatchedThreads threads;
    threads.Start([shared, trace] {
        TraceArray caller(3, 6.0);
        shared->result = trace->ReadY(0x7FFFFFFF, caller.Out());
        shared->description = TakeThreadError().description;
        shared->values = caller.Values();
    });
    ASSERT_TRUE(threads.JoinWithin(tevo::driver::testing::kWatchdogLimit))
        << "ReadY did not end at its time-out";
    EXPECT_EQ(shared->result.load(), E_IVI_CANNOT_RECOVER);
    EXPECT_EQ(shared->description, kTimeoutDescription);
    EXPECT_EQ(shared->values, std::vector<double>(3, 6.0));
    EXPECT_EQ(Received(), (Messages{"FORM REAL,32", "INIT:CONT OFF", "INIT;*OPC?"}));

    TraceArray whole;
    EXPECT_EQ(trace->ReadY(0, whole.Out()), S_OK);
    EXPECT_EQ(whole.Values(), InstrumentTrace(*emulator_));
    EXPECT_EQ(Received(), kReadYSequence);
    ExpectSessionWorks();
    RecordOutcome("ReadY ends at the time-out with error 30002 (VI_ERROR_TMO); next ReadY whole");
}

}  // namespace
}  // namespace tevo::reliability

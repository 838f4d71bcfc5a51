// Trace math, service, calibration and raw SCPI against the emulator: exact commands, the
// traces they change, the calibration answer that must not become another query's reply,
// and replies with and without a final line feed up to the raw query's limit.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "operations/operation_test_context.h"
#include "operations/raw_io.h"
#include "operations/service_calibration.h"
#include "operations/trace_acquisition.h"
#include "operations/trace_math.h"
#include "session/error_codes.h"

namespace tevo::driver {
namespace {

using namespace tevo::driver::testing;
using namespace tevo::driver::operations;
using Messages = std::vector<std::string>;

std::vector<float> InstrumentTrace(tevo::emulator::Emulator& emulator, int trace) {
    emulator.Execute("FORM REAL,32");
    const std::string reply = emulator.Execute("TRAC? TRACE" + std::to_string(trace));
    EXPECT_GE(reply.size(), 2u);
    const size_t digits = static_cast<size_t>(reply[1] - '0');
    const size_t length = std::stoul(reply.substr(2, digits));
    std::vector<float> values(length / 4);
    std::memcpy(values.data(), reply.data() + 2 + digits, values.size() * 4);
    return values;
}

std::vector<float> Shifted(std::vector<float> values, float offset) {
    for (float& value : values) {
        value += offset;
    }
    return values;
}

class TraceMath : public OperationSession {
  protected:
    // Freezes the traces after one sweep; trace 2 holds the sweep, trace 1 the sweep
    // minus 10 dB, so every trace is known and the two differ.
    void PrepareTraces() {
        emulator_->Execute("INIT:CONT OFF");
        emulator_->Execute("INIT");
        emulator_->Execute("TRAC:COPY TRACE2,TRACE1");
        emulator_->Execute("CALC:MATH (TRACE1 - 10)");
        sweep_ = InstrumentTrace(*emulator_, 2);
        ASSERT_FALSE(sweep_.empty());
        ASSERT_EQ(InstrumentTrace(*emulator_, 1), Shifted(sweep_, -10.0f));
    }
    std::vector<float> sweep_;
};

TEST_F(TraceMath, ExchangeUsesTraceThreeAsScratch) {
    Open();
    PrepareTraces();
    EXPECT_EQ(TevoTracesMathExchange(Context(), Bstr(L"TRACE1").Get(), Bstr(L"TRACE2").Get()),
              S_OK);
    EXPECT_EQ(Sent(), Messages{"TRAC:COPY TRACE3,TRACE1;COPY TRACE1,TRACE2;COPY TRACE2,TRACE3"});
    EXPECT_EQ(InstrumentTrace(*emulator_, 1), sweep_);
    EXPECT_EQ(InstrumentTrace(*emulator_, 2), Shifted(sweep_, -10.0f));
    EXPECT_EQ(InstrumentTrace(*emulator_, 3), Shifted(sweep_, -10.0f));
}

TEST_F(TraceMath, CopyAddAndSubtract) {
    Open();
    PrepareTraces();
    EXPECT_EQ(TevoTracesMathCopy(Context(), Bstr(L"TRACE3").Get(), Bstr(L"TRACE1").Get()), S_OK);
    EXPECT_EQ(Sent(), Messages{"TRAC:COPY TRACE3,TRACE1"});
    EXPECT_EQ(InstrumentTrace(*emulator_, 3), Shifted(sweep_, -10.0f));

    // Trace 2 - trace 1 is 10 dB everywhere; the result shows in trace 1.
    EXPECT_EQ(TevoTracesMathSubtract(Context(), Bstr(L"TRACE4").Get(), Bstr(L"TRACE2").Get(),
                                     Bstr(L"TRACE1").Get()),
              S_OK);
    EXPECT_EQ(Sent(), Messages{"CALC:MATH (TRACE2 - TRACE1)"});
    const std::vector<float> difference = InstrumentTrace(*emulator_, 1);
    ASSERT_EQ(difference.size(), sweep_.size());
    for (const float value : difference) {
        EXPECT_NEAR(value, 10.0f, 1e-3f);
    }
    EXPECT_EQ(SpecAnTracesMathAdd(Context(), Bstr(L"TRACE3").Get(), Bstr(L"TRACE1").Get(),
                                  Bstr(L"TRACE2").Get()),
              S_OK);
    EXPECT_EQ(Sent(), Messages{"CALC:MATH (TRACE1 + TRACE2)"});
    const std::vector<float> sum = InstrumentTrace(*emulator_, 1);
    ASSERT_EQ(sum.size(), sweep_.size());
    for (size_t i = 0; i < sum.size(); ++i) {
        EXPECT_NEAR(sum[i], sweep_[i] + 10.0f, 1e-3f);
    }
}

class ServiceAndCalibration : public OperationSession {};

TEST_F(ServiceAndCalibration, ServiceFunctionIsSentAsGiven) {
    Open();
    emulator_->Execute("SYST:PASS '573018'");
    EXPECT_EQ(ServiceFunction(Context(), Bstr(L"'2.0.2.1'").Get()), S_OK);
    EXPECT_EQ(Sent(), Messages{"DIAG:SERV:SFUN '2.0.2.1'"});
    EXPECT_EQ(emulator_->Execute("DIAG:SERV:SFUN:LAST?"), "\"2.0.2.1\"");
}

TEST_F(ServiceAndCalibration, ResultsAfterInitiateAreTheResultsNotTheCalibrationAnswer) {
    Open();
    EXPECT_EQ(CalibrationInitiate(Context()), S_OK);
    EXPECT_TRUE(emulator_->WaitForMessages(1, std::chrono::seconds(10)));
    Bstr results;
    ASSERT_EQ(CalibrationGetResults(Context(), &results), S_OK);
    const std::string expected = emulator_->Execute("CAL:RES?");
    EXPECT_NE(results.ToUtf8(), "0");
    EXPECT_EQ(results.ToUtf8(), expected);
    EXPECT_EQ(Sent(), (Messages{"*CAL?", "CAL:RES?"}));
    EXPECT_EQ(CalibrationGetResults(Context(), nullptr), E_IVI_NULL_POINTER);
}

TEST_F(ServiceAndCalibration, OwedAnswerIsTakenOutOfTheWayOfEveryReadingOperation) {
    Open(L"Simulate=false,QueryInstrumentStatus=true");
    ASSERT_EQ(CalibrationInitiate(Context()), S_OK);
    Bstr reply;
    ASSERT_EQ(RawQuery(Context(), Bstr(L"SENS1:SWE:POIN?").Get(), &reply), S_OK);
    EXPECT_EQ(reply.ToWide(), L"501");
    ASSERT_EQ(CalibrationInitiate(Context()), S_OK);
    SAFEARRAY* trace = nullptr;
    ASSERT_EQ(ReadY(Context(), 1, 0, &trace), S_OK);
    LONG upper = -1;
    SafeArrayGetUBound(trace, 1, &upper);
    EXPECT_EQ(upper, 500);
    SafeArrayDestroy(trace);
}

TEST_F(ServiceAndCalibration, SimulationAnswersWithoutIo) {
    Open(L"Simulate=true");
    EXPECT_EQ(CalibrationInitiate(Context()), S_OK);
    Bstr results;
    ASSERT_EQ(CalibrationGetResults(Context(), &results), S_OK);
    EXPECT_EQ(results.ToWide(), L"Simulated string");
    Bstr reply;
    ASSERT_EQ(RawQuery(Context(), Bstr(L"*IDN?").Get(), &reply), S_OK);
    EXPECT_EQ(reply.ToWide(), L"Simulated string");
    BYTE buffer[4] = {1, 2, 3, 4};
    EXPECT_EQ(RawRead(Context(), 4, buffer), S_OK);
    EXPECT_EQ(buffer[0], 1);
    EXPECT_EQ(buffer[3], 4);
    EXPECT_EQ(ServiceFunction(Context(), Bstr(L"1").Get()), S_OK);
    EXPECT_EQ(emulator_->ReceivedMessages(), Messages{});
}

// A calibration that takes time: the answer is awaited for the I/O time-out at most.
class SlowCalibration : public OperationSession {
  protected:
    SlowCalibration() : OperationSession(ManualClock()) {}
    static tevo::emulator::EmulatorOptions ManualClock() {
        tevo::emulator::EmulatorOptions options;
        options.manual_clock = true;
        return options;
    }
};

TEST_F(SlowCalibration, AnswerThatNeverComesIsATimeoutAndTheSessionRecovers) {
    Open();
    ASSERT_EQ(viSetAttribute(Context().AttributeIo().Instrument(), VI_ATTR_TMO_VALUE, 300),
              VI_SUCCESS);
    ASSERT_EQ(CalibrationInitiate(Context()), S_OK);
    Bstr results;
    EXPECT_EQ(CalibrationGetResults(Context(), &results), E_IVI_CANNOT_RECOVER);
    EXPECT_EQ(results.Get(), nullptr);
    Bstr reply;
    ASSERT_EQ(RawQuery(Context(), Bstr(L"SENS1:SWE:POIN?").Get(), &reply), S_OK);
    EXPECT_EQ(reply.ToWide(), L"501");
}

class RawIo : public OperationSession {};

TEST_F(RawIo, QueryStripsOneLineFeedAndKeepsAReplyWithoutOne) {
    Open();
    emulator_->ExpectQuery("SYST:VERS?", "1999.0");
    Bstr reply;
    ASSERT_EQ(RawQuery(Context(), Bstr(L"SYST:VERS?").Get(), &reply), S_OK);
    EXPECT_EQ(reply.ToWide(), L"1999.0");
    // A definite-length block ends by its length: no line feed follows it here.
    emulator_->InjectFault(tevo::emulator::Fault::ReplaceReply("*OPT?", "#15ab\ncd"));
    ASSERT_EQ(RawQuery(Context(), Bstr(L"*OPT?").Get(), &reply), S_OK);
    EXPECT_EQ(reply.ToWide(), L"#15ab\ncd");
    ASSERT_EQ(RawQuery(Context(), Bstr(L"SENS1:SWE:POIN?").Get(), &reply), S_OK);
    EXPECT_EQ(reply.ToWide(), L"501");
    EXPECT_EQ(RawQuery(Context(), Bstr(L"*IDN?").Get(), nullptr), E_IVI_NULL_POINTER);
    EXPECT_NE(TakeThreadError().description.find(L"Method: Query, Param: pResult"),
              std::wstring::npos);
}

TEST_F(RawIo, QueryTakesAReplyOfTheWholeLimitInOneRead) {
    Open();
    const std::string text(static_cast<size_t>(kRawQueryReplyLimit) - 1, 'x');
    emulator_->ExpectQuery("SYST:VERS?", text);
    Bstr reply;
    ASSERT_EQ(RawQuery(Context(), Bstr(L"SYST:VERS?").Get(), &reply), S_OK);
    EXPECT_EQ(reply.Length(), text.size());
    ASSERT_EQ(RawQuery(Context(), Bstr(L"SENS1:SWE:POIN?").Get(), &reply), S_OK);
    EXPECT_EQ(reply.ToWide(), L"501");
}

TEST_F(RawIo, WriteKeepsPercentSignsAndReadTakesRawBytes) {
    Open();
    emulator_->Execute("SYST:PASS '573018'");
    EXPECT_EQ(RawWrite(Context(), Bstr(L"DIAG:SERV:SFUN '%d%s'").Get()), S_OK);
    EXPECT_EQ(Sent(), Messages{"DIAG:SERV:SFUN '%d%s'"});
    EXPECT_EQ(emulator_->Execute("DIAG:SERV:SFUN:LAST?"), "\"%d%s\"");
    ASSERT_EQ(RawWrite(Context(), Bstr(L"SENS1:SWE:POIN?").Get()), S_OK);
    BYTE buffer[4] = {};
    ASSERT_EQ(RawRead(Context(), 4, buffer), S_OK);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 4), "501\n");
    EXPECT_EQ(RawRead(Context(), 4, nullptr), E_IVI_NULL_POINTER);
}

}  // namespace
}  // namespace tevo::driver

// Sweeps and trace reads against the emulator: blocks of every header size, traces longer
// than one buffer, the caller's array, malformed headers, time-outs and simulation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "operations/operation_test_context.h"
#include "operations/trace_acquisition.h"
#include "session/error_codes.h"
#include "translate/trace_names.h"

namespace tevo::driver {
namespace {

using namespace tevo::driver::testing;
using namespace tevo::driver::operations;
using Messages = std::vector<std::string>;

// Little-endian bytes of the values, as "FORM REAL,32" with swapped byte order sends them.
std::string FloatBytes(const std::vector<float>& values) {
    std::string bytes;
    for (const float value : values) {
        std::uint32_t bits = 0;
        std::memcpy(&bits, &value, sizeof bits);
        for (int i = 0; i < 4; ++i) {
            bytes.push_back(static_cast<char>((bits >> (8 * i)) & 0xFF));
        }
    }
    return bytes;
}

std::string Block(const std::string& data) {
    const std::string length = std::to_string(data.size());
    return "#" + std::to_string(length.size()) + length + data;
}

std::vector<float> Ramp(size_t count) {
    std::vector<float> values;
    for (size_t i = 0; i < count; ++i) {
        values.push_back(-100.1f + 0.37f * static_cast<float>(i));
    }
    return values;
}

// The values the emulator holds for a trace, decoded from its own binary answer.
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

SAFEARRAY* FilledArray(LONG count, double fill) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_R8, 0, static_cast<ULONG>(count));
    double* data = nullptr;
    SafeArrayAccessData(array, reinterpret_cast<void**>(&data));
    std::fill(data, data + count, fill);
    SafeArrayUnaccessData(array);
    return array;
}

std::vector<double> Elements(SAFEARRAY* array) {
    if (array == nullptr) {
        return {};
    }
    LONG lower = 0;
    LONG upper = -1;
    SafeArrayGetLBound(array, 1, &lower);
    SafeArrayGetUBound(array, 1, &upper);
    std::vector<double> values(static_cast<size_t>(upper - lower + 1));
    double* data = nullptr;
    SafeArrayAccessData(array, reinterpret_cast<void**>(&data));
    std::copy(data, data + values.size(), values.begin());
    SafeArrayUnaccessData(array);
    return values;
}

std::vector<double> Widened(const std::vector<float>& values) {
    return {values.begin(), values.end()};
}

// Owns the caller's array of one call.
struct CallerArray {
    SAFEARRAY* array = nullptr;
    ~CallerArray() {
        if (array != nullptr) {
            SafeArrayDestroy(array);
        }
    }
};

void SetIoTimeout(OperationContext& context, ViUInt32 milliseconds) {
    ASSERT_EQ(viSetAttribute(context.AttributeIo().Instrument(), VI_ATTR_TMO_VALUE, milliseconds),
              VI_SUCCESS);
}

class TraceAcquisition : public OperationSession {};

TEST_F(TraceAcquisition, BlocksOfEveryLengthFieldSizeFillTheirValuesOnly) {
    Open();
    // Four length digits: 501 values, the elements after them keep their contents.
    const std::vector<float> values = Ramp(501);
    emulator_->ExpectQuery("TRAC? TRACE1", Block(FloatBytes(values)));
    CallerArray caller{FilledArray(600, 7.5)};
    ASSERT_EQ(FetchY(Context(), 1, &caller.array), S_OK);
    std::vector<double> expected = Widened(values);
    expected.resize(600, 7.5);
    EXPECT_EQ(Elements(caller.array), expected);

    // Three digits, 100 bytes: 25 values.
    emulator_->ExpectQuery("TRAC? TRACE1", Block(FloatBytes(Ramp(25))));
    CallerArray three{FilledArray(25, 0.0)};
    ASSERT_EQ(FetchY(Context(), 1, &three.array), S_OK);
    EXPECT_EQ(Elements(three.array), Widened(Ramp(25)));

    // One digit ("#18"): 2 values; a count of 10 bytes also gives 2 (the remainder is
    // ignored).
    emulator_->ExpectQuery("TRAC? TRACE1", Block(FloatBytes({0.1f, -3.25f})));
    CallerArray one{FilledArray(2, 9.0)};
    ASSERT_EQ(FetchY(Context(), 1, &one.array), S_OK);
    EXPECT_EQ(Elements(one.array), (std::vector<double>{0.1f, -3.25f}));
    emulator_->ExpectQuery("TRAC? TRACE1", Block(FloatBytes({1.5f, 2.5f}) + "xy"));
    CallerArray ten{FilledArray(3, 9.0)};
    ASSERT_EQ(FetchY(Context(), 1, &ten.array), S_OK);
    EXPECT_EQ(Elements(ten.array), (std::vector<double>{1.5, 2.5, 9.0}));

    // "#0": no values, success, the array untouched.
    emulator_->ExpectQuery("TRAC? TRACE1", "#0");
    CallerArray none{FilledArray(2, 4.0)};
    ASSERT_EQ(FetchY(Context(), 1, &none.array), S_OK);
    EXPECT_EQ(Elements(none.array), (std::vector<double>{4.0, 4.0}));
    EXPECT_EQ(emulator_->VerifyScript(), Messages{});
}

TEST_F(TraceAcquisition, LongTracesArriveWholeAndTheNextQueryGetsItsOwnReply) {
    Open();
    for (const int points : {625, 10001}) {
        emulator_->Execute("SENS1:SWE:POIN " + std::to_string(points));
        CallerArray caller;
        ASSERT_EQ(ReadY(Context(), 1, 0, &caller.array), S_OK) << points;
        const std::vector<double> got = Elements(caller.array);
        ASSERT_EQ(got.size(), static_cast<size_t>(points));
        EXPECT_EQ(got, Widened(InstrumentTrace(*emulator_, 1)));
        std::wstring reply;
        ASSERT_EQ(
            Context().AttributeIo().QueryText(L"SENS1:SWE:POIN?", &reply, 100, kSessionTimeout),
            S_OK);
        EXPECT_EQ(reply, std::to_wstring(points));
    }
}

TEST_F(TraceAcquisition, CallersArrayIsCreatedEnlargedOrRefusedBeforeAnyIo) {
    Open();
    emulator_->ExpectQuery("TRAC? TRACE1", Block(FloatBytes(Ramp(25))));
    CallerArray created;
    ASSERT_EQ(FetchY(Context(), 1, &created.array), S_OK);
    EXPECT_EQ(Elements(created.array), Widened(Ramp(25)));

    emulator_->ExpectQuery("TRAC? TRACE1", Block(FloatBytes(Ramp(25))));
    CallerArray short_array{FilledArray(10, 3.0)};
    ASSERT_EQ(FetchY(Context(), 1, &short_array.array), S_OK);
    EXPECT_EQ(Elements(short_array.array), Widened(Ramp(25)));
    // An array made without a recorded element type but with 8-byte plain elements.
    CallerArray bare;
    ASSERT_EQ(SafeArrayAllocDescriptor(1, &bare.array), S_OK);
    bare.array->cbElements = sizeof(double);
    bare.array->rgsabound[0] = {25, 0};
    ASSERT_EQ(SafeArrayAllocData(bare.array), S_OK);
    emulator_->ExpectQuery("TRAC? TRACE1", Block(FloatBytes(Ramp(25))));
    ASSERT_EQ(FetchY(Context(), 1, &bare.array), S_OK);
    EXPECT_EQ(Elements(bare.array), Widened(Ramp(25)));
    EXPECT_EQ(emulator_->VerifyScript(), Messages{});
    emulator_->ClearScript();
    Sent();

    CallerArray longs{SafeArrayCreateVector(VT_I4, 0, 30)};
    EXPECT_EQ(FetchY(Context(), 1, &longs.array), E_IVI_INVALID_VALUE);
    SAFEARRAYBOUND bounds[2] = {{5, 0}, {5, 0}};
    CallerArray square{SafeArrayCreate(VT_R8, 2, bounds)};
    EXPECT_EQ(ReadY(Context(), 1, 0, &square.array), E_IVI_INVALID_VALUE);
    const ThreadError error = TakeThreadError();
    ASSERT_TRUE(error.present);
    EXPECT_NE(error.description.find(L"Method: ReadY, Param:Amplitude"), std::wstring::npos)
        << error.description;
    EXPECT_EQ(Sent(), Messages{});
}

TEST_F(TraceAcquisition, MalformedHeadersFailNamingTheFaultAndWriteNothing) {
    Open();
    SetIoTimeout(Context(), 500);
    struct Case {
        std::string reply;
        const wchar_t* names;
    };
    const std::vector<Case> cases = {
        {"-87.5,-90.25", L"not with '#'"},
        {"#A123", L"not a digit 1 to 9"},
        {"#3X00" + FloatBytes(Ramp(25)), L"is not decimal"},
        {"#3100" + FloatBytes(Ramp(2)), L"announces 100 bytes, 9 arrived"},
    };
    for (const Case& c : cases) {
        emulator_->ExpectQuery("TRAC? TRACE1", c.reply);
        CallerArray caller{FilledArray(4, 2.0)};
        EXPECT_EQ(FetchY(Context(), 1, &caller.array), E_IVI_CANNOT_RECOVER) << c.reply;
        const ThreadError error = TakeThreadError();
        ASSERT_TRUE(error.present);
        EXPECT_NE(error.description.find(c.names), std::wstring::npos) << error.description;
        EXPECT_EQ(Elements(caller.array), (std::vector<double>(4, 2.0)));
        // The session is usable again at once.
        std::wstring reply;
        EXPECT_EQ(
            Context().AttributeIo().QueryText(L"SENS1:SWE:POIN?", &reply, 100, kSessionTimeout),
            S_OK);
        EXPECT_EQ(reply, L"501");
    }
    // A client that left the instrument in ASCII format gets a clear error, no garbage.
    emulator_->ClearScript();
    emulator_->Execute("FORM ASC");
    CallerArray caller;
    EXPECT_EQ(FetchY(Context(), 1, &caller.array), E_IVI_CANNOT_RECOVER);
    EXPECT_EQ(caller.array, nullptr);
}

TEST_F(TraceAcquisition, ReadYIgnoresMaxTimeAndSendsTheSweepSequence) {
    Open();
    for (const LONG max_time : {0, -1, 0x7FFFFFFF}) {
        CallerArray caller;
        ASSERT_EQ(ReadY(Context(), 1, max_time, &caller.array), S_OK);
        EXPECT_EQ(Elements(caller.array).size(), 501u);
        EXPECT_EQ(Sent(),
                  (Messages{"FORM REAL,32", "INIT:CONT OFF", "INIT;*OPC?", "TRAC? TRACE1"}));
    }
    EXPECT_EQ(emulator_->Execute("INIT:CONT?"), "0");
}

TEST_F(TraceAcquisition, SecondTraceOfBothListsIsTraceNumberTwo) {
    Open();
    emulator_->Execute("FORM REAL,32");
    const auto number_of = [](const auto& names, const wchar_t* name) {
        const auto found = std::find_if(names.begin(), names.end(), [&](const wchar_t* entry) {
            return std::wstring(entry) == name;
        });
        EXPECT_NE(found, names.end()) << name;
        return TraceNumberOfIndex(static_cast<int>(found - names.begin()));
    };
    for (const int number :
         {number_of(kSpecAnTraceNames, L"SpecAnTrace2"), number_of(kTevoTraceNames, L"Trace2")}) {
        CallerArray caller;
        ASSERT_EQ(FetchY(Context(), number, &caller.array), S_OK);
        EXPECT_EQ(Sent(), Messages{"TRAC? TRACE2"});
        EXPECT_EQ(Elements(caller.array), Widened(InstrumentTrace(*emulator_, 2)));
    }
}

TEST_F(TraceAcquisition, CollectionCommandsAndTheClassCompliantForwards) {
    Open();
    EXPECT_EQ(TevoTracesInitiate(Context()), S_OK);
    EXPECT_EQ(TevoTracesAbort(Context()), S_OK);
    EXPECT_EQ(TevoTracesSendSoftwareTrigger(Context()), S_OK);
    EXPECT_EQ(Sent(), (Messages{"INIT;*WAI", "ABOR", "*TRG"}));
    EXPECT_EQ(SpecAnTracesInitiate(Context()), S_OK);
    EXPECT_EQ(SpecAnTracesAbort(Context()), S_OK);
    EXPECT_EQ(SpecAnTracesSendSoftwareTrigger(Context()), S_OK);
    EXPECT_EQ(Sent(), (Messages{"INIT;*WAI", "ABOR"}));
    EXPECT_EQ(TevoTracesAcquisitionStatus(Context(), nullptr), E_IVI_NULL_POINTER);
    EXPECT_EQ(SpecAnTracesAcquisitionStatus(Context(), nullptr), E_IVI_NULL_POINTER);
    EXPECT_EQ(FetchY(Context(), 1, nullptr), E_IVI_NULL_POINTER);
    EXPECT_EQ(Sent(), Messages{});
}

TEST_F(TraceAcquisition, UnknownSweepStateReplyFailsWithStatusStillComplete) {
    Open();
    emulator_->ExpectQuery("STAT:OPER:COND?", "16");
    TevoAcquisitionStatusEnum status = TevoAcquisitionStatusUnknown;
    EXPECT_EQ(TevoTracesAcquisitionStatus(Context(), &status), E_FAIL);
    EXPECT_EQ(status, TevoAcquisitionStatusComplete);
    EXPECT_FALSE(TakeThreadError().present);
}

TEST_F(TraceAcquisition, SimulationGivesOneHundredZerosAndSendsNothing) {
    Open(L"Simulate=true");
    CallerArray fetched{FilledArray(5, 1.0)};
    ASSERT_EQ(FetchY(Context(), 1, &fetched.array), S_OK);
    EXPECT_EQ(Elements(fetched.array), std::vector<double>(100, 0.0));
    CallerArray read{SafeArrayCreateVector(VT_I4, 0, 3)};
    ASSERT_EQ(ReadY(Context(), 2, 1000, &read.array), S_OK);
    EXPECT_EQ(Elements(read.array), std::vector<double>(100, 0.0));
    TevoAcquisitionStatusEnum status = TevoAcquisitionStatusUnknown;
    EXPECT_EQ(TevoTracesAcquisitionStatus(Context(), &status), S_OK);
    EXPECT_EQ(status, TevoAcquisitionStatusComplete);
    EXPECT_EQ(TevoTracesInitiate(Context()), S_OK);
    EXPECT_EQ(emulator_->ReceivedMessages(), Messages{});
}

// Sweeps that take time: the clock moves only when the test moves it.
class TimedSweeps : public OperationSession {
  protected:
    TimedSweeps() : OperationSession(ManualClock()) {}
    static tevo::emulator::EmulatorOptions ManualClock() {
        tevo::emulator::EmulatorOptions options;
        options.manual_clock = true;
        return options;
    }
};

TEST_F(TimedSweeps, AcquisitionStatusFollowsARunningSweep) {
    Open();
    emulator_->Execute("INIT:CONT OFF");
    emulator_->Execute("INIT");
    TevoAcquisitionStatusEnum status = TevoAcquisitionStatusUnknown;
    ASSERT_EQ(TevoTracesAcquisitionStatus(Context(), &status), S_OK);
    EXPECT_EQ(status, TevoAcquisitionStatusInProgress);
    IviSpecAnAcquisitionStatusEnum class_status = IviSpecAnAcquisitionStatusUnknown;
    ASSERT_EQ(SpecAnTracesAcquisitionStatus(Context(), &class_status), S_OK);
    EXPECT_EQ(class_status, IviSpecAnAcquisitionStatusComplete);
    emulator_->AdvanceClock(std::chrono::seconds(100));
    ASSERT_EQ(TevoTracesAcquisitionStatus(Context(), &status), S_OK);
    EXPECT_EQ(status, TevoAcquisitionStatusComplete);
}

TEST_F(TimedSweeps, SweepLongerThanTheTimeoutFailsAndTheNextExchangeWorks) {
    Open();
    SetIoTimeout(Context(), 300);
    CallerArray caller{FilledArray(3, 6.0)};
    EXPECT_EQ(ReadY(Context(), 1, 0x7FFFFFFF, &caller.array), E_IVI_CANNOT_RECOVER);
    EXPECT_EQ(Elements(caller.array), std::vector<double>(3, 6.0));
    std::wstring reply;
    EXPECT_EQ(Context().AttributeIo().QueryText(L"SENS1:SWE:POIN?", &reply, 100, kSessionTimeout),
              S_OK);
    EXPECT_EQ(reply, L"501");
}

}  // namespace
}  // namespace tevo::driver

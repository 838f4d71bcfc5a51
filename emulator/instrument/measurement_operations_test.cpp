// The measurement operations as the driver sends them, judged by their effect on the
// analyzer: sweep timing, continuous and single sweeps on the shown screens, trace blocks
// of any length, peak search against the trace it searched, marker functions, the
// frequency counter, trace copy and math, and the service input and noise source.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "client/connected_emulator.h"

using tevo::emulator::ConnectedEmulator;
using namespace std::chrono_literals;

namespace {

constexpr const char* kNoError = "0,\"No error\"";
constexpr auto kQuiet = 100ms;  // "nothing arrives" checks; a late reply would still fail

double Number(const std::string& text) {
    return std::strtod(text.c_str(), nullptr);
}

float LittleEndianFloat(const char* bytes) {
    uint32_t bits = 0;
    for (int i = 3; i >= 0; --i)
        bits = (bits << 8) | static_cast<unsigned char>(bytes[i]);
    return std::bit_cast<float>(bits);
}

// "TRAC<w>? TRACE<n>" in REAL,32 (set before): the values of the block.
std::vector<float> ReadTrace(ConnectedEmulator& e, int trace, int window = 1) {
    EXPECT_TRUE(e.Send("TRAC" + std::to_string(window) + "? TRACE" + std::to_string(trace)));
    const std::optional<std::string> block = e.client.ReadBlock();
    EXPECT_TRUE(block.has_value());
    std::vector<float> values;
    if (!block)
        return values;
    EXPECT_EQ(block->size() % 4, 0u);
    for (size_t i = 0; i + 4 <= block->size(); i += 4)
        values.push_back(LittleEndianFloat(block->data() + i));
    return values;
}

// The driver's trace read: binary format, single sweep mode, one sweep.
void ReadYPreamble(ConnectedEmulator& e) {
    ASSERT_TRUE(e.Send("FORM REAL,32"));
    ASSERT_TRUE(e.Send("INIT:CONT OFF"));
    ASSERT_EQ(e.Query("INIT;*OPC?"), "1");
}

// Frequency of a trace point of screen 1 (start, stop and point count queried).
double PointFrequency(ConnectedEmulator& e, size_t index, size_t points) {
    const double start = Number(e.Query("SENS:FREQ:STAR?"));
    const double stop = Number(e.Query("SENS:FREQ:STOP?"));
    return start + (stop - start) * static_cast<double>(index) / static_cast<double>(points - 1);
}

size_t IndexOfFrequency(ConnectedEmulator& e, double frequency, size_t points) {
    const double start = Number(e.Query("SENS:FREQ:STAR?"));
    const double stop = Number(e.Query("SENS:FREQ:STOP?"));
    return static_cast<size_t>(
        std::llround((frequency - start) / (stop - start) * static_cast<double>(points - 1)));
}

float Median(std::vector<float> values) {
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

}  // namespace

TEST(MeasurementOperations, OperationCompleteAnswersWhenEverySweepOfTheCountHasRun) {
    ConnectedEmulator e(tevo::emulator::ManualClockOptions());
    ASSERT_TRUE(e.Send("FORM REAL,32;:INIT:CONT OFF;:SENS:SWE:TIME 0.500000;COUN 4"));
    ASSERT_EQ(e.NextError(), kNoError);
    const std::vector<float> before = ReadTrace(e, 1);
    e.emulator.ClearReceivedMessages();
    ASSERT_TRUE(e.Send("INIT;*OPC?"));
    ASSERT_TRUE(e.emulator.WaitForMessages(1, 5s));
    // Four sweeps of half a second: no answer after one or three of them.
    e.emulator.AdvanceClock(0.6s);
    EXPECT_TRUE(e.client.Quiet(kQuiet));
    e.emulator.AdvanceClock(1.2s);
    EXPECT_TRUE(e.client.Quiet(kQuiet));
    e.emulator.AdvanceClock(0.3s);
    EXPECT_EQ(e.client.ReadLine(), "1");
    // The measurement brought a new trace; without another sweep it stands still.
    const std::vector<float> after = ReadTrace(e, 1);
    EXPECT_NE(after, before);
    e.emulator.AdvanceClock(5s);
    EXPECT_EQ(ReadTrace(e, 1), after);
    // "*OPC?" alone after a started sweep waits the same way.
    e.emulator.ClearReceivedMessages();
    ASSERT_TRUE(e.Send("SENS:SWE:COUN 1;:INIT"));
    ASSERT_TRUE(e.Send("*OPC?"));
    ASSERT_TRUE(e.emulator.WaitForMessages(2, 5s));
    EXPECT_TRUE(e.client.Quiet(kQuiet));
    e.emulator.AdvanceClock(0.6s);
    EXPECT_EQ(e.client.ReadLine(), "1");
    EXPECT_EQ(e.NextError(), kNoError);
}

TEST(MeasurementOperations, ContinuousModeSweepsOnTheShownScreensOnly) {
    ConnectedEmulator e(tevo::emulator::ManualClockOptions());
    ASSERT_TRUE(e.Send("FORM REAL,32;:SENS1:SWE:TIME 0.100000;:SENS2:SWE:TIME 0.100000"));
    ASSERT_EQ(e.Query("INIT1:CONT?;:INIT2:CONT?;:DISP:FORM?"), "1;1;SING");
    // Screen 1 is shown: its continuous sweeps bring new data as time passes.
    std::vector<float> screen1 = ReadTrace(e, 1, 1);
    std::vector<float> screen2 = ReadTrace(e, 1, 2);
    e.emulator.AdvanceClock(0.2s);
    std::vector<float> next1 = ReadTrace(e, 1, 1);
    EXPECT_NE(next1, screen1);
    // Screen 2 is hidden: it does not sweep, its trace stands still.
    EXPECT_EQ(ReadTrace(e, 1, 2), screen2);
    EXPECT_EQ(e.Query("STAT:OPER:COND?"), "8");

    // Selecting screen 2 shows it instead of screen 1.
    ASSERT_EQ(e.Query("DISP:WIND2:SEL;*OPC?"), "1");
    screen1 = next1;
    e.emulator.AdvanceClock(0.2s);
    EXPECT_EQ(ReadTrace(e, 1, 1), screen1);
    const std::vector<float> next2 = ReadTrace(e, 1, 2);
    EXPECT_NE(next2, screen2);

    // The split format shows both.
    ASSERT_EQ(e.Query("DISP:FORM SPL;*OPC?"), "1");
    e.emulator.AdvanceClock(0.2s);
    EXPECT_NE(ReadTrace(e, 1, 1), screen1);
    EXPECT_NE(ReadTrace(e, 1, 2), next2);

    // Single sweep mode on both: time alone changes nothing, and nothing sweeps.
    ASSERT_EQ(e.Query("INIT1:CONT OFF;:INIT2:CONT OFF;*OPC?"), "1");
    screen1 = ReadTrace(e, 1, 1);
    screen2 = ReadTrace(e, 1, 2);
    e.emulator.AdvanceClock(1s);
    EXPECT_EQ(ReadTrace(e, 1, 1), screen1);
    EXPECT_EQ(ReadTrace(e, 1, 2), screen2);
    EXPECT_EQ(e.Query("STAT:OPER:COND?"), "0");
    // A single sweep of a hidden screen still runs when started.
    e.emulator.ClearReceivedMessages();
    ASSERT_TRUE(e.Send("DISP:FORM SING;:DISP:WIND1:SEL;:INIT2"));
    ASSERT_TRUE(e.emulator.WaitForMessages(1, 5s));  // recorded means run
    e.emulator.AdvanceClock(0.2s);
    EXPECT_EQ(e.Query("*OPC?"), "1");
    EXPECT_NE(ReadTrace(e, 1, 2), screen2);
    EXPECT_EQ(e.NextError(), kNoError);
}

TEST(MeasurementOperations, TraceBlocksOfAnyPointCountArriveWholeInLittleEndianReal32) {
    ConnectedEmulator e;
    ReadYPreamble(e);
    const std::vector<std::pair<int, std::string>> cases = {
        {101, "#3404"}, {625, "#42500"}, {626, "#42504"}, {10001, "#540004"}};
    for (const auto& [points, header] : cases) {
        SCOPED_TRACE(points);
        ASSERT_TRUE(e.Send("SENS:SWE:POIN " + std::to_string(points)));
        ASSERT_EQ(e.Query("INIT;*OPC?"), "1");
        ASSERT_TRUE(e.Send("TRAC? TRACE1"));
        const std::optional<std::string> head = e.client.ReadBytes(header.size());
        ASSERT_TRUE(head.has_value());
        EXPECT_EQ(*head, header);
        const std::optional<std::string> data =
            e.client.ReadBytes(static_cast<size_t>(points) * 4 + 1);
        ASSERT_TRUE(data.has_value());
        EXPECT_EQ(data->back(), '\n');
        // The same values as the ASCII form, little-endian single precision.
        ASSERT_TRUE(e.Send("FORM ASC;:TRAC? TRACE1;:FORM REAL,32"));
        const std::optional<std::string> ascii = e.client.ReadLine();
        ASSERT_TRUE(ascii.has_value());
        EXPECT_EQ(std::count(ascii->begin(), ascii->end(), ',') + 1, points);
        const float last = LittleEndianFloat(data->data() + (points - 1) * 4);
        EXPECT_FLOAT_EQ(last, static_cast<float>(Number(ascii->substr(ascii->rfind(',') + 1))));
        // The next query gets its own reply: nothing of the block was left behind.
        EXPECT_EQ(e.Query("SENS:SWE:POIN?"), std::to_string(points));
    }
}

TEST(MeasurementOperations, PeakSearchAgreesWithTheTraceItSearched) {
    ConnectedEmulator e;
    ReadYPreamble(e);
    const std::vector<float> trace = ReadTrace(e, 1);
    ASSERT_EQ(trace.size(), 501u);
    const auto highest = std::max_element(trace.begin(), trace.end());
    const size_t peak = static_cast<size_t>(highest - trace.begin());

    ASSERT_TRUE(e.Send("CALC:MARK:MAX"));
    EXPECT_DOUBLE_EQ(Number(e.Query("CALC1:MARK:X?")), PointFrequency(e, peak, trace.size()));
    EXPECT_FLOAT_EQ(static_cast<float>(Number(e.Query("CALC1:MARK:Y?"))), *highest);

    // Next peak: lower than the highest, and a local maximum of the same trace.
    const auto check_local_peak = [&](size_t index) {
        ASSERT_GT(index, 0u);
        ASSERT_LT(index + 1, trace.size());
        EXPECT_GE(trace[index], trace[index - 1]);
        EXPECT_GE(trace[index], trace[index + 1]);
        EXPECT_FLOAT_EQ(static_cast<float>(Number(e.Query("CALC1:MARK:Y?"))), trace[index]);
    };
    ASSERT_TRUE(e.Send("CALC:MARK:MAX:NEXT"));
    const size_t next = IndexOfFrequency(e, Number(e.Query("CALC1:MARK:X?")), trace.size());
    EXPECT_LT(trace[next], *highest);
    check_local_peak(next);
    ASSERT_TRUE(e.Send("CALC:MARK:MAX:RIGHT"));
    const size_t right = IndexOfFrequency(e, Number(e.Query("CALC1:MARK:X?")), trace.size());
    EXPECT_GT(right, next);
    check_local_peak(right);
    ASSERT_TRUE(e.Send("CALC:MARK:MAX:LEFT"));
    const size_t left = IndexOfFrequency(e, Number(e.Query("CALC1:MARK:X?")), trace.size());
    EXPECT_LT(left, right);
    check_local_peak(left);

    ASSERT_TRUE(e.Send("CALC:MARK:MIN"));
    const auto lowest = std::min_element(trace.begin(), trace.end());
    EXPECT_DOUBLE_EQ(Number(e.Query("CALC1:MARK:X?")),
                     PointFrequency(e, static_cast<size_t>(lowest - trace.begin()), trace.size()));
    EXPECT_FLOAT_EQ(static_cast<float>(Number(e.Query("CALC1:MARK:Y?"))), *lowest);
    EXPECT_EQ(e.NextError(), kNoError);
}

TEST(MeasurementOperations, MarkerFunctionsSetCenterAndReferenceFromTheMarker) {
    ConnectedEmulator e;
    ReadYPreamble(e);
    ASSERT_TRUE(e.Send("CALC:MARK:MAX;:CALC:MARK:MAX:NEXT"));  // the 1 GHz carrier
    const std::string x = e.Query("CALC1:MARK:X?");
    const double y = Number(e.Query("CALC1:MARK:Y?"));
    ASSERT_NEAR(Number(x), 1e9, 13.6e9 / 500);
    ASSERT_TRUE(e.Send("CALC:MARK:FUNC:REF"));
    EXPECT_NEAR(Number(e.Query("DISP:WIND1:TRAC:Y:RLEV?")), y, 1e-3);
    ASSERT_TRUE(e.Send("CALC:MARK:FUNC:CENT"));
    EXPECT_EQ(e.Query("SENS1:FREQ:CENT?"), x);
    // The next sweep shows the carrier next to the middle point of the screen.
    ASSERT_EQ(e.Query("INIT;*OPC?"), "1");
    const std::vector<float> centered = ReadTrace(e, 1);
    ASSERT_EQ(centered.size(), 501u);
    const auto middle = std::max_element(centered.begin() + 245, centered.begin() + 256);
    EXPECT_NEAR(*middle, -30, 1);
    EXPECT_NEAR(PointFrequency(e, static_cast<size_t>(middle - centered.begin()), 501), 1e9,
                Number(e.Query("SENS1:FREQ:SPAN?")) / 500);
    // Screen 2 keeps its own settings.
    EXPECT_EQ(e.Query("SENS2:FREQ:CENT?;:DISP:WIND2:TRAC:Y:RLEV?"), "6.8E+09;-2E+01");
    EXPECT_EQ(e.NextError(), kNoError);
}

TEST(MeasurementOperations, FrequencyCounterConfiguredInOneMessage) {
    ConnectedEmulator e;
    ReadYPreamble(e);
    ASSERT_TRUE(e.Send("CALC1:MARK:X 1002000000.000000"));  // 2 MHz beside the carrier
    ASSERT_TRUE(e.Send("CALC:MARK:COUN ON;RES 10.000000"));
    EXPECT_EQ(e.NextError(), kNoError);
    EXPECT_EQ(e.Query("CALC1:MARK:COUN?;RES?"), "1;1E+01");
    EXPECT_EQ(e.Query("CALC1:MARK:COUN:FREQ?"), "1E+09");  // the carrier, not the marker
    ASSERT_TRUE(e.Send("CALC:MARK:COUN OFF;RES 100.000000"));
    EXPECT_EQ(e.Query("CALC1:MARK:COUN?;RES?"), "0;1E+02");
    ASSERT_TRUE(e.Send("CALC1:MARK:COUN:FREQ?"));
    EXPECT_EQ(e.NextError(), "-221,\"Settings conflict\"");
}

TEST(MeasurementOperations, TraceCopyExchangeAddAndSubtract) {
    ConnectedEmulator e;
    ReadYPreamble(e);
    ASSERT_TRUE(e.Send("DISP:WIND:TRAC2:MODE MAXH;:DISP:WIND:TRAC4:MODE MINH;:SENS:SWE:COUN 3"));
    ASSERT_EQ(e.Query("INIT;*OPC?"), "1");
    const std::vector<float> t1 = ReadTrace(e, 1);
    const std::vector<float> t2 = ReadTrace(e, 2);
    const std::vector<float> t4 = ReadTrace(e, 4);
    ASSERT_NE(t1, t2);
    ASSERT_NE(t2, t4);

    ASSERT_TRUE(e.Send("TRAC:COPY TRACE5,TRACE2"));
    EXPECT_EQ(ReadTrace(e, 5), t2);
    // Exchange of two traces that are not trace 3: trace 3 ends up with the first one.
    ASSERT_TRUE(e.Send("TRAC:COPY TRACE3,TRACE2;COPY TRACE2,TRACE4;COPY TRACE4,TRACE3"));
    EXPECT_EQ(ReadTrace(e, 2), t4);
    EXPECT_EQ(ReadTrace(e, 4), t2);
    EXPECT_EQ(ReadTrace(e, 3), t2);
    EXPECT_EQ(e.NextError(), kNoError);

    // Sum and difference of two traces, point by point; the result shows in trace 1.
    ASSERT_TRUE(e.Send("CALC:MATH (TRACE2 + TRACE4)"));
    const std::vector<float> sum = ReadTrace(e, 1);
    ASSERT_EQ(sum.size(), t1.size());
    for (size_t i = 0; i < sum.size(); ++i)
        ASSERT_FLOAT_EQ(sum[i], t4[i] + t2[i]) << i;
    ASSERT_TRUE(e.Send("CALC:MATH (TRACE2 - TRACE4)"));
    const std::vector<float> difference = ReadTrace(e, 1);
    ASSERT_EQ(difference.size(), t1.size());
    for (size_t i = 0; i < difference.size(); ++i)
        ASSERT_FLOAT_EQ(difference[i], t4[i] - t2[i]) << i;
    EXPECT_EQ(e.NextError(), kNoError);
}

TEST(MeasurementOperations, ServiceInputAndNoiseSourceChangeWhatTheScreenShows) {
    ConnectedEmulator e;
    ReadYPreamble(e);
    const std::vector<float> rf = ReadTrace(e, 1);
    const double rf_peak = PointFrequency(
        e, static_cast<size_t>(std::max_element(rf.begin(), rf.end()) - rf.begin()), rf.size());
    EXPECT_NEAR(rf_peak, 100e6, 13.6e9 / 500);

    // The calibration input shows the internal calibration signal instead of the RF input.
    ASSERT_TRUE(e.Send("DIAG1:SERV:INP CAL"));
    ASSERT_EQ(e.Query("INIT;*OPC?"), "1");
    const std::vector<float> cal = ReadTrace(e, 1);
    const double cal_peak = PointFrequency(
        e, static_cast<size_t>(std::max_element(cal.begin(), cal.end()) - cal.begin()), cal.size());
    EXPECT_NEAR(cal_peak, 128e6, 13.6e9 / 500);
    EXPECT_LT(cal[IndexOfFrequency(e, 1e9, cal.size())], -60);  // no 1 GHz carrier
    ASSERT_TRUE(e.Send("DIAG1:SERV:INP RF"));

    // The noise source raises the noise floor of its screen.
    ASSERT_TRUE(e.Send("DIAG1:SERV:NSO ON"));
    ASSERT_EQ(e.Query("INIT;*OPC?"), "1");
    const std::vector<float> noisy = ReadTrace(e, 1);
    EXPECT_GT(Median(noisy), Median(rf) + 3);
    EXPECT_EQ(e.NextError(), kNoError);
}

#include "driver_fault_session.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

namespace tevo::reliability {

using tevo::driver::testing::As;

TraceArray::TraceArray(LONG count, double fill)
    : array_(SafeArrayCreateVector(VT_R8, 0, static_cast<ULONG>(count))) {
    double* data = nullptr;
    if (array_ != nullptr &&
        SUCCEEDED(SafeArrayAccessData(array_, reinterpret_cast<void**>(&data)))) {
        std::fill(data, data + count, fill);
        SafeArrayUnaccessData(array_);
    }
}

TraceArray::~TraceArray() {
    if (array_ != nullptr) {
        SafeArrayDestroy(array_);
    }
}

std::vector<double> TraceArray::Values() const {
    if (array_ == nullptr) {
        return {};
    }
    LONG lower = 0;
    LONG upper = -1;
    SafeArrayGetLBound(array_, 1, &lower);
    SafeArrayGetUBound(array_, 1, &upper);
    std::vector<double> values(static_cast<size_t>(upper - lower + 1));
    double* data = nullptr;
    if (SUCCEEDED(SafeArrayAccessData(array_, reinterpret_cast<void**>(&data)))) {
        std::copy(data, data + values.size(), values.begin());
        SafeArrayUnaccessData(array_);
    }
    return values;
}

std::vector<double> InstrumentTrace(tevo::emulator::Emulator& emulator) {
    emulator.Execute("FORM REAL,32");
    const std::string reply = emulator.Execute("TRAC? TRACE1");
    if (reply.size() < 2 || reply[0] != '#') {
        ADD_FAILURE() << "not a block: " << reply.substr(0, 20);
        return {};
    }
    const size_t digits = static_cast<size_t>(reply[1] - '0');
    const size_t length = std::stoul(reply.substr(2, digits));
    std::vector<double> values;
    for (size_t offset = 2 + digits; offset + 4 <= 2 + digits + length; offset += 4) {
        float value = 0.0f;
        std::memcpy(&value, reply.data() + offset, sizeof value);
        values.push_back(value);
    }
    return values;
}

std::string Block(const std::string& data) {
    const std::string length = std::to_string(data.size());
    return "#" + std::to_string(length.size()) + length + data;
}

DriverFaultSession::DriverFaultSession(tevo::emulator::EmulatorOptions options)
    : emulator_(std::move(options)) {}

void DriverFaultSession::TearDown() {
    if (driver_) {
        driver_->Close();
    }
}

void DriverFaultSession::Open(const wchar_t* options) {
    driver_ = tevo::driver::testing::NewDriver();
    ASSERT_TRUE(driver_);
    ASSERT_EQ(driver_->Initialize(emulator_.Resource().Get(), VARIANT_FALSE, VARIANT_FALSE,
                                  Bstr(options).Get()),
              S_OK);
    emulator_->Execute("SENS1:FREQ:STAR 1.25E9");
    emulator_->Execute("SENS1:FREQ:STOP 2.5E9");
    // Single sweeps: a trace stays as it is until the next sweep, so that what the driver
    // read can be compared with what the instrument holds.
    emulator_->Execute("INIT:CONT OFF");
    emulator_->ClearReceivedMessages();
}

ComPtr<ITevoFrequency> DriverFaultSession::Frequency() const {
    return As<ITevoFrequency>(driver_.Get());
}

ComPtr<IIviDriverUtility> DriverFaultSession::Utility() const {
    return As<IIviDriverUtility>(driver_.Get());
}

ComPtr<ITevoTrace> DriverFaultSession::Trace1() const {
    ComPtr<ITevoTraces> traces;
    EXPECT_EQ(driver_->get_Traces(&traces), S_OK);
    ComPtr<ITevoTrace> trace;
    if (traces) {
        EXPECT_EQ(traces->get_Item(Bstr(L"Trace1").Get(), &trace), S_OK);
    }
    return trace;
}

Messages DriverFaultSession::Received(size_t count) {
    EXPECT_TRUE(emulator_->WaitForMessages(count, kPatience)) << "fewer than " << count;
    Messages messages = emulator_->ReceivedMessages();
    emulator_->ClearReceivedMessages();
    return messages;
}

void DriverFaultSession::ExpectSessionWorks() {
    const double instrument_start = std::stod(emulator_->Execute("SENS1:FREQ:STAR?"));
    double start = -1.0;
    EXPECT_EQ(Frequency()->get_Start(&start), S_OK);
    EXPECT_EQ(start, instrument_start);
    EXPECT_EQ(Received(), Messages{"SENS1:FREQ:STAR?"});

    constexpr double kWritten = 1.375e9;
    EXPECT_EQ(Frequency()->put_Start(kWritten), S_OK);
    EXPECT_EQ(Received(1), Messages{"SENS1:FREQ:STAR 1375000000.000000"});
    EXPECT_EQ(std::stod(emulator_->Execute("SENS1:FREQ:STAR?")), kWritten);
    emulator_->Execute("SENS1:FREQ:STAR " + std::to_string(instrument_start));
}

}  // namespace tevo::reliability

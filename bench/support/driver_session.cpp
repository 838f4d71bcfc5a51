#include "support/driver_session.h"

#include <chrono>
#include <stdexcept>

#include "tevo/com/activation.h"
#include "tevo/com/holders.h"
#include "tevo/emulator/emulator.h"

namespace tevo::bench {

namespace {

using tevo::com::Bstr;

// A write-only message may still be on its way when the call returns: the recording waits
// until no further message arrives for this long.
constexpr std::chrono::milliseconds kQuietPeriod{200};

std::string ThreadErrorDescription() {
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, &info) != S_OK || !info) {
        return "no error information";
    }
    Bstr text;
    info->GetDescription(&text);
    return text.ToUtf8();
}

}  // namespace

void CheckCall(HRESULT status, const char* call) {
    if (FAILED(status)) {
        throw std::runtime_error(std::string(call) + " failed: " + ThreadErrorDescription());
    }
}

DriverSession::DriverSession(const std::string& resource, const std::string& options) {
    CLSID clsid{};
    CheckCall(CLSIDFromProgID(L"Tevo.Tevo", &clsid), "CLSIDFromProgID(Tevo.Tevo)");
    CheckCall(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_ITevo,
                               reinterpret_cast<void**>(&driver_)),
              "CoCreateInstance");
    CheckCall(driver_->Initialize(Bstr::FromUtf8(resource).Get(), VARIANT_FALSE, VARIANT_FALSE,
                                  Bstr::FromUtf8(options).Get()),
              ("Initialize(" + resource + ")").c_str());
    CheckCall(driver_->get_Frequency(&frequency_), "get_Frequency");
    ComPtr<ITevoTraces> traces;
    CheckCall(driver_->get_Traces(&traces), "get_Traces");
    CheckCall(traces->get_Item(Bstr(L"Trace1").Get(), &trace1_), "ITevoTraces::get_Item");
    CheckCall(driver_->QueryInterface(IID_PPV_ARGS(&operation_)),
              "QueryInterface(IIviDriverOperation)");
}

DriverSession::~DriverSession() {
    operation_ = nullptr;
    trace1_ = nullptr;
    frequency_ = nullptr;
    if (driver_) {
        driver_->Close();
    }
}

std::vector<std::string> RecordDriverMessages(
    const std::vector<std::string>& prepare,
    const std::function<void(const DriverSession&)>& operation) {
    tevo::emulator::EmulatorOptions options;
    options.time_scale = 0;
    tevo::emulator::Emulator emulator(options);
    emulator.Start(0);
    for (const std::string& message : prepare) {
        emulator.Execute(message);
    }
    DriverSession session(emulator.ResourceName(), "");
    operation(session);
    emulator.ClearReceivedMessages();
    operation(session);
    size_t count = 0;
    while (emulator.WaitForMessages(count + 1, kQuietPeriod)) {
        ++count;
    }
    return emulator.ReceivedMessages();
}

}  // namespace tevo::bench

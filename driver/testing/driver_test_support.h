// Helpers of the driver's tests: a fresh driver object, the thread's error information,
// and an emulator to talk to.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "measurement/main_driver_object.h"
#include "tevo/com/com_ptr.h"
#include "tevo/com/holders.h"
#include "tevo/emulator/emulator.h"
#include "transports.h"

namespace tevo::driver::testing {

using tevo::com::Bstr;
using tevo::com::ComPtr;

// A new driver object through its ITevo interface.
inline ComPtr<ITevo> NewDriver() {
    ComPtr<ITevo> driver;
    EXPECT_EQ(CTevo::Create(IID_ITevo, reinterpret_cast<void**>(&driver)), S_OK);
    return driver;
}

template <class I>
ComPtr<I> As(IUnknown* object) {
    ComPtr<I> result;
    EXPECT_EQ(object->QueryInterface(IID_PPV_ARGS(&result)), S_OK);
    return result;
}

// The calling thread's error object, taken (GetErrorInfo clears it).
struct ThreadError {
    bool present = false;
    std::wstring description;
    std::wstring source;
    GUID guid = GUID_NULL;
    std::wstring help_file;
    DWORD help_context = 0;
};

inline ThreadError TakeThreadError() {
    ThreadError error;
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, &info) != S_OK || !info) {
        return error;
    }
    error.present = true;
    Bstr text;
    info->GetDescription(&text);
    error.description = text.ToWide();
    info->GetSource(&text);
    error.source = text.ToWide();
    info->GetHelpFile(&text);
    error.help_file = text.ToWide();
    info->GetGUID(&error.guid);
    info->GetHelpContext(&error.help_context);
    return error;
}

// The description of error 30012 that every SessionFrame method gives before Initialize.
inline constexpr const wchar_t* kNotInitializedDescription =
    L"Tevo: Driver not initialized.\r\n\nA connection to the instrument has not been "
    L"established.";

using tevo::emulator::EmulatorTransport;
using tevo::visa::testing::kEmulatorTransports;
using tevo::visa::testing::TransportParamName;
using tevo::visa::testing::WholeReplyStatus;

// An emulator listening on an ephemeral port for the life of the object; Resource() reaches
// it over the transport given (SOCKET, or VXI-11/HiSLIP served on an ephemeral port too).
class RunningEmulator {
  public:
    explicit RunningEmulator(tevo::emulator::EmulatorOptions options = InstantOptions(),
                             EmulatorTransport transport = EmulatorTransport::kSocket)
        : emulator_(tevo::visa::testing::Serving(std::move(options), transport)),
          transport_(transport) {
        emulator_.Start(0);
    }
    explicit RunningEmulator(EmulatorTransport transport)
        : RunningEmulator(InstantOptions(), transport) {}
    static tevo::emulator::EmulatorOptions InstantOptions() {
        tevo::emulator::EmulatorOptions options;
        options.time_scale = 0;
        return options;
    }
    tevo::emulator::Emulator& operator*() { return emulator_; }
    tevo::emulator::Emulator* operator->() { return &emulator_; }
    Bstr Resource() const { return Bstr::FromUtf8(emulator_.ResourceName(transport_)); }
    EmulatorTransport transport() const { return transport_; }

    // The messages the emulator received since the last call, in order. A closing "*OPC?"
    // sent through `io` is answered only after everything sent before it has run, so nothing
    // is missed; it and what follows it (the status check of the closing query itself) are
    // left out.
    std::vector<std::string> SentSinceLastCheck(InstrumentIo& io) {
        std::wstring reply;
        EXPECT_TRUE(SUCCEEDED(io.QueryText(L"*OPC?", &reply, 100, kSessionTimeout)));
        std::vector<std::string> messages = emulator_.ReceivedMessages();
        const auto closing = std::find(messages.rbegin(), messages.rend(), "*OPC?");
        EXPECT_NE(closing, messages.rend());
        if (closing != messages.rend()) {
            messages.erase(std::prev(closing.base()), messages.end());
        }
        emulator_.ClearReceivedMessages();
        return messages;
    }

  private:
    tevo::emulator::Emulator emulator_;
    EmulatorTransport transport_;
};

}  // namespace tevo::driver::testing

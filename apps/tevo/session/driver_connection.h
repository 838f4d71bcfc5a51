// A session with the registered Tevo driver: the driver created by its ProgID through
// CoCreateInstance (never linked), initialized on the analyzer the user chose, and closed
// when the connection ends.
//
//   --resource DESCRIPTOR   a VISA resource ("TCPIP::192.168.1.20::5025::SOCKET")
//   --logical-name NAME     an IVI logical name of the configuration store ("Tevo")
//   --simulate              the driver simulates the instrument: nothing is opened
//   (none of these)         the built-in KL-series emulator on a free local port
#pragma once

#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "tevo/Tevo.h"
#include "tevo/com/com_ptr.h"

namespace tevo::emulator {
class Emulator;
}

namespace tevo::cli {

inline constexpr const wchar_t* kDriverProgId = L"Tevo.Tevo";

struct ConnectionOptions {
    std::string resource;
    std::string logical_name;
    bool simulate = false;
    std::string driver_options;  // extra Initialize options ("Cache=false,RangeCheck=true")
    bool reset = false;          // reset the instrument after Initialize
    // The session's I/O time-out (the driver's DriverTimeout option) when a command needs
    // longer replies than the driver's default allows; an option the user gives wins.
    std::optional<LONG> io_timeout_ms;
};

// The driver object, created by ProgID; DriverError (exit 1) with a message that says how to
// register the driver when the ProgID is not registered.
tevo::com::ComPtr<ITevo> CreateRegisteredDriver();

class DriverConnection {
  public:
    // Creates the driver and initializes it. Notes for people (which emulator was started)
    // go to `notes`. Throws DriverError.
    DriverConnection(const ConnectionOptions& options, std::ostream& notes);
    ~DriverConnection();
    DriverConnection(const DriverConnection&) = delete;
    DriverConnection& operator=(const DriverConnection&) = delete;

    ITevo* driver() const { return driver_.Get(); }
    // What Initialize was given: the resource, logical name or emulator resource.
    const std::string& resource_name() const { return resource_name_; }
    bool simulated() const { return simulated_; }

  private:
    std::unique_ptr<tevo::emulator::Emulator> emulator_;
    tevo::com::ComPtr<ITevo> driver_;
    std::string resource_name_;
    bool simulated_ = false;
};

}  // namespace tevo::cli

#include "session/driver_connection.h"

#include <filesystem>

#include "session/errors.h"
#include "tevo/com/activation.h"
#include "tevo/com/holders.h"
#include "tevo/emulator/emulator.h"

namespace tevo::cli {

namespace {

using tevo::com::Bstr;
using tevo::com::ComPtr;

// A descriptor for simulated sessions without a resource: a simulated session opens none.
constexpr const char* kSimulatedResource = "GPIB0::20::INSTR";

// The installed layout: <prefix>/bin/tevo, <prefix>/bin/regsvr and <prefix>/lib/libtevo.so.
std::filesystem::path ProgramFolder() {
    char program[4096] = {};
    const DWORD length = GetModuleFileNameA(nullptr, program, sizeof(program));
    return std::filesystem::path(std::string(program, length)).parent_path();
}

std::string RegistrationHint() {
    const std::filesystem::path bin = ProgramFolder();
    const std::filesystem::path library = bin.parent_path() / "lib" / "libtevo.so";
    return "the Tevo driver is not registered (no ProgID \"Tevo.Tevo\" in this system "
           "root).\nRegister it with:\n  " +
           (bin / "regsvr").string() + " " + library.string();
}

std::string JoinOptions(std::string first, const std::string& second) {
    if (second.empty()) {
        return first;
    }
    return first.empty() ? second : first + "," + second;
}

}  // namespace

ComPtr<ITevo> CreateRegisteredDriver() {
    CLSID clsid{};
    if (FAILED(CLSIDFromProgID(kDriverProgId, &clsid))) {
        throw DriverError(RegistrationHint(), REGDB_E_CLASSNOTREG);
    }
    ComPtr<ITevo> driver;
    const HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_ITevo,
                                        reinterpret_cast<void**>(&driver));
    if (hr == REGDB_E_CLASSNOTREG) {
        throw DriverError(RegistrationHint(), hr);
    }
    Check(hr, "creating the Tevo driver");
    return driver;
}

// The driver first: without it nothing else is worth starting.
DriverConnection::DriverConnection(const ConnectionOptions& options, std::ostream& notes)
    : driver_(CreateRegisteredDriver()) {
    // Later options win over earlier ones, so the user's own DriverTimeout still counts.
    std::string driver_options = JoinOptions(
        options.io_timeout_ms ? "DriverTimeout=" + std::to_string(*options.io_timeout_ms) : "",
        options.driver_options);
    if (!options.logical_name.empty()) {
        resource_name_ = options.logical_name;
    } else if (!options.resource.empty()) {
        resource_name_ = options.resource;
    } else if (options.simulate) {
        resource_name_ = kSimulatedResource;
    } else {
        emulator_ = std::make_unique<tevo::emulator::Emulator>();
        try {
            emulator_->Start(0);
        } catch (const std::exception& failure) {
            throw DriverError(std::string("cannot start the built-in emulator: ") + failure.what(),
                              E_FAIL);
        }
        resource_name_ = emulator_->ResourceName();
        notes << "Built-in KL-series emulator on " << resource_name_ << "\n";
    }
    if (options.simulate) {
        driver_options = JoinOptions("Simulate=true", driver_options);
        simulated_ = true;
    }
    Check(driver_->Initialize(Bstr::FromUtf8(resource_name_).Get(), VARIANT_TRUE,
                              options.reset ? VARIANT_TRUE : VARIANT_FALSE,
                              Bstr::FromUtf8(driver_options).Get()),
          "Initialize(\"" + resource_name_ + "\")");
}

DriverConnection::~DriverConnection() {
    if (driver_) {
        driver_->Close();
        driver_.Reset();
    }
    if (emulator_) {
        emulator_->Stop();
    }
}

}  // namespace tevo::cli

// SessionState: the settings, identity and configuration-store references of one driver
// session. Option flags and texts survive Close; a later Initialize starts from them.
#pragma once

#include <map>
#include <string>

#include "tevo/IviConfigServer.h"

namespace tevo::driver {

struct SessionState {
    bool cache = true;
    bool interchange_check = false;
    bool query_instrument_status = false;
    bool range_check = true;
    bool record_coercions = false;
    bool simulate = false;
    bool initialized = false;
    bool identity_read = false;      // the identity fields hold a parsed *IDN? answer
    bool simulated_session = false;  // Initialize ran in simulation: no VISA session
    LONG driver_timeout = 0;         // ms; set on the VISA session at Initialize when > 0
    std::string logical_name;
    std::string io_resource_descriptor;
    std::string driver_setup;  // trimmed and lower-cased
    std::string instrument_manufacturer;
    std::string instrument_model;
    std::string serial_number;
    std::string instrument_firmware_revision;
    std::string idn_response;
    // The configuration store and the driver session found in it at Initialize (owned
    // references, released by Close).
    IIviDriverSession* driver_session_ref = nullptr;
    IIviConfigStore* config_store_ref = nullptr;
    // Every option applied without error, name and value trimmed and lower-cased.
    std::map<std::string, std::string> option_map;
};

}  // namespace tevo::driver

// The instrument's identity: the *IDN? answer split into manufacturer, model, serial
// number and firmware revision, and the check that the instrument is one of ours.
#pragma once

#include <string>
#include <string_view>

namespace tevo::driver {

struct IdentityFields {
    std::string manufacturer;
    std::string model;
    std::string serial_number;
    std::string firmware_revision;
};

// Reads up to four fields, each ending at a comma or an apostrophe and separated by one
// comma. Returns the number of fields read (0: not an identity answer). When only one to
// three could be read, the fields are taken between commas instead, so an apostrophe
// inside a field does not cut it; a field whose commas are missing keeps what was read.
int ParseIdentity(std::string_view answer, IdentityFields& fields);

// Why an identity is not one of ours; nullptr when it is (the manufacturer begins with
// "Valdacor" and the model with "KL", both compared with letter case).
const char* IdentityMismatch(const IdentityFields& fields);

}  // namespace tevo::driver

// libFuzzer target: any bytes as the instrument's *IDN? answer. The fields read must not
// hold the separators they were split at, a four-field answer written back must read the
// same, and the model check must agree with the fields. Run with -DTEVO_FUZZ=ON under clang
// (see driver/session/CMakeLists.txt).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "session/identification.h"

namespace {

using tevo::driver::IdentityFields;
using tevo::driver::IdentityMismatch;
using tevo::driver::ParseIdentity;

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool Same(const IdentityFields& a, const IdentityFields& b) {
    return a.manufacturer == b.manufacturer && a.model == b.model &&
           a.serial_number == b.serial_number && a.firmware_revision == b.firmware_revision;
}

bool Holds(const std::string& field, std::string_view characters) {
    return field.find_first_of(characters) != std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view answer(reinterpret_cast<const char*>(data), size);
    IdentityFields fields;
    const int count = ParseIdentity(answer, fields);
    Require(count >= 0 && count <= 4);
    if (count == 0) {
        Require(Same(fields, IdentityFields{}));
        return 0;
    }
    Require(!fields.manufacturer.empty() || count < 4);
    Require(answer.size() >= fields.manufacturer.size() + fields.model.size() +
                                 fields.serial_number.size() + fields.firmware_revision.size());
    // Only the last field of a short answer runs to the end, commas included.
    Require(!Holds(fields.manufacturer, ",") && !Holds(fields.model, ",") &&
            !Holds(fields.serial_number, ","));
    if (count == 4) {
        Require(!Holds(fields.manufacturer, ",'") && !Holds(fields.model, ",'") &&
                !Holds(fields.serial_number, ",'") && !Holds(fields.firmware_revision, ",'"));
        const std::string written = fields.manufacturer + "," + fields.model + "," +
                                    fields.serial_number + "," + fields.firmware_revision;
        Require(answer.substr(0, written.size()) == written);
        IdentityFields again;
        Require(ParseIdentity(written, again) == 4 && Same(again, fields));
    }
    const bool ours = fields.manufacturer.starts_with("Valdacor") && fields.model.starts_with("KL");
    Require((IdentityMismatch(fields) == nullptr) == ours);
    return 0;
}

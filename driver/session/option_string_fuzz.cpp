// libFuzzer target: any bytes as the Initialize option string. Every pair split from it
// must have a clean name and a value without commas, and the pairs written back as
// "name=value,..." must split into the same pairs; each value must normalise idempotently
// and a DriverTimeout value must read as its own digits. Run with -DTEVO_FUZZ=ON under
// clang (see driver/session/CMakeLists.txt).
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "session/option_string.h"

namespace {

using tevo::driver::NormalizeOptionText;
using tevo::driver::ParseDriverTimeout;
using tevo::driver::ParseOptionBoolean;
using tevo::driver::SplitOptionString;

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// The time-out the value stands for when it is made of blanks and digits only: the first
// run of digits, saturated at INT_MAX; -1 when the value is refused.
long long ExpectedTimeout(std::string_view raw) {
    if (raw.empty()) {
        return -1;
    }
    for (char c : raw) {
        if (c != ' ' && c != '\t' && (c < '0' || c > '9')) {
            return -1;
        }
    }
    size_t at = 0;
    while (at < raw.size() && (raw[at] == ' ' || raw[at] == '\t')) {
        ++at;
    }
    long long value = 0;
    for (; at < raw.size() && raw[at] >= '0' && raw[at] <= '9'; ++at) {
        value = std::min<long long>(INT_MAX, value * 10 + (raw[at] - '0'));
    }
    return value;
}

void CheckValue(const std::string& value) {
    const std::string normalized = NormalizeOptionText(value);
    Require(NormalizeOptionText(normalized) == normalized);
    Require(normalized.empty() || (!IsBlank(normalized.front()) && !IsBlank(normalized.back())));
    const auto boolean = ParseOptionBoolean(normalized);
    Require(!boolean || normalized == (*boolean ? "true" : "false"));
    const auto timeout = ParseDriverTimeout(value);
    const long long expected = ExpectedTimeout(value);
    Require(timeout ? *timeout == expected : expected < 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view options(reinterpret_cast<const char*>(data), size);
    const auto pairs = SplitOptionString(options);
    std::string rejoined;
    for (const auto& [name, value] : pairs) {
        Require(!name.empty());
        Require(name.find_first_of(",=") == std::string::npos);
        Require(!IsBlank(name.front()) && !IsBlank(name.back()));
        Require(value.find(',') == std::string::npos);
        CheckValue(value);
        if (!rejoined.empty()) {
            rejoined += ',';
        }
        rejoined.append(name).append("=").append(value);
    }
    Require(SplitOptionString(rejoined) == pairs);
    return 0;
}

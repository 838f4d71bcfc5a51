// libFuzzer target: any bytes (each a character) as the answer to the error query. A code
// must be the answer's leading number clamped to LONG; a message must be non-empty, free of
// quotes, and read back the same with its code when written as code,"message". Run with
// -DTEVO_FUZZ=ON under clang (see driver/session/CMakeLists.txt).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cwctype>
#include <limits>
#include <string>

#include "session/error_query_answer.h"

namespace {

using tevo::driver::ScanErrorQueryAnswer;

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

constexpr LONG kUntouchedCode = 424242;

// The leading decimal number (blanks and a sign before it allowed), saturated to LONG.
LONG LeadingCode(const std::wstring& answer) {
    size_t at = 0;
    while (at < answer.size() && std::iswspace(static_cast<wint_t>(answer[at])) != 0) {
        ++at;
    }
    const bool negative = at < answer.size() && answer[at] == L'-';
    at += at < answer.size() && (answer[at] == L'-' || answer[at] == L'+') ? 1 : 0;
    long long value = 0;
    constexpr long long kBeyond = static_cast<long long>(std::numeric_limits<LONG>::max()) + 2;
    for (; at < answer.size() && answer[at] >= L'0' && answer[at] <= L'9'; ++at) {
        value = std::min(kBeyond, value * 10 + (answer[at] - L'0'));
    }
    value = negative ? -value : value;
    return static_cast<LONG>(std::clamp<long long>(value, std::numeric_limits<LONG>::min(),
                                                   std::numeric_limits<LONG>::max()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::wstring answer(data, data + size);
    LONG code = kUntouchedCode;
    std::wstring message = L"untouched";
    const int count = ScanErrorQueryAnswer(answer, code, message);
    Require(count >= 0 && count <= 2);
    if (count == 0) {
        Require(code == kUntouchedCode && message == L"untouched");
        return 0;
    }
    Require(code == LeadingCode(answer));
    if (count == 1) {
        Require(message == L"untouched");
        return 0;
    }
    Require(!message.empty() && message.find_first_of(L"'\"") == std::wstring::npos);
    const std::wstring written = std::to_wstring(code) + L",\"" + message + L"\"";
    LONG code_again = 0;
    std::wstring message_again;
    Require(ScanErrorQueryAnswer(written, code_again, message_again) == 2);
    Require(code_again == code && message_again == message);
    return 0;
}

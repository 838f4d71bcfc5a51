#include "session/error_query_answer.h"

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <limits>

namespace tevo::driver {

int ScanErrorQueryAnswer(const std::wstring& answer, LONG& code, std::wstring& message) {
    const wchar_t* text = answer.c_str();
    wchar_t* end = nullptr;
    // Read wider than LONG and clamp, so that an over-long code saturates rather than
    // wrapping into an unrelated (even opposite-signed) one.
    const long long value = std::wcstoll(text, &end, 10);
    if (end == text) {
        return 0;
    }
    code = static_cast<LONG>(std::clamp<long long>(value, std::numeric_limits<LONG>::min(),
                                                   std::numeric_limits<LONG>::max()));
    if (*end != L',' || end[1] != L'"') {
        return 1;
    }
    const wchar_t* start = end + 2;
    const wchar_t* stop = start;
    while (*stop != L'\0' && *stop != L'\'' && *stop != L'"') {
        ++stop;
    }
    if (stop == start) {
        return 1;
    }
    message.assign(start, stop);
    return 2;
}

}  // namespace tevo::driver

// The Windows protocols by which a function hands text out into a caller's buffer of a
// given size in characters, for the platform's own implementations of such functions.
#pragma once

#include <algorithm>
#include <string_view>

#include "tevo/win/types.h"

namespace tevo::win {

// The protocol of GetWindowsDirectory, GetTempPath, GetFullPathName and their kin: when
// the text and its terminating zero fit, copies them and returns the text's length without
// the zero; otherwise leaves the buffer alone and returns the size needed, zero included.
template <class Char>
DWORD CopyTextOut(std::basic_string_view<Char> text, Char* buffer, DWORD size) {
    const auto length = static_cast<DWORD>(text.size());
    if (buffer == nullptr || size <= length) {
        return length + 1;
    }
    std::copy(text.begin(), text.end(), buffer);
    buffer[length] = Char{};
    return length;
}

// The protocol of ExpandEnvironmentStrings: as above, but a successful copy also counts the
// terminating zero.
template <class Char>
DWORD CopyTextOutCountingZero(std::basic_string_view<Char> text, Char* buffer, DWORD size) {
    const DWORD result = CopyTextOut(text, buffer, size);
    return result == text.size() ? result + 1 : result;
}

}  // namespace tevo::win

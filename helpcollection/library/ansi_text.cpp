#include "ansi_text.h"

#include <climits>
#include <cstring>

#include "tevo/win/text.h"

namespace tevo::quill {

std::wstring AnsiToWide(std::string_view text) {
    if (text.empty() || text.size() > INT_MAX) {
        return {};
    }
    const int count = static_cast<int>(text.size());
    const int needed = MultiByteToWideChar(CP_ACP, 0, text.data(), count, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(needed > 0 ? needed : 0), L'\0');
    if (needed > 0) {
        MultiByteToWideChar(CP_ACP, 0, text.data(), count, wide.data(), needed);
    }
    return wide;
}

std::string WideToAnsi(std::wstring_view text) {
    if (text.empty() || text.size() > INT_MAX) {
        return {};
    }
    const int count = static_cast<int>(text.size());
    const int needed =
        WideCharToMultiByte(CP_ACP, 0, text.data(), count, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(needed > 0 ? needed : 0), '\0');
    if (needed > 0) {
        WideCharToMultiByte(CP_ACP, 0, text.data(), count, narrow.data(), needed, nullptr, nullptr);
    }
    return narrow;
}

void CopyWholeText(std::string_view text, char* buffer) {
    std::memcpy(buffer, text.data(), text.size());
    buffer[text.size()] = '\0';
}

bool CopyTextCut(std::string_view text, char* buffer, unsigned long size) {
    if (buffer == nullptr || size == 0) {
        return false;
    }
    std::size_t length = text.size();
    if (length >= size) {
        length = size - 1;
        // Step back over continuation bytes so that no character is cut in two.
        while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0U) == 0x80U) {
            --length;
        }
    }
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return length == text.size();
}

}  // namespace tevo::quill

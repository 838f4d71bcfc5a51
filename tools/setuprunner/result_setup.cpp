#include "result_setup.h"

#include <climits>

namespace tevo::tools {
namespace {

bool IsWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

LONG QueryString(HKEY key, const char* value_name, std::string* text) {
    for (;;) {
        DWORD type = REG_NONE;
        DWORD size = 0;
        LONG status = RegQueryValueExA(key, value_name, nullptr, &type, nullptr, &size);
        if (status != ERROR_SUCCESS) {
            return status;
        }
        if (type != REG_SZ) {
            return ERROR_DATATYPE_MISMATCH;
        }
        std::string data(size, '\0');
        status = RegQueryValueExA(key, value_name, nullptr, &type,
                                  reinterpret_cast<LPBYTE>(data.data()), &size);
        if (status == ERROR_MORE_DATA) {
            continue;  // another process made it longer since the size was asked for
        }
        if (status != ERROR_SUCCESS) {
            return status;
        }
        if (type != REG_SZ) {
            return ERROR_DATATYPE_MISMATCH;
        }
        data.resize(size);
        const std::size_t end = data.find('\0');
        if (end != std::string::npos) {
            data.resize(end);
        }
        *text = std::move(data);
        return ERROR_SUCCESS;
    }
}

}  // namespace

LONG GetStringRegistryValue(HKEY root, const char* key_path, const char* value_name,
                            std::string* text) {
    HKEY key = nullptr;
    LONG status = RegOpenKeyExA(root, key_path, 0, KEY_READ, &key);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    status = QueryString(key, value_name, text);
    RegCloseKey(key);
    return status;
}

ScannedNumber ScanDecimal(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsWhiteSpace(text[i])) {
        ++i;
    }
    ScannedNumber scanned;
    if (i == text.size()) {
        scanned.end_of_input = true;
        return scanned;
    }
    bool negative = false;
    if (text[i] == '+' || text[i] == '-') {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size() || !IsDigit(text[i])) {
        return scanned;
    }
    // Accumulated as a magnitude that stops growing past the largest one int can hold.
    constexpr long long kLimit = static_cast<long long>(INT_MAX) + 1;
    long long magnitude = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > kLimit) {
            magnitude = kLimit;
        }
    }
    if (negative) {
        scanned.value = static_cast<int>(-magnitude);
    } else {
        scanned.value = static_cast<int>(magnitude > INT_MAX ? INT_MAX : magnitude);
    }
    return scanned;
}

}  // namespace tevo::tools

#include "operations/block_header.h"

namespace tevo::driver::operations {

std::string PrintableBytes(const BYTE* bytes, size_t count) {
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        const BYTE b = bytes[i];
        if (b >= 0x20 && b < 0x7F) {
            text.push_back(static_cast<char>(b));
        } else {
            static constexpr char kHex[] = "0123456789ABCDEF";
            text += "\\x";
            text.push_back(kHex[b >> 4]);
            text.push_back(kHex[b & 0x0F]);
        }
    }
    return text;
}

std::optional<std::string> CheckBlockStart(const BYTE (&start)[2], size_t received,
                                           size_t* digits) {
    if (start[0] != '#') {
        return "the reply starts with \"" + PrintableBytes(start, received) + "\", not with '#'";
    }
    if (start[1] == '0') {
        *digits = 0;
        return std::nullopt;
    }
    if (start[1] < '1' || start[1] > '9') {
        return "the length digit count \"" + PrintableBytes(start + 1, 1) +
               "\" is not a digit 1 to 9";
    }
    *digits = static_cast<size_t>(start[1] - '0');
    return std::nullopt;
}

std::optional<std::string> ParseBlockLength(const BYTE* field, size_t received, size_t digits,
                                            long long* length) {
    if (received < digits) {
        return "the length field has " + std::to_string(received) + " of " +
               std::to_string(digits) + " digits";
    }
    long long value = 0;
    for (size_t i = 0; i < digits; ++i) {
        if (field[i] < '0' || field[i] > '9') {
            return "the length field \"" + PrintableBytes(field, digits) + "\" is not decimal";
        }
        value = value * 10 + (field[i] - '0');
    }
    *length = value;
    return std::nullopt;
}

}  // namespace tevo::driver::operations

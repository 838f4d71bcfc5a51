#include "text_position.h"

#include <cstdint>

namespace tevo::xml {
namespace {

// One character read from the text: its code point (or, for UTF-8, its lead byte) and how
// many bytes it takes in the text and in its UTF-8 form.
struct Character {
    std::uint32_t code = 0;
    std::size_t source_bytes = 1;
    std::size_t utf8_bytes = 1;
};

std::size_t Utf8Length(std::uint32_t code) {
    if (code < 0x80) {
        return 1;
    }
    if (code < 0x800) {
        return 2;
    }
    return code < 0x10000 ? 3 : 4;
}

std::uint32_t Unit16(std::string_view bytes, std::size_t at, bool big_endian) {
    const auto b0 = static_cast<std::uint8_t>(bytes[at]);
    const auto b1 = static_cast<std::uint8_t>(bytes[at + 1]);
    return big_endian ? (b0 << 8U) | b1 : (b1 << 8U) | b0;
}

std::uint32_t Unit32(std::string_view bytes, std::size_t at, bool big_endian) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        const auto b = static_cast<std::uint8_t>(bytes[at + (big_endian ? i : 3 - i)]);
        value = (value << 8U) | b;
    }
    return value;
}

Character ReadUtf16(std::string_view bytes, std::size_t at, bool big_endian) {
    if (at + 2 > bytes.size()) {
        return {0, bytes.size() - at, 1};
    }
    const std::uint32_t unit = Unit16(bytes, at, big_endian);
    if (unit >= 0xD800 && unit < 0xDC00 && at + 4 <= bytes.size()) {
        const std::uint32_t low = Unit16(bytes, at + 2, big_endian);
        if (low >= 0xDC00 && low < 0xE000) {
            return {0x10000 + ((unit - 0xD800) << 10U) + (low - 0xDC00), 4, 4};
        }
    }
    return {unit, 2, Utf8Length(unit)};
}

Character ReadUtf32(std::string_view bytes, std::size_t at, bool big_endian) {
    if (at + 4 > bytes.size()) {
        return {0, bytes.size() - at, 1};
    }
    const std::uint32_t code = Unit32(bytes, at, big_endian);
    return {code, 4, Utf8Length(code)};
}

Character Read(std::string_view bytes, std::size_t at, pugi::xml_encoding encoding) {
    switch (encoding) {
        case pugi::encoding_utf16_le:
            return ReadUtf16(bytes, at, false);
        case pugi::encoding_utf16_be:
            return ReadUtf16(bytes, at, true);
        case pugi::encoding_utf32_le:
            return ReadUtf32(bytes, at, false);
        case pugi::encoding_utf32_be:
            return ReadUtf32(bytes, at, true);
        case pugi::encoding_latin1: {
            const auto code = static_cast<std::uint8_t>(bytes[at]);
            return {code, 1, Utf8Length(code)};
        }
        default: {
            // UTF-8 as it is, valid or not: continuation bytes belong to the character
            // before them.
            std::size_t length = 1;
            while (at + length < bytes.size() &&
                   (static_cast<std::uint8_t>(bytes[at + length]) & 0xC0U) == 0x80U) {
                ++length;
            }
            return {static_cast<std::uint8_t>(bytes[at]), length, length};
        }
    }
}

}  // namespace

TextPosition PositionOfOffset(std::string_view bytes, pugi::xml_encoding encoding,
                              std::size_t utf8_offset) {
    TextPosition position;
    std::size_t at = 0;
    std::size_t consumed = 0;
    bool after_cr = false;
    while (at < bytes.size() && consumed < utf8_offset) {
        const Character c = Read(bytes, at, encoding);
        if (c.code == '\n' && after_cr) {
            // The LF of a CR LF pair: the CR already ended the line.
        } else if (c.code == '\n' || c.code == '\r') {
            ++position.line;
            position.column = 1;
        } else {
            ++position.column;
        }
        after_cr = c.code == '\r';
        at += c.source_bytes;
        consumed += c.utf8_bytes;
    }
    return position;
}

}  // namespace tevo::xml

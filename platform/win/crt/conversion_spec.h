// One printf conversion directive as the Windows C runtime reads it: flags, width,
// precision, size prefix and conversion character.
#pragma once

#include <climits>
#include <cstddef>

namespace tevo::win::crt {

enum class SizePrefix {
    kNone,
    kChar,        // hh
    kShort,       // h
    kLong,        // l: 32-bit with integers, wide with c and s
    kLongLong,    // ll
    kInt32,       // I32
    kInt64,       // I64
    kSizeT,       // I, z
    kIntMax,      // j
    kPtrDiff,     // t
    kLongDouble,  // L
    kWide,        // w
};

struct ConversionSpec {
    bool left_justify = false;  // -
    bool show_sign = false;     // +
    bool space_sign = false;    // space
    bool alternate = false;     // #
    bool zero_pad = false;      // 0
    bool width_from_argument = false;
    int width = 0;
    bool has_precision = false;
    bool precision_from_argument = false;
    int precision = 0;
    SizePrefix size = SizePrefix::kNone;
    char conversion = 0;
};

// The ASCII character a format character stands for, or -1 for anything else (so that a
// wide character outside ASCII never matches a conversion letter).
inline int AsciiOf(char c) {
    const auto value = static_cast<unsigned char>(c);
    return value < 0x80 ? value : -1;
}
inline int AsciiOf(wchar_t c) {
    return c >= 0 && c < 0x80 ? static_cast<int>(c) : -1;
}

// Whether the size prefix may precede the conversion character.
inline bool SizeFitsConversion(SizePrefix size, char conversion) {
    switch (conversion) {
        case 'd':
        case 'i':
        case 'u':
        case 'o':
        case 'x':
        case 'X':
            return size != SizePrefix::kLongDouble && size != SizePrefix::kWide;
        case 'c':
        case 'C':
        case 's':
        case 'S':
            return size == SizePrefix::kNone || size == SizePrefix::kShort ||
                   size == SizePrefix::kLong || size == SizePrefix::kWide;
        case 'f':
        case 'F':
        case 'e':
        case 'E':
        case 'g':
        case 'G':
        case 'a':
        case 'A':
            return size == SizePrefix::kNone || size == SizePrefix::kLong ||
                   size == SizePrefix::kLongDouble;
        case 'p':
        case 'n':
        case '%':
            return size == SizePrefix::kNone;
        default:
            return false;
    }
}

// Reads a decimal number of at most INT_MAX; false on overflow.
template <class Char>
bool ParseDecimal(const Char* text, size_t& pos, int& value) {
    long long result = 0;
    while (AsciiOf(text[pos]) >= '0' && AsciiOf(text[pos]) <= '9') {
        result = result * 10 + (AsciiOf(text[pos]) - '0');
        if (result > INT_MAX) {
            return false;
        }
        ++pos;
    }
    value = static_cast<int>(result);
    return true;
}

// Parses the directive that follows a '%' at `text`. Returns the number of characters
// it takes, or 0 when it is malformed (unknown conversion, size prefix that does not fit,
// width or precision beyond INT_MAX, end of the format).
template <class Char>
size_t ParseConversionSpec(const Char* text, ConversionSpec& spec) {
    size_t pos = 0;
    for (;; ++pos) {
        const int c = AsciiOf(text[pos]);
        if (c == '-') {
            spec.left_justify = true;
        } else if (c == '+') {
            spec.show_sign = true;
        } else if (c == ' ') {
            spec.space_sign = true;
        } else if (c == '#') {
            spec.alternate = true;
        } else if (c == '0') {
            spec.zero_pad = true;
        } else {
            break;
        }
    }
    if (AsciiOf(text[pos]) == '*') {
        spec.width_from_argument = true;
        ++pos;
    } else if (!ParseDecimal(text, pos, spec.width)) {
        return 0;
    }
    if (AsciiOf(text[pos]) == '.') {
        ++pos;
        spec.has_precision = true;
        if (AsciiOf(text[pos]) == '*') {
            spec.precision_from_argument = true;
            ++pos;
        } else if (!ParseDecimal(text, pos, spec.precision)) {
            return 0;
        }
    }
    const auto next_is = [&](size_t at, char c) { return AsciiOf(text[pos + at]) == c; };
    switch (AsciiOf(text[pos])) {
        case 'h':
            spec.size = next_is(1, 'h') ? SizePrefix::kChar : SizePrefix::kShort;
            pos += next_is(1, 'h') ? 2 : 1;
            break;
        case 'l':
            spec.size = next_is(1, 'l') ? SizePrefix::kLongLong : SizePrefix::kLong;
            pos += next_is(1, 'l') ? 2 : 1;
            break;
        case 'I':
            if (next_is(1, '3') && next_is(2, '2')) {
                spec.size = SizePrefix::kInt32;
                pos += 3;
            } else if (next_is(1, '6') && next_is(2, '4')) {
                spec.size = SizePrefix::kInt64;
                pos += 3;
            } else {
                spec.size = SizePrefix::kSizeT;
                pos += 1;
            }
            break;
        case 'z':
            spec.size = SizePrefix::kSizeT;
            ++pos;
            break;
        case 'j':
            spec.size = SizePrefix::kIntMax;
            ++pos;
            break;
        case 't':
            spec.size = SizePrefix::kPtrDiff;
            ++pos;
            break;
        case 'L':
            spec.size = SizePrefix::kLongDouble;
            ++pos;
            break;
        case 'w':
            spec.size = SizePrefix::kWide;
            ++pos;
            break;
        default:
            break;
    }
    const int conversion = AsciiOf(text[pos]);
    if (conversion <= 0 || !SizeFitsConversion(spec.size, static_cast<char>(conversion))) {
        return 0;
    }
    spec.conversion = static_cast<char>(conversion);
    return pos + 1;
}

}  // namespace tevo::win::crt

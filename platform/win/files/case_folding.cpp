// Comparing names without regard to letter case, as Windows file systems do: both names
// are mapped to upper case letter by letter.
#include <string_view>

#include "file_support.h"

namespace tevo::win {
namespace {

bool IsOdd(wchar_t c) {
    return (c & 1) != 0;
}

// Upper case of a letter of the scripts that file names commonly use; other characters
// stay as they are.
wchar_t ToUpper(wchar_t c) {
    if (c < 0x80) {
        return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - 0x20) : c;
    }
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) {  // Latin-1 small letters
        return static_cast<wchar_t>(c - 0x20);
    }
    if (c == 0xFF) {
        return 0x178;
    }
    if (c >= 0x100 && c <= 0x17E) {  // Latin Extended-A: pairs of capital and small
        const bool even_capital =
            (c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177);
        const bool odd_capital = (c >= 0x139 && c <= 0x148) || (c >= 0x179);
        if ((even_capital && IsOdd(c)) || (odd_capital && !IsOdd(c))) {
            return static_cast<wchar_t>(c - 1);
        }
        return c;
    }
    if (c >= 0x3B1 && c <= 0x3C9) {  // Greek small letters; final sigma is sigma
        return c == 0x3C2 ? wchar_t{0x3A3} : static_cast<wchar_t>(c - 0x20);
    }
    switch (c) {  // Greek small letters with tonos
        case 0x3AC:
            return 0x386;
        case 0x3AD:
            return 0x388;
        case 0x3AE:
            return 0x389;
        case 0x3AF:
            return 0x38A;
        case 0x3CC:
            return 0x38C;
        case 0x3CD:
            return 0x38E;
        case 0x3CE:
            return 0x38F;
        default:
            break;
    }
    if (c >= 0x430 && c <= 0x44F) {  // Cyrillic small letters
        return static_cast<wchar_t>(c - 0x20);
    }
    if (c >= 0x450 && c <= 0x45F) {
        return static_cast<wchar_t>(c - 0x50);
    }
    return c;
}

}  // namespace

namespace detail {

std::wstring FoldedName(std::string_view name) {
    std::wstring folded = Utf8ToWide(name);
    for (wchar_t& c : folded) {
        c = ToUpper(c);
    }
    return folded;
}

}  // namespace detail

bool NamesEqualIgnoringCase(std::string_view a, std::string_view b) {
    return a == b || detail::FoldedName(a) == detail::FoldedName(b);
}

}  // namespace tevo::win

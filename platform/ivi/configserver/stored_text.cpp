// The rules for text the store can hold.
#include "stored_text.h"

#include <cstdio>

namespace tevo::ivi::config {

namespace {

bool IsScalarValue(char32_t c) {
    return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
}

bool IsC0Control(char32_t c) {
    return c < 0x20;
}

// The three C0 controls that XML 1.0 allows in text.
bool IsXmlWhitespaceControl(char32_t c) {
    return c == U'\t' || c == U'\n' || c == U'\r';
}

// Why the character cannot be stored as `kind`, or null when it can.
const wchar_t* CharacterRefusal(char32_t c, TextKind kind) {
    if (!IsScalarValue(c)) {
        return L"is not a Unicode character";
    }
    if (c == 0xFFFE || c == 0xFFFF) {
        return L"is a noncharacter, which XML cannot hold";
    }
    if (IsC0Control(c) && kind == TextKind::kName) {
        return L"is a control character, which names cannot hold";
    }
    if (IsC0Control(c) && !IsXmlWhitespaceControl(c)) {
        return L"is a control character, which XML cannot hold";
    }
    return nullptr;
}

std::wstring CodePoint(char32_t c) {
    wchar_t text[16];
    std::swprintf(text, sizeof text / sizeof text[0], L"U+%04X", static_cast<unsigned>(c));
    return text;
}

}  // namespace

std::wstring StoredTextProblem(std::wstring_view text, TextKind kind) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<char32_t>(text[i]);
        if (const wchar_t* refusal = CharacterRefusal(c, kind)) {
            return CodePoint(c) + L" at position " + std::to_wstring(i + 1) + L" " + refusal;
        }
    }
    return {};
}

}  // namespace tevo::ivi::config

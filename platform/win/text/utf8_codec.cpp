#include <algorithm>
#include <climits>
#include <type_traits>

#include "tevo/win/lasterror.h"
#include "tevo/win/text.h"
#include "tevo/win/winerror.h"

namespace tevo::win {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point starting at text[pos]; advances pos past what was consumed.
// An invalid sequence consumes its maximal valid prefix (at least one byte), as the
// Unicode standard recommends, and yields U+FFFD with ok = false.
char32_t DecodeOne(std::string_view text, size_t& pos, bool& ok) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(pos);
    ok = true;
    if (lead < 0x80) {
        ++pos;
        return lead;
    }
    int length = 0;
    char32_t cp = 0;
    unsigned char lo = 0x80;
    unsigned char hi = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        cp = lead & 0x0F;
        if (lead == 0xE0)
            lo = 0xA0;
        if (lead == 0xED)
            hi = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        cp = lead & 0x07;
        if (lead == 0xF0)
            lo = 0x90;
        if (lead == 0xF4)
            hi = 0x8F;  // nothing above U+10FFFF
    } else {
        ++pos;
        ok = false;
        return kReplacement;
    }
    ++pos;
    for (int i = 1; i < length; ++i) {
        if (pos >= text.size()) {
            ok = false;
            return kReplacement;
        }
        const unsigned char c = byte(pos);
        const unsigned char min = (i == 1) ? lo : 0x80;
        const unsigned char max = (i == 1) ? hi : 0xBF;
        if (c < min || c > max) {
            ok = false;
            return kReplacement;
        }
        cp = (cp << 6) | (c & 0x3F);
        ++pos;
    }
    return cp;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

bool IsHighSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char32_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// Converts wide text, reporting whether anything had to be replaced.
std::string WideToUtf8Checked(std::wstring_view wide, bool& replaced) {
    std::string out;
    out.reserve(wide.size());
    replaced = false;
    for (size_t i = 0; i < wide.size(); ++i) {
        auto cp = static_cast<char32_t>(static_cast<std::make_unsigned_t<wchar_t>>(wide[i]));
        if (IsHighSurrogate(cp) && i + 1 < wide.size() &&
            IsLowSurrogate(static_cast<char32_t>(wide[i + 1]))) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<char32_t>(wide[i + 1]) - 0xDC00);
            ++i;
        } else if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) {
            cp = kReplacement;
            replaced = true;
        }
        AppendUtf8(out, cp);
    }
    return out;
}

std::wstring Utf8ToWideChecked(std::string_view utf8, bool& replaced) {
    std::wstring out;
    out.reserve(utf8.size());
    replaced = false;
    size_t pos = 0;
    while (pos < utf8.size()) {
        bool ok = true;
        out.push_back(static_cast<wchar_t>(DecodeOne(utf8, pos, ok)));
        replaced = replaced || !ok;
    }
    return out;
}

}  // namespace

std::wstring Utf8ToWide(std::string_view utf8) {
    bool replaced = false;
    return Utf8ToWideChecked(utf8, replaced);
}

std::string WideToUtf8(std::wstring_view wide) {
    bool replaced = false;
    return WideToUtf8Checked(wide, replaced);
}

bool IsValidUtf8(std::string_view utf8) {
    size_t pos = 0;
    while (pos < utf8.size()) {
        bool ok = true;
        DecodeOne(utf8, pos, ok);
        if (!ok)
            return false;
    }
    return true;
}

}  // namespace tevo::win

namespace {

bool IsSupportedCodePage(UINT code_page) {
    return code_page == CP_ACP || code_page == CP_OEMCP || code_page == CP_THREAD_ACP ||
           code_page == CP_UTF8;
}

// Copies a converted result into a caller's buffer under the Win32 size conventions.
template <typename Char, typename String>
int DeliverConverted(const String& converted, Char* buffer, int capacity) {
    if (converted.size() > static_cast<size_t>(INT_MAX)) {
        SetLastError(ERROR_ARITHMETIC_OVERFLOW);
        return 0;
    }
    const int needed = static_cast<int>(converted.size());
    if (capacity == 0) {
        return needed;
    }
    if (buffer == nullptr || needed > capacity) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::copy(converted.begin(), converted.end(), buffer);
    return needed;
}

}  // namespace

extern "C" int MultiByteToWideChar(UINT code_page, DWORD flags, LPCSTR multi_byte,
                                   int multi_byte_count, LPWSTR wide, int wide_count) {
    if (!IsSupportedCodePage(code_page) || multi_byte == nullptr || multi_byte_count == 0 ||
        multi_byte_count < -1 || wide_count < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    // With -1 the terminating zero is converted too and counted in the result.
    const size_t length = multi_byte_count == -1 ? std::char_traits<char>::length(multi_byte) + 1
                                                 : static_cast<size_t>(multi_byte_count);
    bool replaced = false;
    const std::wstring converted =
        tevo::win::Utf8ToWideChecked(std::string_view(multi_byte, length), replaced);
    if (replaced && (flags & MB_ERR_INVALID_CHARS) != 0) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    return DeliverConverted(converted, wide, wide_count);
}

extern "C" int WideCharToMultiByte(UINT code_page, DWORD flags, LPCWSTR wide, int wide_count,
                                   LPSTR multi_byte, int multi_byte_count, LPCSTR /*default_char*/,
                                   LPBOOL used_default_char) {
    if (!IsSupportedCodePage(code_page) || wide == nullptr || wide_count == 0 || wide_count < -1 ||
        multi_byte_count < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const size_t length = wide_count == -1 ? std::char_traits<wchar_t>::length(wide) + 1
                                           : static_cast<size_t>(wide_count);
    bool replaced = false;
    const std::string converted =
        tevo::win::WideToUtf8Checked(std::wstring_view(wide, length), replaced);
    if (used_default_char != nullptr) {
        *used_default_char = replaced ? TRUE : FALSE;
    }
    if (replaced && (flags & WC_ERR_INVALID_CHARS) != 0) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    return DeliverConverted(converted, multi_byte, multi_byte_count);
}

extern "C" UINT GetACP() {
    return CP_UTF8;
}

#include "session/text_conversion.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <type_traits>
#include <vector>

#include "tevo/com/bstr.h"

namespace tevo::driver {

namespace {

// Set when the locale below is freed (module unload or process end). Constant-initialized
// and never destroyed itself.
std::atomic<bool> g_locale_freed{false};

struct CLocaleHolder {
    CLocaleHolder() : locale(_create_locale(LC_ALL, "C")) {}
    CLocaleHolder(const CLocaleHolder&) = delete;
    CLocaleHolder& operator=(const CLocaleHolder&) = delete;
    ~CLocaleHolder() {
        g_locale_freed.store(true);
        _free_locale(locale);
    }
    _locale_t locale;
};

// SCPI traffic is ASCII. ASCII text is the same in UTF-8 (the ANSI code page), one byte per
// code unit, so it is copied directly: the code page converter measures, converts into a
// temporary and copies, on every command and reply.
template <class Char>
bool IsAscii(std::basic_string_view<Char> text) {
    return std::all_of(text.begin(), text.end(),
                       [](Char c) { return static_cast<std::make_unsigned_t<Char>>(c) < 0x80; });
}

}  // namespace

_locale_t CLocale() {
    // Once the holder is gone (a client formatting from its own static destructors at
    // exit), a null locale: the platform's CRT takes null as the "C" locale.
    if (g_locale_freed.load()) {
        return nullptr;
    }
    static const CLocaleHolder holder;
    return holder.locale;
}

std::string FormatText(const char* format, va_list args) {
    va_list measure;
    va_copy(measure, args);
    const int length = _vscprintf_l(format, CLocale(), measure);
    va_end(measure);
    if (length <= 0) {
        return {};
    }
    std::string text(static_cast<size_t>(length) + 1, '\0');
    va_list fill;
    va_copy(fill, args);
    const int written = _vsnprintf_l(text.data(), text.size(), format, CLocale(), fill);
    va_end(fill);
    text.resize(written < 0 ? 0 : static_cast<size_t>(written));
    return text;
}

std::string FormatTextF(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = FormatText(format, args);
    va_end(args);
    return text;
}

std::wstring FormatWide(const wchar_t* format, va_list args) {
    va_list measure;
    va_copy(measure, args);
    const int length = _vscwprintf_l(format, CLocale(), measure);
    va_end(measure);
    if (length <= 0) {
        return {};
    }
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    va_list fill;
    va_copy(fill, args);
    const int written = _vsnwprintf_l(text.data(), text.size(), format, CLocale(), fill);
    va_end(fill);
    text.resize(written < 0 ? 0 : static_cast<size_t>(written));
    return text;
}

std::wstring AnsiToWide(std::string_view text) {
    if (text.empty() || text.size() > INT_MAX) {
        return {};
    }
    if (IsAscii(text)) {
        return std::wstring(text.begin(), text.end());
    }
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
    if (length <= 0) {
        return {};
    }
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), length);
    return wide;
}

std::string WideToAnsi(std::wstring_view text) {
    if (text.empty() || text.size() > INT_MAX) {
        return {};
    }
    if (IsAscii(text)) {
        std::string narrow(text.size(), '\0');
        std::transform(text.begin(), text.end(), narrow.begin(),
                       [](wchar_t c) { return static_cast<char>(c); });
        return narrow;
    }
    const int size = static_cast<int>(text.size());
    const int length =
        WideCharToMultiByte(CP_ACP, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    if (length <= 0) {
        return {};
    }
    std::string narrow(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), size, narrow.data(), length, nullptr, nullptr);
    return narrow;
}

std::string BstrToAnsi(BSTR text) {
    if (text == nullptr) {
        return {};
    }
    return WideToAnsi(std::wstring_view(text, SysStringLen(text)));
}

BSTR AnsiToBstr(std::string_view text) {
    const std::wstring wide = AnsiToWide(text);
    return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

}  // namespace tevo::driver

// The platform's one text codec. The "ANSI code page" of this platform is UTF-8, and
// wide text (wchar_t, 32-bit) holds Unicode code points. Nothing here depends on the
// process locale. Invalid input is never undefined behaviour: malformed UTF-8 sequences,
// lone surrogates and values beyond U+10FFFF become U+FFFD.
#pragma once

#include <string>
#include <string_view>

#include "tevo/win/types.h"

constexpr UINT CP_ACP = 0;
constexpr UINT CP_OEMCP = 1;
constexpr UINT CP_THREAD_ACP = 3;
constexpr UINT CP_UTF8 = 65001;
constexpr DWORD MB_ERR_INVALID_CHARS = 0x00000008;
constexpr DWORD WC_ERR_INVALID_CHARS = 0x00000080;

extern "C" {
// Converts narrow text to wide text. cbMultiByte -1 means "up to and including the
// terminating zero". With cchWideChar 0, returns the number of wide characters needed.
// Returns 0 with ERROR_INSUFFICIENT_BUFFER when the buffer is too small, and with
// ERROR_NO_UNICODE_TRANSLATION for invalid input under MB_ERR_INVALID_CHARS.
int MultiByteToWideChar(UINT code_page, DWORD flags, LPCSTR multi_byte, int multi_byte_count,
                        LPWSTR wide, int wide_count);
// Converts wide text to narrow text, with the same conventions. The default-character
// arguments are accepted for compatibility; replacement is always U+FFFD.
int WideCharToMultiByte(UINT code_page, DWORD flags, LPCWSTR wide, int wide_count, LPSTR multi_byte,
                        int multi_byte_count, LPCSTR default_char, LPBOOL used_default_char);
UINT GetACP();
}

namespace tevo::win {

// UTF-8 to wide text; malformed sequences become U+FFFD, one per maximal invalid subpart.
std::wstring Utf8ToWide(std::string_view utf8);
// Wide text to UTF-8; a UTF-16 surrogate pair held in two wchar_t is joined, anything that
// is not a Unicode scalar value becomes U+FFFD.
std::string WideToUtf8(std::wstring_view wide);
// True when the text is well-formed UTF-8.
bool IsValidUtf8(std::string_view utf8);

}  // namespace tevo::win

// Texts between the library's byte strings (ANSI code page) and the wide strings of the XML
// component, and the copies of texts into callers' buffers.
#pragma once

#include <string>
#include <string_view>

namespace tevo::quill {

std::wstring AnsiToWide(std::string_view text);
std::string WideToAnsi(std::wstring_view text);

// Copies the text and its terminating zero, and nothing more: for functions whose callers
// give no size and provide room for the value.
void CopyWholeText(std::string_view text, char* buffer);
// Copies as much of the text as fits in `size` bytes with a terminating zero, never cutting
// a UTF-8 sequence; writes nothing when size is 0. True when the whole text fitted.
bool CopyTextCut(std::string_view text, char* buffer, unsigned long size);

}  // namespace tevo::quill

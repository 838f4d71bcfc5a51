// Numbers as text, the way OLE Automation writes and reads them with the en-US locale
// (the exact rules are listed in tevo/com/variant.h). Independent of the process locale.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "decimal_number.h"
#include "tevo/win/types.h"

namespace tevo::com::detail {

// Number text to an exact decimal; nullopt when the text is not a number.
std::optional<DecimalNumber> ParseNumberText(std::wstring_view text);

// A floating-point value with up to `significant` digits: "0.1", "1E+20", "1.5E-05".
std::wstring FormatFloating(double value, int significant);
// A currency value with up to 4 decimals: "12.5", "-0.0001".
std::wstring FormatCurrency(const CY& value);

// Blanks that may surround numbers and dates.
bool IsBlank(wchar_t c);
// The text up to its first zero character, without surrounding blanks.
std::wstring_view TrimmedText(std::wstring_view text);

}  // namespace tevo::com::detail

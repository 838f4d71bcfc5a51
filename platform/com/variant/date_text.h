// DATE values: calendar parts, text as the en-US locale writes it, and date/time text
// as OLE Automation reads it (rules in tevo/com/variant.h).
//
// A DATE counts days since 30 Dec 1899 (DATE 0). The integer part is the day and the
// absolute value of the fraction the time of day, also before 1899: -1.25 is 29 Dec 1899
// 6:00 AM.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "tevo/win/types.h"

namespace tevo::com::detail {

struct DateParts {
    int year = 1899;
    int month = 12;
    int day = 30;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// Dates from 1 Jan 100 to 31 Dec 9999 (any time of day).
bool IsDateInRange(double date);
// The calendar parts of a DATE, rounded to the nearest second; false outside the range.
bool DateToParts(DATE date, DateParts* parts);
// The DATE of valid calendar parts.
DATE PartsToDate(const DateParts& parts);
bool IsValidDay(int year, int month, int day);

// "12/8/2026 6:09:20 PM", "12/8/2026", "6:09:20 PM"; flags VAR_TIMEVALUEONLY /
// VAR_DATEVALUEONLY. nullopt outside the DATE range.
std::optional<std::wstring> FormatDate(DATE date, ULONG flags);
// S_OK with the DATE, DISP_E_TYPEMISMATCH for text that is not a date/time.
HRESULT ParseDateText(std::wstring_view text, DATE* date);

}  // namespace tevo::com::detail

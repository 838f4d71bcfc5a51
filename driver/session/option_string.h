// The Initialize option string: comma-separated name=value pairs. These are the text rules;
// the driver applies each pair to its session (DriverSession::ProcessInitOption).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tevo/win/types.h"

namespace tevo::driver {

// Splits as the driver reads the string: the name runs to the first "=", the value to the
// next "," (or the end, which makes it the last pair). An item without "=" is skipped, so
// the name is the text after the last comma before the "=", with blanks, tabs, LFs and CRs
// around it stripped: empty items (",,", ", ,") and stray words ("junk,") neither stick to
// the next name nor hide it, and a pair whose name is then empty ("=x") is skipped. A value
// never holds a comma, and trailing text without "=" is ignored. Values are returned as
// given.
//
// The driver accepts any name: the known ones (Cache, InterchangeCheck, QueryInstrStatus,
// RangeCheck, RecordCoercions, Simulate, DriverSetup, DriverTimeout, in any letter case)
// take effect, and every other name is accepted without effect, so a misspelt option is not
// reported.
std::vector<std::pair<std::string, std::string>> SplitOptionString(std::string_view options);

// Leading and trailing blanks, tabs, LFs and CRs removed, ASCII letters lower-cased.
std::string NormalizeOptionText(std::string_view text);

// "true" → true, "false" → false (already normalized); anything else → nothing.
std::optional<bool> ParseOptionBoolean(std::string_view normalized);

// A drivertimeout value as given (untrimmed): only blanks, tabs and digits are allowed;
// the result is the number at the start (blanks and tabs skipped, stopping at the first
// other character). Nothing for a value with any other character. An empty value gives
// nothing as well, and the caller leaves the time-out alone.
std::optional<LONG> ParseDriverTimeout(std::string_view raw);

}  // namespace tevo::driver

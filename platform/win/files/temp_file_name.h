// The choice of a free number for GetTempFileName (not a public header).
#pragma once

#include <set>
#include <string>

namespace tevo::win::detail {

// The name "<prefix><XXXX>.tmp" of a number, in UTF-8.
std::string TempFileName(const std::wstring& prefix, unsigned number);

// The first number from start on (1 to FFFF, going on at 1 after FFFF) whose name is not
// among the taken names, which are folded as by FoldedName; 0 when every number is taken.
unsigned FirstFreeTempNumber(const std::set<std::wstring>& taken_folded, const std::wstring& prefix,
                             unsigned start);

}  // namespace tevo::win::detail

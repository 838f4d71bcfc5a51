// The instrument's answer to the error query ("SYST:ERR?"): a decimal code, a comma and
// the message in double quotes, e.g. -113,"Undefined header".
#pragma once

#include <string>

#include "tevo/win/types.h"

namespace tevo::driver {

// Reads a decimal code (leading blanks and a sign allowed), a comma, a double quote, the
// text up to the first apostrophe or double quote, and that closing quote. Returns how
// many of code and text were read: 0 (no number, code left alone), 1 (the code only,
// message left alone) or 2. A code beyond the range of LONG is clamped to it.
int ScanErrorQueryAnswer(const std::wstring& answer, LONG& code, std::wstring& message);

}  // namespace tevo::driver

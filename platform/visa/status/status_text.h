// The standard VISA texts of the status codes this library returns.
#pragma once

#include <string>

#include "tevo/visa.h"

namespace tevo::visa {

// The standard text of a status code, or nullptr for a code this library does not know.
const char* StandardStatusText(ViStatus status);

// The symbolic name of a status code ("VI_ERROR_TMO"), or nullptr when unknown.
const char* StatusName(ViStatus status);

// Copies text into a caller's buffer of VI_FIND_BUFLEN characters, cut to fit, always
// terminated.
void CopyToVisaString(const std::string& text, ViChar* buffer);

}  // namespace tevo::visa

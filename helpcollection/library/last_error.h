// The library-wide last-error text: initially empty, replaced by each failure that sets a
// text, never cleared by a success. Callers hold the library lock.
#pragma once

#include <string>

namespace tevo::quill {

void SetLastErrorText(std::string text);
const std::string& LastErrorText();

}  // namespace tevo::quill

// The default collection: the collection file that the HTML Help system treats as the
// developer default, named by three values under HKEY_LOCAL_MACHINE
// "SOFTWARE\Microsoft\HTML Help Collections\Developer Collections":
//   1. its value Language;
//   2. the value Preferred of the sub-key named by the language, or else the name of that
//      sub-key's first sub-key;
//   3. the value Filename of the sub-key language\preferred.
// Each value is a string of at most 1024 bytes (terminating zero included).
#pragma once

#include <optional>
#include <string>

namespace tevo::quill {

// The default collection file name; nothing unless all three reads succeed.
std::optional<std::string> DefaultCollectionFilename();

}  // namespace tevo::quill

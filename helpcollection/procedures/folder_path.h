// Folder texts of the install and remove procedures: folder titles separated by "\". Every
// piece before a backslash is a part, also an empty one (a leading backslash or two
// adjacent ones give an empty title); the piece after the last backslash is a part only
// when it is not empty.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tevo::quill {

// The parts of a folder text; nothing when the text is longer than QUILL_MAX_FOLDER_TEXT
// bytes or has more than QUILL_MAX_FOLDER_PARTS parts, which are refused rather than cut.
std::optional<std::vector<std::string>> SplitFolderPath(std::string_view text);

}  // namespace tevo::quill

#include "folder_path.h"

#include "tevo/quill.h"

namespace tevo::quill {

std::optional<std::vector<std::string>> SplitFolderPath(std::string_view text) {
    if (text.size() > QUILL_MAX_FOLDER_TEXT) {
        return std::nullopt;
    }
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t backslash = text.find('\\'); backslash != std::string_view::npos;
         backslash = text.find('\\', start)) {
        parts.emplace_back(text.substr(start, backslash - start));
        start = backslash + 1;
    }
    if (start < text.size()) {
        parts.emplace_back(text.substr(start));
    }
    if (parts.size() > QUILL_MAX_FOLDER_PARTS) {
        return std::nullopt;
    }
    return parts;
}

}  // namespace tevo::quill

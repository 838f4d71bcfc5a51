// The path resolver: "\" as separator, and components matched without regard to case when
// the exact name does not exist.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "file_support.h"

namespace tevo::win {
namespace {

namespace fs = std::filesystem;

bool EntryExists(const fs::path& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

bool IsFolder(const fs::path& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The entry of a folder whose name equals the given one without regard to case. When
// several do, the first in byte order is taken, so the choice does not depend on the
// order of the folder's entries.
std::optional<std::string> FindIgnoringCase(const fs::path& folder, const std::string& name) {
    DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr) {
        return std::nullopt;
    }
    const std::wstring wanted = detail::FoldedName(name);
    std::optional<std::string> best;
    while (const dirent* entry = readdir(dir)) {
        const std::string_view candidate(entry->d_name);
        if (candidate == "." || candidate == "..") {
            continue;
        }
        if (detail::FoldedName(candidate) == wanted && (!best || candidate < *best)) {
            best = std::string(candidate);
        }
    }
    closedir(dir);
    return best;
}

}  // namespace

ResolvedPath ResolvePath(std::string_view text) {
    std::string normalized(text);
    std::replace(normalized.begin(), normalized.end(), '\\', '/');
    ResolvedPath result;
    if (normalized.empty()) {
        return result;
    }
    const fs::path given(normalized);
    struct stat info {};
    if (stat(given.c_str(), &info) == 0) {
        result.path = given;
        result.exists = true;
        result.folder_exists = true;
        return result;
    }
    std::vector<std::string> parts;
    for (const fs::path& part : given.relative_path()) {
        if (!part.empty() && part != ".") {
            parts.push_back(part.string());
        }
    }
    fs::path current = given.root_path();
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const fs::path exact = current / parts[i];
        if (parts[i] == ".." || EntryExists(exact)) {
            current = exact;
            continue;
        }
        if (const auto match = FindIgnoringCase(current, parts[i])) {
            current /= *match;
            continue;
        }
        result.path = exact;
        for (std::size_t j = i + 1; j < parts.size(); ++j) {
            result.path /= parts[j];
        }
        result.folder_exists = i + 1 == parts.size() && IsFolder(current.empty() ? "." : current);
        return result;
    }
    result.path = current.empty() ? fs::path(".") : current;
    result.exists = stat(result.path.c_str(), &info) == 0;  // false for a dangling link
    result.folder_exists = true;
    return result;
}

ResolvedPath ResolvePath(std::wstring_view text) {
    return ResolvePath(WideToUtf8(text));
}

}  // namespace tevo::win

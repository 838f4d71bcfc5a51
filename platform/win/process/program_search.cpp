// Finding programs: paths, the current folder, PATH, and the ".exe" ending that Windows
// names carry and Linux files do not.
#include "program_search.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <vector>

#include "tevo/win/files.h"
#include "tevo/win/winerror.h"

namespace tevo::win::detail {
namespace {

bool EndsWithExe(std::string_view name) {
    constexpr std::string_view kExe = ".exe";
    if (name.size() <= kExe.size()) {
        return false;
    }
    const std::string_view ending = name.substr(name.size() - kExe.size());
    return std::equal(ending.begin(), ending.end(), kExe.begin(), [](char a, char b) {
        return (a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a) == b;
    });
}

// The forms of a name to try in one place: as written, then without ".exe".
std::vector<std::string> NameForms(const std::string& name) {
    std::vector<std::string> forms{name};
    if (EndsWithExe(name)) {
        forms.push_back(name.substr(0, name.size() - 4));
    }
    return forms;
}

enum class Found { kNothing, kExecutable, kDenied };

// Looks in one place (a folder, or "" for a path as it is) for the first existing form.
Found LookIn(const std::string& folder, const std::vector<std::string>& forms, std::string* path) {
    for (const std::string& form : forms) {
        std::string candidate = folder;
        if (!candidate.empty()) {
            candidate += '/';
        }
        candidate += form;
        const ResolvedPath resolved = ResolvePath(candidate);
        if (!resolved.exists) {
            continue;
        }
        *path = resolved.path.string();
        struct stat info {};
        const bool executable = stat(path->c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
                                access(path->c_str(), X_OK) == 0;
        return executable ? Found::kExecutable : Found::kDenied;
    }
    return Found::kNothing;
}

}  // namespace

ProgramLookup FindProgram(std::string_view name, bool search_path, std::string_view path_list) {
    std::string normalized(name);
    std::replace(normalized.begin(), normalized.end(), '\\', '/');
    ProgramLookup lookup;
    if (normalized.empty() || normalized.back() == '/') {
        lookup.error = ERROR_FILE_NOT_FOUND;
        return lookup;
    }
    std::vector<std::string> places{""};
    if (search_path && normalized.find('/') == std::string::npos) {
        std::size_t start = 0;
        while (start <= path_list.size()) {
            std::size_t end = path_list.find(':', start);
            if (end == std::string_view::npos) {
                end = path_list.size();
            }
            if (end > start) {
                places.emplace_back(path_list.substr(start, end - start));
            }
            start = end + 1;
        }
    }
    const std::vector<std::string> forms = NameForms(normalized);
    std::optional<std::string> denied;
    for (const std::string& place : places) {
        std::string path;
        switch (LookIn(place, forms, &path)) {
            case Found::kExecutable:
                lookup.path = std::move(path);
                lookup.error = ERROR_SUCCESS;
                return lookup;
            case Found::kDenied:
                if (!denied) {
                    denied = std::move(path);
                }
                break;
            case Found::kNothing:
                break;
        }
    }
    if (denied) {
        lookup.path = std::move(*denied);
        lookup.error = ERROR_ACCESS_DENIED;
    } else {
        lookup.error = ERROR_FILE_NOT_FOUND;
    }
    return lookup;
}

std::string ProgramSearchPath() {
    const char* path = std::getenv("PATH");  // NOLINT(concurrency-mt-unsafe)
    return path != nullptr ? std::string(path) : std::string("/bin:/usr/bin");
}

}  // namespace tevo::win::detail

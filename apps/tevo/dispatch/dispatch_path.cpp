#include "dispatch/dispatch_path.h"

#include "session/errors.h"

namespace tevo::cli {

namespace {

bool IsNameCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Reads "(a, "b", c)" from position `at` (the '('); returns the position after ')'.
size_t ReadArguments(std::string_view path, size_t at, std::vector<std::string>& arguments) {
    std::string current;
    bool quoted = false;
    bool was_quoted = false;
    for (size_t i = at + 1; i < path.size(); ++i) {
        const char c = path[i];
        if (quoted) {
            if (c == '"') {
                quoted = false;
            } else {
                current += c;
            }
        } else if (c == '"') {
            quoted = true;
            was_quoted = true;
        } else if (c == ',' || c == ')') {
            std::string argument = was_quoted ? current : Trimmed(current);
            if (argument.empty() && !was_quoted && (c == ',' || !arguments.empty())) {
                throw UsageError("empty argument in '" + std::string(path) + "'");
            }
            if (!argument.empty() || was_quoted) {
                arguments.push_back(std::move(argument));
            }
            current.clear();
            was_quoted = false;
            if (c == ')') {
                return i + 1;
            }
        } else {
            current += c;
        }
    }
    throw UsageError("unbalanced parenthesis or quote in '" + std::string(path) + "'");
}

}  // namespace

std::vector<PathStep> ParseDispatchPath(std::string_view path) {
    std::vector<PathStep> steps;
    size_t i = 0;
    while (true) {
        PathStep step;
        while (i < path.size() && IsNameCharacter(path[i])) {
            step.name += path[i++];
        }
        if (step.name.empty()) {
            throw UsageError("'" + std::string(path) +
                             "' is not a member path (e.g. Frequency.Start)");
        }
        if (i < path.size() && path[i] == '(') {
            i = ReadArguments(path, i, step.arguments);
        }
        steps.push_back(std::move(step));
        if (i == path.size()) {
            return steps;
        }
        if (path[i] != '.') {
            throw UsageError("unexpected '" + std::string(1, path[i]) + "' in '" +
                             std::string(path) + "'");
        }
        ++i;
    }
}

}  // namespace tevo::cli

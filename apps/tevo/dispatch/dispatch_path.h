// The dotted path of a driver member as users write it: names separated by '.', each with
// optional arguments in parentheses, e.g. "Traces.Item(Trace2).Type" or
// "Marker.Name(1)". An argument may be quoted ("Item(\"Trace 2\")"); quotes are removed.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tevo::cli {

struct PathStep {
    std::string name;
    std::vector<std::string> arguments;
};

// The steps, or UsageError for an empty name, unbalanced parentheses or quotes, or
// characters that cannot be part of a member name.
std::vector<PathStep> ParseDispatchPath(std::string_view path);

}  // namespace tevo::cli

// Small JSON building blocks for the --json output: quoted strings with the escapes JSON
// needs, numbers that read back exactly (non-finite numbers become null), and objects
// built member by member.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tevo::cli {

std::string JsonString(std::string_view text);
std::string JsonNumber(double value);

// {"name": value, ...} from members whose values are already JSON text.
std::string JsonObject(const std::vector<std::pair<std::string, std::string>>& members);

// [value, ...] from values that are already JSON text.
std::string JsonArray(const std::vector<std::string>& values);

}  // namespace tevo::cli

#include "session/option_string.h"

#include <climits>

namespace tevo::driver {

namespace {

// The name of a pair: what stands before the "=" without blanks and commas around it, and
// of that only the part after its last comma (an earlier item without "=" is skipped, as
// trailing text without "=" is).
std::string_view StripAroundName(std::string_view name) {
    constexpr std::string_view kAround = ", \t\n\r";
    const size_t last = name.find_last_not_of(kAround);
    if (last == std::string_view::npos) {
        return {};
    }
    name = name.substr(0, last + 1);
    const size_t last_comma = name.rfind(',');
    if (last_comma != std::string_view::npos) {
        name.remove_prefix(last_comma + 1);
    }
    return name.substr(name.find_first_not_of(kAround));
}

}  // namespace

std::vector<std::pair<std::string, std::string>> SplitOptionString(std::string_view options) {
    std::vector<std::pair<std::string, std::string>> pairs;
    std::string_view rest = options;
    for (;;) {
        const size_t equals = rest.find('=');
        if (equals == std::string_view::npos) {
            break;
        }
        const std::string_view name = StripAroundName(rest.substr(0, equals));
        const std::string_view after = rest.substr(equals + 1);
        const size_t comma = after.find(',');
        const std::string_view value = after.substr(0, comma);
        if (!name.empty()) {
            pairs.emplace_back(std::string(name), std::string(value));
        }
        if (comma == std::string_view::npos) {
            break;
        }
        rest = after.substr(comma + 1);
    }
    return pairs;
}

std::string NormalizeOptionText(std::string_view text) {
    constexpr std::string_view kTrimmed = " \t\n\r";
    const size_t first = text.find_first_not_of(kTrimmed);
    if (first == std::string_view::npos) {
        return {};
    }
    const size_t last = text.find_last_not_of(kTrimmed);
    std::string result(text.substr(first, last - first + 1));
    for (char& c : result) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return result;
}

std::optional<bool> ParseOptionBoolean(std::string_view normalized) {
    if (normalized == "true") {
        return true;
    }
    if (normalized == "false") {
        return false;
    }
    return std::nullopt;
}

std::optional<LONG> ParseDriverTimeout(std::string_view raw) {
    if (raw.empty()) {
        return std::nullopt;
    }
    for (char c : raw) {
        if (c != ' ' && c != '\t' && (c < '0' || c > '9')) {
            return std::nullopt;
        }
    }
    size_t pos = raw.find_first_not_of(" \t");
    long long value = 0;
    for (; pos < raw.size() && raw[pos] >= '0' && raw[pos] <= '9'; ++pos) {
        value = value * 10 + (raw[pos] - '0');
        if (value > INT_MAX) {
            value = INT_MAX;  // a time-out beyond 24 days is as good as infinite
        }
    }
    return static_cast<LONG>(value);
}

}  // namespace tevo::driver

#include "output/json.h"

#include <array>
#include <cmath>

#include "units/engineering_value.h"

namespace tevo::cli {

std::string JsonString(std::string_view text) {
    std::string quoted = "\"";
    for (const char c : text) {
        switch (c) {
            case '"':
                quoted += "\\\"";
                break;
            case '\\':
                quoted += "\\\\";
                break;
            case '\n':
                quoted += "\\n";
                break;
            case '\r':
                quoted += "\\r";
                break;
            case '\t':
                quoted += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    static constexpr std::array<char, 16> kHex = {'0', '1', '2', '3', '4', '5',
                                                                  '6', '7', '8', '9', 'a', 'b',
                                                                  'c', 'd', 'e', 'f'};
                    quoted += "\\u00";
                    quoted += kHex[(c >> 4) & 0xF];
                    quoted += kHex[c & 0xF];
                } else {
                    quoted += c;
                }
        }
    }
    return quoted + "\"";
}

std::string JsonNumber(double value) {
    return std::isfinite(value) ? FormatNumber(value) : "null";
}

std::string JsonObject(const std::vector<std::pair<std::string, std::string>>& members) {
    std::string object = "{";
    for (size_t i = 0; i < members.size(); ++i) {
        object += (i == 0 ? "" : ", ") + JsonString(members[i].first) + ": " + members[i].second;
    }
    return object + "}";
}

std::string JsonArray(const std::vector<std::string>& values) {
    std::string array = "[";
    for (size_t i = 0; i < values.size(); ++i) {
        array += (i == 0 ? "" : ", ") + values[i];
    }
    return array + "]";
}

}  // namespace tevo::cli

#include "scpi/response_format.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace tevo::emulator::scpi {
namespace {

// Turns "1.5e+09" into "1.5E+09", and "-0e+00" into "0E+00".
std::string Normalize(const char* begin, const char* end) {
    std::string text(begin, end);
    for (char& c : text) {
        if (c == 'e')
            c = 'E';
    }
    if (text.rfind("-0E", 0) == 0)
        text.erase(0, 1);
    return text;
}

}  // namespace

std::string FormatInteger(long long value) {
    return std::to_string(value);
}

std::string FormatReal(double value) {
    if (std::isnan(value))
        return "9.91E+37";
    if (std::isinf(value))
        return value > 0 ? "9.9E+37" : "-9.9E+37";
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof(buffer), value, std::chars_format::scientific);
    return Normalize(buffer, result.ptr);
}

std::string FormatFloat(float value) {
    if (std::isnan(value))
        return "9.91E+37";
    if (std::isinf(value))
        return value > 0 ? "9.9E+37" : "-9.9E+37";
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof(buffer), value, std::chars_format::scientific);
    return Normalize(buffer, result.ptr);
}

std::string FormatBoolean(bool value) {
    return value ? "1" : "0";
}

std::string FormatString(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out.push_back('"');
    for (const char c : text) {
        out.push_back(c);
        if (c == '"')
            out.push_back('"');
    }
    out.push_back('"');
    return out;
}

std::string FormatDefiniteBlock(std::string_view bytes) {
    const std::string length = std::to_string(bytes.size());
    std::string out;
    out.reserve(bytes.size() + length.size() + 2);
    out.push_back('#');
    out.append(std::to_string(length.size()));
    out.append(length);
    out.append(bytes);
    return out;
}

}  // namespace tevo::emulator::scpi

// Parsing of IEEE 488.2 / SCPI program messages: a message is split into program message
// units at ';' (outside strings, expressions and blocks); each unit is a header (absolute
// with a leading ':', a '*' common command, or relative to the current path), an optional
// '?' and parameters separated by ','.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tevo::emulator::scpi {

// One header mnemonic: the letters in upper case and the numeric suffix written after them.
// Canonical keywords come from the current path of an earlier unit: their name is the long
// form of the node they resolved to.
struct Keyword {
    std::string name;
    std::optional<int> suffix;
    bool canonical = false;
};

struct Header {
    bool absolute = false;  // starts with ':'
    bool common = false;    // '*' common command; keywords holds one name without '*'
    bool query = false;
    std::vector<Keyword> keywords;
};

enum class ParameterType {
    kNumeric,     // decimal or non-decimal (#H, #Q, #B) numeric data, with an optional suffix
    kCharacter,   // a mnemonic such as ON, MAX or TRACE1 (stored upper case)
    kString,      // '...' or "..." (stored without quotes, doubled quotes undone)
    kExpression,  // (...) stored with its parentheses
    kBlock,       // #<n><length><bytes>: the data bytes
};

struct Parameter {
    ParameterType type = ParameterType::kNumeric;
    std::string text;    // see ParameterType
    std::string suffix;  // numeric data: the unit suffix, upper case, or empty
    double number = 0;   // numeric data: the value without the suffix applied
};

struct ProgramUnit {
    Header header;
    std::vector<Parameter> parameters;
};

// Splits a program message into the texts of its units. Empty units (";;", a trailing
// ';') are left out. Never fails: malformed units are reported when they are parsed.
std::vector<std::string_view> SplitUnits(std::string_view message);

// True when the unit's header ends with '?'.
bool UnitIsQuery(std::string_view unit);

// Parses one unit; throws scpi::Error with the SCPI error number on malformed input.
ProgramUnit ParseUnit(std::string_view unit);

}  // namespace tevo::emulator::scpi

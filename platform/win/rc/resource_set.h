// What a resource script compiles to: the module's resources, each with its type, name,
// language and bytes, and the files that went into them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <variant>
#include <vector>

namespace tevo::rc {

// A resource type or name: a 16-bit number or an upper-case UTF-8 string.
struct ResourceId {
    std::uint16_t number = 0;
    std::string name;  // empty for a number

    bool IsNumber() const { return name.empty(); }
    std::string ToString() const { return IsNumber() ? std::to_string(number) : name; }
    bool operator==(const ResourceId&) const = default;
};

// Resource data: bytes, or (for string tables) wide characters, which the generated source
// emits as wchar_t so that their layout is the compiler's own.
using ResourceData = std::variant<std::vector<std::uint8_t>, std::vector<wchar_t>>;

struct Resource {
    ResourceId type;
    ResourceId name;
    std::uint16_t language = 0;
    ResourceData data;
    std::filesystem::path defined_in;  // where the resource was defined, for messages
    int line = 0;
};

struct ResourceSet {
    std::vector<Resource> resources;
    std::vector<std::filesystem::path> inputs;  // every file read, the script first
};

// Numeric resource types.
constexpr std::uint16_t kTypeString = 6;
constexpr std::uint16_t kTypeRcData = 10;
constexpr std::uint16_t kTypeMessageTable = 11;
constexpr std::uint16_t kTypeHtml = 23;
constexpr std::uint16_t kTypeManifest = 24;

}  // namespace tevo::rc

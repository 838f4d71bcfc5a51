#include "instrument/models.h"

#include <array>
#include <cstdio>

namespace tevo::emulator {
namespace {

constexpr std::array<ModelInfo, 5> kModels = {{
    {"KLA", 3.0e9},
    {"KLBR", 7.0e9},
    {"KLC", 13.6e9},
    {"KLD", 26.5e9},
    {"KLF", 40.0e9},
}};

}  // namespace

std::span<const ModelInfo> AllModels() {
    return kModels;
}

const ModelInfo* FindModel(std::string_view name) {
    for (const ModelInfo& model : kModels) {
        if (model.name == name)
            return &model;
    }
    return nullptr;
}

std::string IdentityFieldProblem(std::string_view text) {
    if (text.empty())
        return "is empty";
    if (text.size() > kMaxIdentityField)
        return "is longer than " + std::to_string(kMaxIdentityField) + " characters";
    for (const char c : text) {
        if (c == ',')
            return "contains a comma";
        if (c == ';')
            return "contains a semicolon";
        if (c == '\n')
            return "contains a line feed";
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte > 0x7E) {
            char hex[8];
            std::snprintf(hex, sizeof(hex), "0x%02X", byte);
            return std::string("contains the byte ") + hex + ", which is not printable ASCII";
        }
    }
    return {};
}

}  // namespace tevo::emulator

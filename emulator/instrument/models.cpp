#include "instrument/models.h"

#include <array>

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

}  // namespace tevo::emulator

// The analyzer models that the emulator can be: KLA, KLBR, KLC, KLD and KLF. They differ
// in their frequency range.
#pragma once

#include <span>
#include <string_view>

namespace tevo::emulator {

struct ModelInfo {
    std::string_view name;
    double max_frequency;  // Hz; the lowest frequency is 0 Hz
};

std::span<const ModelInfo> AllModels();
// The model of that name (exact, case-sensitive), or nullptr.
const ModelInfo* FindModel(std::string_view name);

inline constexpr std::string_view kDefaultModel = "KLC";
inline constexpr std::string_view kDefaultSerial = "100482";
inline constexpr std::string_view kDefaultFirmware = "3.12";
inline constexpr std::string_view kManufacturer = "Valdacor";

}  // namespace tevo::emulator

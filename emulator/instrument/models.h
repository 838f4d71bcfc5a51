// The analyzer models that the emulator can be: KLA, KLBR, KLC, KLD and KLF. They differ
// in their frequency range.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace tevo::emulator {

struct ModelInfo {
    std::string_view name;
    double max_frequency;  // Hz; the lowest frequency is 0 Hz
};

std::span<const ModelInfo> AllModels();
// The model of that name (exact, case-sensitive), or nullptr.
const ModelInfo* FindModel(std::string_view name);

// A serial number or firmware revision is one field of the *IDN? reply: 1 to
// kMaxIdentityField printable ASCII characters without a comma (the field separator) or a
// semicolon (the response unit separator). Returns what is wrong with text ("contains a
// comma"), or an empty string when it can be a field.
inline constexpr size_t kMaxIdentityField = 64;
std::string IdentityFieldProblem(std::string_view text);

inline constexpr std::string_view kDefaultModel = "KLC";
inline constexpr std::string_view kDefaultSerial = "100482";
inline constexpr std::string_view kDefaultFirmware = "3.12";
inline constexpr std::string_view kManufacturer = "Valdacor";

}  // namespace tevo::emulator

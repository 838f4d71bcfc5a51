// Constants of the binary type-library layout shared by its writer and reader.
#pragma once

#include <cstdint>

#include "tevo/idl/typelib_model.h"

namespace tevo::idl {

inline constexpr std::uint8_t kMagic[8] = {'T', 'E', 'V', 'O', 'T', 'L', 'B', 0x1A};
inline constexpr std::uint32_t kNoString = 0xFFFFFFFFu;

// How a constant of a variant type is stored after its type.
enum class ValueClass { kNone, kInteger, kReal, kText };

inline ValueClass ClassOf(VarType vt) {
    switch (vt) {
        case VarType::kR4:
        case VarType::kR8:
        case VarType::kDate:
            return ValueClass::kReal;
        case VarType::kBstr:
            return ValueClass::kText;
        case VarType::kEmpty:
        case VarType::kNull:
            return ValueClass::kNone;
        default:
            return ValueClass::kInteger;
    }
}

}  // namespace tevo::idl

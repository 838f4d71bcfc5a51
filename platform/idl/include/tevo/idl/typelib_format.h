// The binary type-library format (.tlb) of this platform.
//
// Layout (every number little-endian):
//   header, 24 bytes: magic "TEVOTLB" 0x1A, u16 format major, u16 format minor,
//                     u32 payload size, u32 CRC-32 of the payload, u32 reserved (0)
//   payload: the string table (u32 count, then u32 length + bytes for each), then the
//            library record, imported libraries, imported types and the type infos, each a
//            u32 count followed by its records. Strings are u32 indices into the table,
//            0xFFFFFFFF for an absent string. Type descriptions are a u8 wrapper count,
//            the wrappers (u16 VT_PTR or VT_SAFEARRAY), the u16 base type and, for
//            VT_USERDEFINED, a u8 scope and a u32 index. Constants are a u16 variant type
//            and an 8-byte integer, an 8-byte IEEE double or a string index.
//
// A reader accepts format major 1 only; minor versions may append data after what this
// reader knows, which it then ignores. The reader checks the checksum, every count, index
// and enumerated value, and the model's consistency (ValidateLibrary): a damaged or
// foreign file is rejected with a message, never read past its end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tevo/idl/typelib_model.h"

namespace tevo::idl {

inline constexpr std::uint16_t kFormatMajor = 1;
inline constexpr std::uint16_t kFormatMinor = 0;
inline constexpr std::size_t kHeaderSize = 24;
// Deepest chain of VT_PTR/VT_SAFEARRAY wrappers a type description may have.
inline constexpr std::size_t kMaxTypeWrappers = 8;

// Checks that a model can be stored and read back: references in range, enumerated values
// known, flags consistent with their data. Returns false with a message otherwise.
bool ValidateLibrary(const Library& library, std::string& error);

// Serialises a library. Returns false (and leaves `bytes` empty) when the model is invalid.
bool WriteTypeLib(const Library& library, std::vector<std::uint8_t>& bytes, std::string& error);
// Reads a library from bytes. Returns false with a message for any damaged data.
bool ReadTypeLib(const std::uint8_t* data, std::size_t size, Library& library, std::string& error);

bool WriteTypeLibFile(const std::string& path, const Library& library, std::string& error);
bool ReadTypeLibFile(const std::string& path, Library& library, std::string& error);

// CRC-32 (IEEE 802.3, reflected, as zlib computes it).
std::uint32_t Crc32(const std::uint8_t* data, std::size_t size);

}  // namespace tevo::idl

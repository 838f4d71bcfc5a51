// libFuzzer entry point for the type-library reader: any bytes are either a valid library
// or rejected with a message. Each input is read twice: as it is (where the checksum turns
// away nearly all damage) and with the header's size and checksum patched to match, so
// that the structural checks behind the checksum are fuzzed too. A library that reads back
// is written, read and written again, and both writes must give the same bytes (compared
// as bytes, so that NaN constants compare).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "tevo/idl/typelib_format.h"

namespace {

void Check(const std::uint8_t* data, std::size_t size) {
    tevo::idl::Library library;
    std::string error;
    if (!tevo::idl::ReadTypeLib(data, size, library, error)) {
        return;
    }
    std::vector<std::uint8_t> first;
    std::vector<std::uint8_t> second;
    tevo::idl::Library again;
    if (!tevo::idl::WriteTypeLib(library, first, error) ||
        !tevo::idl::ReadTypeLib(first.data(), first.size(), again, error) ||
        !tevo::idl::WriteTypeLib(again, second, error) || first != second) {
        std::abort();
    }
}

void Put32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Check(data, size);
    if (size >= tevo::idl::kHeaderSize) {
        std::vector<std::uint8_t> patched(data, data + size);
        const std::size_t payload = size - tevo::idl::kHeaderSize;
        Put32(patched, 12, static_cast<std::uint32_t>(payload));
        Put32(patched, 16, tevo::idl::Crc32(patched.data() + tevo::idl::kHeaderSize, payload));
        Check(patched.data(), patched.size());
    }
    return 0;
}

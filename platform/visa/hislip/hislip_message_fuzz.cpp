// libFuzzer target: any bytes as a HiSLIP stream, cut into messages once in a single
// piece and once again in small pieces. Both passes must give the same messages and stop
// in the same way, each message must encode back to exactly the bytes it was read from,
// and no payload may exceed the reader's limit. Run with -DTEVO_FUZZ=ON under clang (see
// platform/visa/CMakeLists.txt).
//
// The first byte chooses the set-up: bits 0-3 the piece size of the second pass (1 to 16),
// bits 4-7 the payload limit (0 to 15 bytes, or 2^k for the values above 7).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "hislip/hislip_message.h"

namespace {

using tevo::visa::hislip::Encode;
using tevo::visa::hislip::Message;
using tevo::visa::hislip::MessageReader;

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

struct Parsed {
    std::vector<std::string> encoded;  // each message encoded again
    MessageReader::Next last = MessageReader::Next::kNeedMore;
    size_t buffered = 0;
};

Parsed Parse(const uint8_t* data, size_t size, size_t piece, uint64_t limit) {
    MessageReader reader(limit);
    Parsed parsed;
    Message message;
    for (size_t at = 0; at < size; at += piece) {
        const size_t n = piece < size - at ? piece : size - at;
        reader.Append(data + at, n);
        while ((parsed.last = reader.Take(&message)) == MessageReader::Next::kMessage) {
            Require(message.payload.size() <= limit);
            parsed.encoded.push_back(Encode(message));
        }
        if (parsed.last == MessageReader::Next::kMalformed) {
            break;
        }
    }
    parsed.buffered = reader.buffered();
    return parsed;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const uint8_t setup = data[0];
    ++data;
    --size;
    const size_t piece = (setup & 0x0F) + 1u;
    const unsigned limit_code = setup >> 4;
    const uint64_t limit = limit_code <= 7 ? limit_code * 2u : uint64_t{1} << (limit_code + 2);

    const Parsed whole = Parse(data, size, size == 0 ? 1 : size, limit);
    const Parsed pieces = Parse(data, size, piece, limit);
    Require(whole.encoded == pieces.encoded);
    Require(whole.last == pieces.last);

    // The messages are the input's own bytes, from its start, one after the other.
    size_t offset = 0;
    for (const std::string& bytes : whole.encoded) {
        Require(offset + bytes.size() <= size);
        Require(bytes.compare(0, bytes.size(), reinterpret_cast<const char*>(data) + offset,
                              bytes.size()) == 0);
        offset += bytes.size();
    }
    if (whole.last == MessageReader::Next::kNeedMore) {
        Require(whole.buffered == size - offset);
    }
    return 0;
}

// libFuzzer target: any bytes as the start of the instrument's answer to a trace query,
// read by the driver's block header checks. A header they accept must read the same when
// written out again, and the VISA reply framer must frame a block of the announced length
// behind it as one block reply; a header they refuse must not be framed as a block, and
// the reason must be printable text. Run with -DTEVO_FUZZ=ON under clang (see
// driver/operations/CMakeLists.txt).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "operations/block_header.h"
#include "transport/reply_framer.h"

namespace {

using tevo::driver::operations::CheckBlockStart;
using tevo::driver::operations::ParseBlockLength;
using tevo::visa::FrameStep;
using tevo::visa::ReplyEnd;
using tevo::visa::ReplyFramer;

// Blocks up to this size are framed for the cross-check; longer ones only parsed.
constexpr long long kMaxFramedLength = 1 << 16;

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void RequirePrintable(const std::string& text) {
    Require(!text.empty());
    for (char c : text) {
        Require(c >= 0x20 && c < 0x7F);
    }
}

struct Parsed {
    std::optional<std::string> fault;
    size_t digits = 0;
    long long length = -1;  // -1 for "#0"
};

// The driver's two reads of a header: the first two bytes, then the length digits.
Parsed ParseHeader(const std::vector<BYTE>& reply) {
    Parsed parsed;
    BYTE start[2] = {};
    const size_t received = std::min<size_t>(2, reply.size());
    std::copy_n(reply.begin(), received, start);
    parsed.fault = CheckBlockStart(start, received, &parsed.digits);
    if (parsed.fault || parsed.digits == 0) {
        return parsed;
    }
    Require(parsed.digits <= 9);
    BYTE field[9] = {};
    const size_t arrived = std::min(parsed.digits, reply.size() - received);
    std::copy_n(reply.begin() + static_cast<std::ptrdiff_t>(received), arrived, field);
    parsed.fault = ParseBlockLength(field, arrived, parsed.digits, &parsed.length);
    return parsed;
}

// The first reply the framer finds in the bytes, with a line feed as termination character.
FrameStep FirstReply(const std::vector<BYTE>& bytes) {
    ReplyFramer framer;
    return framer.Transfer(bytes.data(), bytes.size(), nullptr, SIZE_MAX, '\n', true);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<BYTE> reply(data, data + size);
    const Parsed parsed = ParseHeader(reply);
    if (parsed.fault) {
        RequirePrintable(*parsed.fault);
        // What the driver refuses as a header the framer must not take for a block.
        const ReplyEnd end = FirstReply(reply).end;
        Require(end != ReplyEnd::Block && end != ReplyEnd::BlockWithLf);
        return 0;
    }
    if (parsed.length < 0) {
        return 0;  // "#0": no length, framed as text
    }
    Require(parsed.length < 1000000000LL);
    // Written out again with its digit count, the header is the bytes that were read.
    std::string length_text = std::to_string(parsed.length);
    length_text.insert(0, parsed.digits - std::min(parsed.digits, length_text.size()), '0');
    const std::string header = "#" + std::to_string(parsed.digits) + length_text;
    Require(std::equal(header.begin(), header.end(), reply.begin()));
    if (parsed.length > kMaxFramedLength) {
        return 0;
    }
    // The header, that many data bytes (line feeds among them) and the line feed after
    // the block: one block reply, the line feed included.
    std::vector<BYTE> block(header.begin(), header.end());
    block.resize(header.size() + static_cast<size_t>(parsed.length), '\n');
    block.push_back('\n');
    block.push_back('X');
    const FrameStep step = FirstReply(block);
    Require(step.end == ReplyEnd::BlockWithLf);
    Require(step.delivered == block.size() - 1);
    return 0;
}

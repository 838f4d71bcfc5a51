// libFuzzer target: any bytes as the reply stream of a TCPIP SOCKET session, framed into
// replies once in a single pass and once again in small pieces with a small caller buffer.
// Both passes must give the same replies, and every definite-length block reply must be
// exactly as long as its header announces. Run with -DTEVO_FUZZ=ON under clang (see
// platform/visa/CMakeLists.txt).
//
// The first byte chooses the set-up: bit 0 enables the termination character (a line feed,
// or the second byte when bit 1 is set), bits 2-4 the input piece size and bits 5-7 the
// caller's buffer size of the second pass.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "transport/reply_framer.h"

namespace {

using tevo::visa::FrameStep;
using tevo::visa::ReplyEnd;
using tevo::visa::ReplyFramer;

struct Setup {
    bool termchar_enabled = true;
    ViUInt8 termchar = '\n';
    size_t input_piece = 1;
    size_t output_room = 1;
};

struct Reply {
    std::vector<ViByte> bytes;
    ReplyEnd end = ReplyEnd::None;
    bool operator==(const Reply&) const = default;
};

// The replies of the stream; the last one may be unfinished (end None).
struct Framed {
    std::vector<Reply> replies;
    bool operator==(const Framed&) const = default;
};

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool EndsReply(ReplyEnd end) {
    return end != ReplyEnd::None && end != ReplyEnd::CountReached;
}

// Frames `stream` feeding at most `piece` bytes and offering `room` bytes of output per
// call. A block whose data ended with the input waits for the next piece, as a reader
// with more bytes in flight does; at the very end of the stream the block is closed
// without its line feed.
Framed Frame(const std::vector<ViByte>& stream, const Setup& setup, size_t piece, size_t room) {
    ReplyFramer framer;
    Framed framed;
    Reply current;
    std::vector<ViByte> output(room);
    size_t at = 0;
    while (at < stream.size()) {
        const size_t available = std::min(piece, stream.size() - at);
        const FrameStep step = framer.Transfer(stream.data() + at, available, output.data(), room,
                                               setup.termchar, setup.termchar_enabled);
        Require(step.consumed <= available);
        Require(step.delivered <= room);
        Require(step.delivered <= step.consumed);
        // Every call with input and room makes progress or reports where the reply ended.
        Require(step.consumed > 0 || step.end != ReplyEnd::None);
        current.bytes.insert(current.bytes.end(), output.begin(),
                             output.begin() + static_cast<std::ptrdiff_t>(step.delivered));
        at += step.consumed;
        if (EndsReply(step.end)) {
            current.end = step.end;
            framed.replies.push_back(std::move(current));
            current = Reply{};
        }
    }
    if (framer.AwaitsBlockTail()) {
        current.end = framer.EndBlockWithoutLf();
        Require(framer.OwesLineFeed());
    }
    if (!current.bytes.empty() || current.end != ReplyEnd::None) {
        framed.replies.push_back(std::move(current));
    }
    return framed;
}

// A block's line feed is delivered only when the caller's buffer has room for it after
// the data, and dropped otherwise: the replies are compared without it.
Framed WithoutBlockLineFeeds(Framed framed) {
    for (Reply& reply : framed.replies) {
        if (reply.end == ReplyEnd::BlockWithLf) {
            reply.bytes.pop_back();
            reply.end = ReplyEnd::Block;
        }
    }
    return framed;
}

// The length a block reply must have by its own header ("#", n, n digits, data), or -1
// when the reply does not start with a definite-length block header.
long long AnnouncedBlockSize(const std::vector<ViByte>& reply) {
    if (reply.size() < 2 || reply[0] != '#' || reply[1] < '1' || reply[1] > '9') {
        return -1;
    }
    const size_t digits = static_cast<size_t>(reply[1] - '0');
    if (reply.size() < 2 + digits) {
        return -1;
    }
    long long length = 0;
    for (size_t i = 0; i < digits; ++i) {
        if (reply[2 + i] < '0' || reply[2 + i] > '9') {
            return -1;
        }
        length = length * 10 + (reply[2 + i] - '0');
    }
    return static_cast<long long>(2 + digits) + length;
}

void CheckReply(const Reply& reply, const Setup& setup) {
    const long long block = AnnouncedBlockSize(reply.bytes);
    const auto size = static_cast<long long>(reply.bytes.size());
    switch (reply.end) {
        case ReplyEnd::Block:
            Require(block == size);
            break;
        case ReplyEnd::BlockWithLf:
            Require(block + 1 == size && reply.bytes.back() == '\n');
            break;
        case ReplyEnd::TermChar:
            Require(setup.termchar_enabled && block < 0 && reply.bytes.back() == setup.termchar);
            break;
        case ReplyEnd::None:  // unfinished: shorter than a block it starts
            Require(block < 0 || size < block);
            break;
        case ReplyEnd::CountReached:
            Require(false);
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    Setup setup;
    setup.termchar_enabled = (data[0] & 1) != 0;
    setup.termchar = (data[0] & 2) != 0 ? data[1] : ViUInt8{'\n'};
    setup.input_piece = 1 + ((data[0] >> 2) & 7);
    setup.output_room = 1 + ((data[0] >> 5) & 7);
    const std::vector<ViByte> stream(data + 2, data + size);

    const Framed whole = Frame(stream, setup, stream.size() + 1, stream.size() + 1);
    const Framed pieces = Frame(stream, setup, setup.input_piece, setup.output_room);
    Require(WithoutBlockLineFeeds(whole) == WithoutBlockLineFeeds(pieces));
    size_t total = 0;
    for (const Reply& reply : whole.replies) {
        CheckReply(reply, setup);
        total += reply.bytes.size();
    }
    Require(total <= stream.size());
    return 0;
}

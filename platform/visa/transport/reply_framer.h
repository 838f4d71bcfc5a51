// Where a reply ends on a byte stream without an END indicator (TCPIP SOCKET).
//
// A reply that starts with an IEEE 488.2 definite-length block header ("#", a digit n from
// 1 to 9, then n digits giving the length L) ends after its L data bytes, whatever they
// hold; a line feed right after the block belongs to it. Any other reply (also "#0"
// indefinite blocks and "#H", "#Q", "#B" numbers) ends at the termination character when
// that is enabled. The framer keeps its state between reads, so a read that stops at the
// caller's count is continued by the next one, inside a block too.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tevo/visa.h"

namespace tevo::visa {

enum class ReplyEnd {
    None,          // the reply goes on: more input is needed
    CountReached,  // the caller's buffer is full and the reply goes on
    TermChar,      // ended on the termination character (the last byte delivered)
    Block,         // a definite-length block ended; any line feed after it was not delivered
    BlockWithLf,   // a definite-length block ended and the line feed after it was delivered
};

struct FrameStep {
    size_t consumed = 0;   // input bytes used (delivered, or dropped as a block's late LF)
    size_t delivered = 0;  // bytes written to the output
    ReplyEnd end = ReplyEnd::None;
};

class ReplyFramer {
  public:
    // Moves reply bytes from input to output until the reply ends, the output is full, or
    // the input runs out. A null output takes any number of bytes and keeps none.
    FrameStep Transfer(const ViByte* input, size_t input_length, ViByte* output, size_t output_room,
                       ViUInt8 termchar, bool termchar_enabled);

    // True when a block's data is complete and the framer needs to see the next byte to
    // tell whether a line feed follows. When no byte is available without waiting, the
    // caller ends the reply with EndBlockWithoutLf().
    bool AwaitsBlockTail() const { return state_ == State::BlockTail; }
    ReplyEnd EndBlockWithoutLf();

    // Data bytes of the current block still to come (0 outside block data).
    uint64_t BlockBytesLeft() const { return state_ == State::BlockData ? block_left_ : 0; }
    // Records n block data bytes that the caller moved to the output itself.
    void CountBlockBytes(uint64_t n);

    // True when a block ended without its line feed and no byte has arrived since: the
    // first byte of the next reply is dropped when it is a line feed. The debt lasts until
    // that byte is seen, however long it takes and whatever is written meanwhile.
    bool OwesLineFeed() const { return drop_late_lf_; }

    // A new message is about to be sent: a reply that is partly read (a read stopped at the
    // caller's count inside it) is abandoned. Its rest is then discarded by Discard before
    // the next reply is delivered, as an IEEE 488.2 device discards its output queue when
    // a new program message arrives.
    void AbandonReply();
    bool Discarding() const { return discarding_; }
    // Consumes input of the abandoned reply up to its end: the termination character, or
    // the block's length (and its line feed when that is already in the input). Returns
    // the bytes consumed; Discarding() turns false once the end is reached. A text reply
    // read with the termination character disabled has no end to look for: what the
    // input holds is dropped and the discard ends there.
    size_t Discard(const ViByte* input, size_t input_length, ViUInt8 termchar,
                   bool termchar_enabled);

    // Forgets everything, the owed line feed too: the next byte starts a new reply. For a
    // new connection.
    void Reset();

    // Whether the next byte starts a new reply (nothing of the current one is pending).
    bool AtReplyStart() const { return state_ == State::Start; }

  private:
    enum class State { Start, Hash, LengthDigits, BlockData, BlockTail, Text };

    State state_ = State::Start;
    int length_digits_left_ = 0;
    uint64_t block_left_ = 0;
    bool drop_late_lf_ = false;
    bool discarding_ = false;
};

}  // namespace tevo::visa

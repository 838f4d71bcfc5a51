#include "transport/reply_framer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tevo::visa {
namespace {

struct Framed {
    std::string bytes;
    ReplyEnd end = ReplyEnd::None;
    std::string left;  // input not consumed
};

// One read of at most count bytes over input that arrives in the given pieces. When the
// input runs out right after a block, the read ends there, as the transport does when
// nothing more is available.
Framed Read(ReplyFramer& framer, const std::vector<std::string>& pieces, size_t count,
            ViUInt8 termchar = '\n', bool termchar_enabled = true) {
    std::string output(count, '\0');
    size_t delivered = 0;
    std::string pending;
    Framed framed;
    for (size_t i = 0; i < pieces.size(); ++i) {
        pending += pieces[i];
        const FrameStep step =
            framer.Transfer(reinterpret_cast<const ViByte*>(pending.data()), pending.size(),
                            reinterpret_cast<ViByte*>(output.data()) + delivered, count - delivered,
                            termchar, termchar_enabled);
        pending.erase(0, step.consumed);
        delivered += step.delivered;
        if (step.end != ReplyEnd::None) {
            framed.end = step.end;
            for (size_t j = i + 1; j < pieces.size(); ++j) {
                pending += pieces[j];
            }
            break;
        }
    }
    if (framed.end == ReplyEnd::None && framer.AwaitsBlockTail()) {
        framed.end = framer.EndBlockWithoutLf();
    }
    framed.bytes = output.substr(0, delivered);
    framed.left = pending;
    return framed;
}

Framed Read(ReplyFramer& framer, const std::string& input, size_t count = 65536) {
    return Read(framer, std::vector<std::string>{input}, count);
}

// The input bytes an abandoned reply's discard consumes.
size_t Discard(ReplyFramer& framer, const std::string& input, ViUInt8 termchar = '\n',
               bool termchar_enabled = true) {
    return framer.Discard(reinterpret_cast<const ViByte*>(input.data()), input.size(), termchar,
                          termchar_enabled);
}

// 625 single-precision values, many of whose bytes are 0x0A.
std::string TraceData() {
    std::string data;
    for (int i = 0; i < 625; ++i) {
        const unsigned char bytes[4] = {0x0A, static_cast<unsigned char>(i), 0x0A,
                                        static_cast<unsigned char>(0x40 + i % 7)};
        data.append(reinterpret_cast<const char*>(bytes), 4);
    }
    return data;
}

TEST(ReplyFramer, TextEndsAtTheTerminationCharacterAndKeepsWhatFollows) {
    ReplyFramer framer;
    Framed framed = Read(framer, "+1.50000E+09\nNEXT");
    EXPECT_EQ(framed.bytes, "+1.50000E+09\n");
    EXPECT_EQ(framed.end, ReplyEnd::TermChar);
    EXPECT_EQ(framed.left, "NEXT");
    EXPECT_TRUE(framer.AtReplyStart());
}

TEST(ReplyFramer, TerminationCharacterIsReadFromTheSettingsOfEachRead) {
    ReplyFramer framer;
    Framed framed = Read(framer, {"A\nB;C"}, 100, ';');
    EXPECT_EQ(framed.bytes, "A\nB;");
    EXPECT_EQ(framed.end, ReplyEnd::TermChar);

    ReplyFramer disabled;
    framed = Read(disabled, {"A\nB\n"}, 3, '\n', false);
    EXPECT_EQ(framed.bytes, "A\nB");
    EXPECT_EQ(framed.end, ReplyEnd::CountReached);
}

TEST(ReplyFramer, CountRunningOutOnTheTerminationCharacterReportsTheTerminationCharacter) {
    ReplyFramer framer;
    Framed framed = Read(framer, "ABC\nD", 4);
    EXPECT_EQ(framed.bytes, "ABC\n");
    EXPECT_EQ(framed.end, ReplyEnd::TermChar);
}

TEST(ReplyFramer, LongTextIsReturnedInPiecesAndNothingIsDropped) {
    ReplyFramer framer;
    Framed first = Read(framer, "0123456789\n", 4);
    EXPECT_EQ(first.bytes, "0123");
    EXPECT_EQ(first.end, ReplyEnd::CountReached);
    Framed second = Read(framer, first.left, 4);
    EXPECT_EQ(second.bytes, "4567");
    EXPECT_EQ(second.end, ReplyEnd::CountReached);
    Framed third = Read(framer, second.left, 4);
    EXPECT_EQ(third.bytes, "89\n");
    EXPECT_EQ(third.end, ReplyEnd::TermChar);
}

TEST(ReplyFramer, DefiniteLengthBlockIsReadByItsLengthWhateverItHolds) {
    const std::string data = TraceData();
    ASSERT_EQ(data.size(), 2500u);
    ReplyFramer framer;
    Framed framed = Read(framer, "#42500" + data + "\n");
    EXPECT_EQ(framed.bytes, "#42500" + data + "\n");
    EXPECT_EQ(framed.end, ReplyEnd::BlockWithLf);
    EXPECT_TRUE(framed.left.empty());
}

TEST(ReplyFramer, BlockThatFillsTheCountEndsTheReplyAndDropsItsLineFeed) {
    ReplyFramer framer;
    Framed framed = Read(framer, "#13a\nc\nNEXT\n", 6);
    EXPECT_EQ(framed.bytes, "#13a\nc");
    EXPECT_EQ(framed.end, ReplyEnd::Block);
    EXPECT_EQ(framed.left, "NEXT\n");
}

TEST(ReplyFramer, BlockReadInSmallPiecesContinuesWhereTheLastReadStopped) {
    ReplyFramer framer;
    std::string input = "#210ab\ncdefghi\n";
    std::string collected;
    std::vector<ReplyEnd> ends;
    while (true) {
        Framed framed = Read(framer, input, 3);
        collected += framed.bytes;
        ends.push_back(framed.end);
        input = framed.left;
        if (framed.end != ReplyEnd::CountReached) {
            break;
        }
    }
    EXPECT_EQ(collected, "#210ab\ncdefghi\n");
    // 15 bytes in reads of 3: four full reads, then the last piece ends the block.
    ASSERT_EQ(ends.size(), 5u);
    EXPECT_EQ(ends.back(), ReplyEnd::BlockWithLf);
}

TEST(ReplyFramer, OneByteReadsThroughAHeaderNeverMistakeItForText) {
    ReplyFramer framer;
    std::string input = "#3004\n\n\n\n\n";  // header, four LF data bytes, trailing LF
    std::string collected;
    for (int i = 0; i < 8; ++i) {
        Framed framed = Read(framer, input, 1);
        collected += framed.bytes;
        input = framed.left;
        EXPECT_EQ(framed.end, ReplyEnd::CountReached) << i;
    }
    // The ninth byte is the block's last: the count runs out on the byte that ends the
    // reply, so the reply ends there and the line feed after it goes with it.
    Framed last = Read(framer, input, 1);
    EXPECT_EQ(last.end, ReplyEnd::Block);
    EXPECT_EQ(collected + last.bytes, "#3004\n\n\n\n");
    EXPECT_TRUE(last.left.empty());
}

TEST(ReplyFramer, BlockWithoutLineFeedEndsAndALateLineFeedIsDroppedOnce) {
    ReplyFramer framer;
    Framed block = Read(framer, "#13abc");
    EXPECT_EQ(block.bytes, "#13abc");
    EXPECT_EQ(block.end, ReplyEnd::Block);

    // The block's line feed arrives late, before the next reply: it is not a reply.
    Framed next = Read(framer, "\n\n");
    EXPECT_EQ(next.bytes, "\n");  // the second line feed is an empty reply of its own
    EXPECT_EQ(next.end, ReplyEnd::TermChar);
}

TEST(ReplyFramer, LateLineFeedIsOwedUntilTheFirstByteOfTheNextReply) {
    ReplyFramer framer;
    EXPECT_EQ(Read(framer, "#11a").end, ReplyEnd::Block);
    EXPECT_TRUE(framer.OwesLineFeed());
    // A new message before the line feed came changes nothing: no reply is partly read,
    // and the line feed is still owed.
    framer.AbandonReply();
    EXPECT_FALSE(framer.Discarding());
    EXPECT_TRUE(framer.OwesLineFeed());
    Framed next = Read(framer, "\nX\n");
    EXPECT_EQ(next.bytes, "X\n");
    EXPECT_EQ(next.end, ReplyEnd::TermChar);
    EXPECT_FALSE(framer.OwesLineFeed());

    // A first byte that is not a line feed starts the next reply and settles the debt: a
    // later line feed is a reply of its own.
    ReplyFramer other;
    EXPECT_EQ(Read(other, "#11a").end, ReplyEnd::Block);
    EXPECT_EQ(Read(other, "Y\n").bytes, "Y\n");
    EXPECT_FALSE(other.OwesLineFeed());
    EXPECT_EQ(Read(other, "\n").bytes, "\n");

    ReplyFramer text;
    EXPECT_EQ(Read(text, "A\n").end, ReplyEnd::TermChar);
    EXPECT_FALSE(text.OwesLineFeed());  // text replies own no late line feed
    EXPECT_EQ(Read(text, "\n").bytes, "\n");
}

TEST(ReplyFramer, AbandonedReplyIsDiscardedToItsEnd) {
    // Text: up to and with the termination character, over as many pieces as it takes.
    ReplyFramer text;
    EXPECT_EQ(Read(text, "0123", 4).end, ReplyEnd::CountReached);
    text.AbandonReply();
    ASSERT_TRUE(text.Discarding());
    EXPECT_EQ(Discard(text, "4567"), 4u);
    EXPECT_TRUE(text.Discarding());
    EXPECT_EQ(Discard(text, "89\nNEXT\n"), 3u);
    EXPECT_FALSE(text.Discarding());
    EXPECT_EQ(Read(text, "NEXT\n").bytes, "NEXT\n");

    // A block: by its length, line feeds in its data and the one after it included.
    ReplyFramer block;
    EXPECT_EQ(Read(block, "#15", 3).end, ReplyEnd::CountReached);
    block.AbandonReply();
    EXPECT_EQ(Discard(block, "a\nb\nc\nNEXT\n"), 6u);
    EXPECT_FALSE(block.Discarding());
    EXPECT_FALSE(block.OwesLineFeed());

    // A block whose line feed has not come yet: it is owed, as after any block.
    ReplyFramer owed;
    EXPECT_EQ(Read(owed, "#13", 2).end, ReplyEnd::CountReached);
    owed.AbandonReply();
    EXPECT_EQ(Discard(owed, "3abc"), 4u);
    EXPECT_FALSE(owed.Discarding());
    EXPECT_TRUE(owed.OwesLineFeed());
    EXPECT_EQ(Read(owed, "\nOK\n").bytes, "OK\n");

    // With the termination character disabled a text reply has no end to look for: what
    // is there goes, and the discard ends.
    ReplyFramer raw;
    EXPECT_EQ(Read(raw, {"ABCD"}, 4, '\n', false).end, ReplyEnd::CountReached);
    raw.AbandonReply();
    EXPECT_EQ(Discard(raw, "EF\nGH", '\n', false), 5u);
    EXPECT_FALSE(raw.Discarding());

    // Between replies there is nothing to abandon.
    ReplyFramer idle;
    EXPECT_EQ(Read(idle, "A\n").end, ReplyEnd::TermChar);
    idle.AbandonReply();
    EXPECT_FALSE(idle.Discarding());
    EXPECT_EQ(Discard(idle, "B\n"), 0u);
}

TEST(ReplyFramer, OnlyDefiniteLengthHeadersAtTheStartOfAReplyAreBlocks) {
    const char* const not_blocks[] = {"#0ab\n", "#H1F\n", "#B101\n", "#Q17\n",
                                      "#\n",    "#2\n",   "#3a1\n",  "1,#13a\n"};
    for (const char* reply : not_blocks) {
        ReplyFramer framer;
        const std::string input = std::string(reply) + "tail\n";
        Framed framed = Read(framer, input);
        EXPECT_EQ(framed.bytes, reply) << reply;
        EXPECT_EQ(framed.end, ReplyEnd::TermChar) << reply;
    }
}

TEST(ReplyFramer, EmptyBlockEndsAtItsHeader) {
    ReplyFramer framer;
    Framed framed = Read(framer, "#10\nX\n");
    EXPECT_EQ(framed.bytes, "#10\n");
    EXPECT_EQ(framed.end, ReplyEnd::BlockWithLf);
    EXPECT_EQ(framed.left, "X\n");
}

TEST(ReplyFramer, ResetForgetsAHalfReadBlock) {
    ReplyFramer framer;
    EXPECT_EQ(Read(framer, "#15ab").end, ReplyEnd::None);
    EXPECT_EQ(framer.BlockBytesLeft(), 3u);
    framer.Reset();
    EXPECT_TRUE(framer.AtReplyStart());
    Framed framed = Read(framer, "OK\n");
    EXPECT_EQ(framed.bytes, "OK\n");
    EXPECT_EQ(framed.end, ReplyEnd::TermChar);
}

TEST(ReplyFramer, ReplySplitAtAnyPositionFramesTheSame) {
    const std::string replies[] = {
        "+1.23456789E+09\n",
        "#210\n\n\n\n\n\n\n\n\n\n\n",
        "#15a\nb\nc\n",
        "#0ab\ncd\n",
    };
    for (const std::string& reply : replies) {
        ReplyFramer whole_framer;
        const Framed whole = Read(whole_framer, reply + "NEXT\n");
        for (size_t split = 1; split < reply.size(); ++split) {
            ReplyFramer framer;
            const Framed framed =
                Read(framer, {reply.substr(0, split), reply.substr(split) + "NEXT\n"}, 65536);
            EXPECT_EQ(framed.bytes, whole.bytes) << "split at " << split << " of " << reply;
            EXPECT_EQ(framed.end, whole.end) << "split at " << split << " of " << reply;
            EXPECT_EQ(framed.left, whole.left) << "split at " << split << " of " << reply;
        }
    }
}

}  // namespace
}  // namespace tevo::visa

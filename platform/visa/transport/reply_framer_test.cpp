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

TEST(ReplyFramer, LateLineFeedIsDroppedBeforeTheNextWriteOnlyWhenItIsAtTheHead) {
    const ViByte lf[] = {'\n', 'X'};
    ReplyFramer framer;
    EXPECT_EQ(Read(framer, "#11a").end, ReplyEnd::Block);
    EXPECT_EQ(framer.LateBlockLfToDrop(lf, 2), 1u);
    EXPECT_EQ(framer.LateBlockLfToDrop(lf, 2), 0u);  // only one

    ReplyFramer other;
    EXPECT_EQ(Read(other, "#11a").end, ReplyEnd::Block);
    EXPECT_EQ(other.LateBlockLfToDrop(lf + 1, 1), 0u);  // not a line feed: kept
    EXPECT_EQ(other.LateBlockLfToDrop(lf, 2), 0u);      // and the chance is gone

    ReplyFramer text;
    EXPECT_EQ(Read(text, "A\n").end, ReplyEnd::TermChar);
    EXPECT_EQ(text.LateBlockLfToDrop(lf, 2), 0u);  // text replies own no late line feed
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

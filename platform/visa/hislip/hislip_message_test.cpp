#include "hislip/hislip_message.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

namespace tevo::visa::hislip {
namespace {

std::vector<Message> TakeAll(MessageReader& reader, MessageReader::Next* last) {
    std::vector<Message> messages;
    Message message;
    while ((*last = reader.Take(&message)) == MessageReader::Next::kMessage) {
        messages.push_back(message);
    }
    return messages;
}

TEST(HislipMessageTest, HeaderIsBigEndianWithPrologue) {
    const std::string bytes = Encode(MessageType::kDataEnd, 0x01, 0xFFFFFF02u, "*IDN?");
    const std::string expected_header("HS\x07\x01\xFF\xFF\xFF\x02\0\0\0\0\0\0\0\x05", 16);
    EXPECT_EQ(bytes, expected_header + "*IDN?");

    Header header;
    ASSERT_EQ(DecodeHeader(reinterpret_cast<const uint8_t*>(bytes.data()), 100, &header),
              HeaderCheck::kValid);
    EXPECT_EQ(header.type, MessageType::kDataEnd);
    EXPECT_EQ(header.control, 0x01);
    EXPECT_EQ(header.parameter, 0xFFFFFF02u);
    EXPECT_EQ(header.payload_length, 5u);
}

TEST(HislipMessageTest, SixtyFourBitLengthsRoundTrip) {
    uint8_t bytes[kHeaderSize];
    EncodeHeader({MessageType::kData, 0, 7, 0x0102030405060708ull}, bytes);
    EXPECT_EQ(bytes[8], 0x01);
    EXPECT_EQ(bytes[15], 0x08);
    Header header;
    EXPECT_EQ(DecodeHeader(bytes, UINT64_MAX, &header), HeaderCheck::kValid);
    EXPECT_EQ(header.payload_length, 0x0102030405060708ull);
    // The same header is refused by a reader that takes less.
    EXPECT_EQ(DecodeHeader(bytes, 1u << 20, &header), HeaderCheck::kPayloadTooLarge);
}

TEST(HislipMessageTest, ReaderReassemblesMessagesSplitAnywhere) {
    const std::string stream = Encode(MessageType::kData, 0, kFirstMessageId, "#15ab\ncd") +
                               Encode(MessageType::kDataEnd, 0, kFirstMessageId, "\n") +
                               Encode(MessageType::kDeviceClearAcknowledge, 1, 0);
    for (size_t piece = 1; piece <= stream.size(); ++piece) {
        MessageReader reader;
        std::vector<Message> messages;
        MessageReader::Next last = MessageReader::Next::kNeedMore;
        for (size_t at = 0; at < stream.size(); at += piece) {
            const std::string part = stream.substr(at, piece);
            reader.Append(part.data(), part.size());
            std::vector<Message> taken = TakeAll(reader, &last);
            messages.insert(messages.end(), std::make_move_iterator(taken.begin()),
                            std::make_move_iterator(taken.end()));
        }
        ASSERT_EQ(last, MessageReader::Next::kNeedMore) << "piece " << piece;
        ASSERT_EQ(messages.size(), 3u) << "piece " << piece;
        EXPECT_EQ(messages[0].payload, "#15ab\ncd");
        EXPECT_EQ(messages[1].type, MessageType::kDataEnd);
        EXPECT_EQ(messages[1].payload, "\n");
        EXPECT_EQ(messages[2].type, MessageType::kDeviceClearAcknowledge);
        EXPECT_EQ(messages[2].control, 1);
        EXPECT_EQ(reader.buffered(), 0u);
    }
}

TEST(HislipMessageTest, ReaderKeepsPartialMessageUntilComplete) {
    const std::string bytes = Encode(MessageType::kDataEnd, 0, 1, "hello");
    MessageReader reader;
    reader.Append(bytes.data(), bytes.size() - 1);
    Message message;
    EXPECT_EQ(reader.Take(&message), MessageReader::Next::kNeedMore);
    EXPECT_EQ(reader.buffered(), bytes.size() - 1);
    reader.Append(bytes.data() + bytes.size() - 1, 1);
    ASSERT_EQ(reader.Take(&message), MessageReader::Next::kMessage);
    EXPECT_EQ(message.payload, "hello");
}

TEST(HislipMessageTest, MalformedStreamsAreRefusedForGood) {
    struct Case {
        const char* name;
        std::string bytes;
        uint64_t limit;
        HeaderCheck check;
    };
    const std::vector<Case> cases = {
        {"bad prologue", std::string("HX\x06\0\0\0\0\0\0\0\0\0\0\0\0\0", 16), 100,
         HeaderCheck::kBadPrologue},
        {"raw SCPI", "*IDN?\n*OPC?\n*RST\n\n", 100, HeaderCheck::kBadPrologue},
        {"payload over the limit", Encode(MessageType::kData, 0, 0, std::string(101, 'x')), 100,
         HeaderCheck::kPayloadTooLarge},
        {"huge announced length",
         std::string("HS\x06\0\0\0\0\0\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 16), UINT64_MAX - 1,
         HeaderCheck::kPayloadTooLarge},
    };
    for (const Case& c : cases) {
        MessageReader reader(c.limit);
        reader.Append(c.bytes.data(), c.bytes.size());
        Message message;
        EXPECT_EQ(reader.Take(&message), MessageReader::Next::kMalformed) << c.name;
        EXPECT_EQ(reader.header_check(), c.check) << c.name;
        // A valid message after the damage is not taken: the stream has lost its framing.
        const std::string good = Encode(MessageType::kDataEnd, 0, 0, "x");
        reader.Append(good.data(), good.size());
        EXPECT_EQ(reader.Take(&message), MessageReader::Next::kMalformed) << c.name;
        reader.Clear();
        reader.Append(good.data(), good.size());
        EXPECT_EQ(reader.Take(&message), MessageReader::Next::kMessage) << c.name;
    }
}

TEST(HislipMessageTest, UnknownTypesAreDeliveredForThePeerToAnswer) {
    const std::string bytes = Encode(static_cast<MessageType>(200), 3, 4, "vendor");
    MessageReader reader;
    reader.Append(bytes.data(), bytes.size());
    Message message;
    ASSERT_EQ(reader.Take(&message), MessageReader::Next::kMessage);
    EXPECT_EQ(static_cast<int>(message.type), 200);
    EXPECT_STREQ(TypeName(message.type), "unknown message");
    EXPECT_STREQ(TypeName(MessageType::kAsyncDeviceClearAcknowledge),
                 "AsyncDeviceClearAcknowledge");
}

TEST(HislipMessageTest, ParameterAndPayloadLayouts) {
    const uint32_t init = InitializeParameter(kProtocolVersion, "TV");
    EXPECT_EQ(init, 0x01005456u);
    EXPECT_EQ(HighHalf(init), kProtocolVersion);
    EXPECT_EQ(LowHalf(InitializeResponseParameter(0x0100, 0xBEEF)), 0xBEEF);
    EXPECT_EQ(HighHalf(InitializeResponseParameter(0x0100, 0xBEEF)), 0x0100);

    const std::string size = EncodeSize(0x0000000100000010ull);
    EXPECT_EQ(size, std::string("\0\0\0\x01\0\0\0\x10", 8));
    EXPECT_EQ(DecodeSize(size), 0x0000000100000010ull);
    EXPECT_FALSE(DecodeSize(size.substr(1)).has_value());
    EXPECT_FALSE(DecodeSize(size + "x").has_value());
}

TEST(HislipMessageTest, ReaderReusesItsBufferAcrossManyMessages) {
    MessageReader reader(64);
    Message message;
    for (int i = 0; i < 1000; ++i) {
        const std::string bytes =
            Encode(MessageType::kData, 0, static_cast<uint32_t>(i), std::string(i % 64, 'a'));
        reader.Append(bytes.data(), bytes.size());
        ASSERT_EQ(reader.Take(&message), MessageReader::Next::kMessage);
        ASSERT_EQ(message.parameter, static_cast<uint32_t>(i));
        ASSERT_EQ(message.payload.size(), static_cast<size_t>(i % 64));
    }
    EXPECT_EQ(reader.Take(&message), MessageReader::Next::kNeedMore);
}

}  // namespace
}  // namespace tevo::visa::hislip

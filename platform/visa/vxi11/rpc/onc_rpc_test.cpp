#include "onc_rpc.h"

#include <gtest/gtest.h>

#include <string>

#include "vxi11.h"

namespace tevo::oncrpc {
namespace {

std::string Fragment(std::string_view body, bool last) {
    std::string framed = FrameRecord(body);
    if (!last) {
        framed[0] = static_cast<char>(framed[0] & 0x7F);
    }
    return framed;
}

const xdrproc_t kWriteParms = Xdr<Device_WriteParms, xdr_Device_WriteParms>;
const xdrproc_t kWriteResp = Xdr<Device_WriteResp, xdr_Device_WriteResp>;

TEST(RecordMarkingTest, RecordsComeOutWholeHoweverTheStreamIsCut) {
    const std::string stream =
        FrameRecord("first") + Fragment("sec", false) + Fragment("ond", true) + FrameRecord("");
    RecordReader reader;
    std::vector<std::string> records;
    for (char byte : stream) {
        reader.Append(&byte, 1);
        while (std::optional<std::string> record = reader.Next()) {
            records.push_back(*record);
        }
    }
    EXPECT_EQ(records, (std::vector<std::string>{"first", "second", ""}));
    EXPECT_FALSE(reader.broken());
}

TEST(RecordMarkingTest, RecordOverTheLimitBreaksTheStream) {
    RecordReader reader(8);
    const std::string stream = Fragment("12345", false) + Fragment("6789", true) + FrameRecord("x");
    reader.Append(stream.data(), stream.size());
    EXPECT_FALSE(reader.Next());
    EXPECT_TRUE(reader.broken());
    reader.Reset();
    const std::string small = FrameRecord("ok");
    reader.Append(small.data(), small.size());
    EXPECT_EQ(reader.Next(), "ok");
}

// A call record as the client makes it, taken apart as the server does, and the reply the
// other way round: both ends agree on headers, arguments and results.
TEST(RpcMessageTest, CallAndReplyRoundTrip) {
    std::string payload = std::string("*IDN?\n") + '\0' + "\xff";
    Device_WriteParms args{};
    args.lid = 7;
    args.io_timeout = 1234;
    args.flags = 8;
    args.data.data_len = static_cast<u_int>(payload.size());
    args.data.data_val = payload.data();
    std::string framed =
        EncodeCall(0xCAFE0001u, {DEVICE_CORE, DEVICE_CORE_VERSION, 11}, kWriteParms, &args);
    RecordReader reader;
    reader.Append(framed.data(), framed.size());
    std::optional<std::string> record = reader.Next();
    ASSERT_TRUE(record);
    EXPECT_EQ(MessageXid(*record), 0xCAFE0001u);

    IncomingCall call;
    ASSERT_TRUE(call.Parse(*record));
    EXPECT_EQ(call.xid(), 0xCAFE0001u);
    EXPECT_EQ(call.target().program, uint32_t{DEVICE_CORE});
    EXPECT_EQ(call.target().version, 1u);
    EXPECT_EQ(call.target().procedure, 11u);
    Device_WriteParms decoded{};
    ASSERT_TRUE(call.DecodeArguments(kWriteParms, &decoded));
    EXPECT_EQ(decoded.lid, 7);
    EXPECT_EQ(decoded.io_timeout, 1234u);
    EXPECT_EQ(decoded.flags, 8);
    EXPECT_EQ(std::string(decoded.data.data_val, decoded.data.data_len), payload);
    FreeDecoded(kWriteParms, &decoded);

    Device_WriteResp result{0, 9};
    const std::string reply = EncodeResultsReply(call.xid(), kWriteResp, &result);
    reader.Append(reply.data(), reply.size());
    record = reader.Next();
    ASSERT_TRUE(record);
    Device_WriteResp received{};
    EXPECT_EQ(DecodeReply(*record, kWriteResp, &received), ReplyOutcome::kResults);
    EXPECT_EQ(received.size, 9u);
}

TEST(RpcMessageTest, RepliesWithoutResultsAndGarbageAreTold) {
    Device_WriteResp result{};
    const std::string refused = EncodeFailureReply(5, PROC_UNAVAIL);
    ASSERT_GT(refused.size(), 4u);
    EXPECT_EQ(DecodeReply(refused.substr(4), kWriteResp, &result), ReplyOutcome::kNotExecuted);
    const std::string mismatch = EncodeFailureReply(6, PROG_MISMATCH, 1, 1);
    EXPECT_EQ(DecodeReply(mismatch.substr(4), kWriteResp, &result), ReplyOutcome::kNotExecuted);
    EXPECT_EQ(DecodeReply("garbage!", kWriteResp, &result), ReplyOutcome::kMalformed);

    // A call whose header is cut short is no call.
    Device_WriteParms args{};
    const std::string framed = EncodeCall(1, {DEVICE_CORE, 1, 11}, kWriteParms, &args);
    IncomingCall call;
    EXPECT_FALSE(call.Parse(framed.substr(4, 20)));
    EXPECT_TRUE(call.Parse(framed.substr(4)));
}

}  // namespace
}  // namespace tevo::oncrpc

// The emulator's VXI-11 gateway spoken to call by call: request sizes, termination
// character and END on reads, END on writes, time-outs, the abort channel, device clear,
// the status byte, and what it refuses.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <optional>
#include <string>
#include <thread>

#include "onc_rpc.h"
#include "tevo/emulator/emulator.h"
#include "vxi11.h"

namespace tevo::emulator {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr long kEnd = 8;
constexpr long kTermCharSet = 0x80;
constexpr long kReasonRequestCount = 1;
constexpr long kReasonTermChar = 2;
constexpr long kReasonEnd = 4;

template <typename T, bool_t (*Routine)(XDR*, T*)>
xdrproc_t Codec() {
    return oncrpc::Xdr<T, Routine>;
}

// One RPC connection with blocking I/O; every receive gives up after 10 s, so that a
// gateway that does not answer fails the test instead of hanging it.
class RpcConnection {
  public:
    explicit RpcConnection(uint16_t port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        timeval limit{10, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~RpcConnection() { ::close(fd_); }
    RpcConnection(const RpcConnection&) = delete;
    RpcConnection& operator=(const RpcConnection&) = delete;
    bool connected() const { return connected_; }

    oncrpc::ReplyOutcome Call(uint32_t program, uint32_t procedure, xdrproc_t args_proc,
                              const void* args, xdrproc_t results_proc, void* results) {
        const std::string call =
            oncrpc::EncodeCall(++xid_, {program, 1, procedure}, args_proc, args);
        if (::send(fd_, call.data(), call.size(), MSG_NOSIGNAL) !=
            static_cast<ssize_t>(call.size())) {
            return oncrpc::ReplyOutcome::kMalformed;
        }
        while (true) {
            if (std::optional<std::string> record = reader_.Next()) {
                EXPECT_EQ(oncrpc::MessageXid(*record), xid_);
                return oncrpc::DecodeReply(*record, results_proc, results);
            }
            char buffer[65536];
            const ssize_t got = ::recv(fd_, buffer, sizeof buffer, 0);
            if (got <= 0) {
                return oncrpc::ReplyOutcome::kMalformed;
            }
            reader_.Append(buffer, static_cast<size_t>(got));
        }
    }

  private:
    int fd_ = -1;
    bool connected_ = false;
    uint32_t xid_ = 100;
    oncrpc::RecordReader reader_;
};

// A VXI-11 client of the core channel, call by call.
class CoreClient {
  public:
    explicit CoreClient(uint16_t port) : rpc_(port) {}
    bool connected() const { return rpc_.connected(); }

    Create_LinkResp CreateLink(std::string device) {
        Create_LinkParms args{};
        args.clientId = 1;
        args.device = device.data();
        Create_LinkResp reply{};
        EXPECT_EQ(
            rpc_.Call(DEVICE_CORE, create_link, Codec<Create_LinkParms, xdr_Create_LinkParms>(),
                      &args, Codec<Create_LinkResp, xdr_Create_LinkResp>(), &reply),
            oncrpc::ReplyOutcome::kResults);
        return reply;
    }

    Device_WriteResp Write(long lid, std::string data, long flags, u_long io_timeout = 5000) {
        Device_WriteParms args{};
        args.lid = lid;
        args.io_timeout = io_timeout;
        args.flags = flags;
        args.data.data_len = static_cast<u_int>(data.size());
        args.data.data_val = data.data();
        Device_WriteResp reply{};
        EXPECT_EQ(
            rpc_.Call(DEVICE_CORE, device_write, Codec<Device_WriteParms, xdr_Device_WriteParms>(),
                      &args, Codec<Device_WriteResp, xdr_Device_WriteResp>(), &reply),
            oncrpc::ReplyOutcome::kResults);
        return reply;
    }

    struct ReadResult {
        long error = -1;
        long reason = 0;
        std::string data;
    };
    ReadResult Read(long lid, u_long request_size, u_long io_timeout = 5000, long flags = 0,
                    char term_char = '\n') {
        Device_ReadParms args{};
        args.lid = lid;
        args.requestSize = request_size;
        args.io_timeout = io_timeout;
        args.flags = flags;
        args.termChar = term_char;
        Device_ReadResp reply{};
        const xdrproc_t codec = Codec<Device_ReadResp, xdr_Device_ReadResp>();
        ReadResult result;
        if (rpc_.Call(DEVICE_CORE, device_read, Codec<Device_ReadParms, xdr_Device_ReadParms>(),
                      &args, codec, &reply) == oncrpc::ReplyOutcome::kResults) {
            result = {reply.error, reply.reason,
                      std::string(reply.data.data_val, reply.data.data_len)};
            oncrpc::FreeDecoded(codec, &reply);
        }
        return result;
    }

    Device_Error Generic(uint32_t procedure, long lid) {
        Device_GenericParms args{};
        args.lid = lid;
        args.io_timeout = 5000;
        Device_Error reply{-1};
        EXPECT_EQ(
            rpc_.Call(DEVICE_CORE, procedure, Codec<Device_GenericParms, xdr_Device_GenericParms>(),
                      &args, Codec<Device_Error, xdr_Device_Error>(), &reply),
            oncrpc::ReplyOutcome::kResults);
        return reply;
    }

    Device_ReadStbResp ReadStb(long lid) {
        Device_GenericParms args{};
        args.lid = lid;
        Device_ReadStbResp reply{-1, 0};
        EXPECT_EQ(rpc_.Call(DEVICE_CORE, device_readstb,
                            Codec<Device_GenericParms, xdr_Device_GenericParms>(), &args,
                            Codec<Device_ReadStbResp, xdr_Device_ReadStbResp>(), &reply),
                  oncrpc::ReplyOutcome::kResults);
        return reply;
    }

    Device_Error OnLink(uint32_t program, uint32_t procedure, long lid) {
        Device_Link link = lid;
        Device_Error reply{-1};
        EXPECT_EQ(rpc_.Call(program, procedure, Codec<Device_Link, xdr_Device_Link>(), &link,
                            Codec<Device_Error, xdr_Device_Error>(), &reply),
                  oncrpc::ReplyOutcome::kResults);
        return reply;
    }

    RpcConnection& rpc() { return rpc_; }

  private:
    RpcConnection rpc_;
};

class Vxi11Gateway : public ::testing::Test {
  protected:
    void SetUp() override {
        EmulatorOptions options;
        options.time_scale = 0;
        options.vxi11_port = 0;
        emulator_ = std::make_unique<Emulator>(options);
        emulator_->Start(0);
        ASSERT_NE(emulator_->Vxi11Port(), 0);
        client_ = std::make_unique<CoreClient>(emulator_->Vxi11Port());
        ASSERT_TRUE(client_->connected());
        link_ = client_->CreateLink("inst0");
        ASSERT_EQ(link_.error, 0);
    }

    std::unique_ptr<Emulator> emulator_;
    std::unique_ptr<CoreClient> client_;
    Create_LinkResp link_{};
};

TEST_F(Vxi11Gateway, LinkAnnouncesAbortPortAndLargestWrite) {
    EXPECT_NE(link_.abortPort, 0);
    EXPECT_NE(link_.abortPort, emulator_->Vxi11Port());
    EXPECT_GE(link_.maxRecvSize, 1024u);
    // Only the analyzer itself is there: no device behind a GPIB gateway.
    EXPECT_EQ(client_->CreateLink("gpib0,5").error, 3);
}

TEST_F(Vxi11Gateway, ReadsEndOnRequestSizeTermCharAndEnd) {
    const std::string identity = emulator_->Execute("*IDN?") + "\n";
    ASSERT_EQ(client_->Write(link_.lid, "*IDN?", kEnd).size, 5u);

    CoreClient::ReadResult part = client_->Read(link_.lid, 4);
    EXPECT_EQ(part.error, 0);
    EXPECT_EQ(part.reason, kReasonRequestCount);
    EXPECT_EQ(part.data, identity.substr(0, 4));
    // Up to and including the termination character, when asked for.
    part = client_->Read(link_.lid, 1000, 5000, kTermCharSet, ',');
    EXPECT_EQ(part.reason, kReasonTermChar);
    EXPECT_EQ(part.data, identity.substr(4, identity.find(',') - 3));
    // The rest, END on its last byte (which is also where the request size runs out).
    const size_t rest = identity.size() - identity.find(',') - 1;
    part = client_->Read(link_.lid, static_cast<u_long>(rest));
    EXPECT_EQ(part.reason, kReasonEnd | kReasonRequestCount);
    EXPECT_EQ(part.data, identity.substr(identity.find(',') + 1));
    EXPECT_EQ(emulator_->ReceivedMessages(), std::vector<std::string>{"*IDN?"});
}

TEST_F(Vxi11Gateway, LargeRepliesComeInPiecesWithEndOnTheLast) {
    ASSERT_EQ(
        client_->Write(link_.lid, "FORM REAL,32;:SENS:SWE:POIN 4001;:INIT:CONT OFF", kEnd).error,
        0);
    ASSERT_TRUE(emulator_->WaitForMessages(1, 5s));
    const std::string trace = emulator_->Execute("TRAC? TRACE1") + "\n";
    ASSERT_EQ(client_->Write(link_.lid, "TRAC? TRACE1", kEnd).error, 0);
    std::string received;
    CoreClient::ReadResult piece;
    int reads = 0;
    do {
        piece = client_->Read(link_.lid, 1u << 20);
        ASSERT_EQ(piece.error, 0);
        received += piece.data;
        ++reads;
    } while ((piece.reason & kReasonEnd) == 0 && reads < 100);
    EXPECT_GT(reads, 1);
    EXPECT_TRUE(received == trace) << received.size() << " of " << trace.size();
}

TEST_F(Vxi11Gateway, WritesEndTheMessageOnEndOnly) {
    // Pieces without END join into one message; END without a line feed gets one.
    EXPECT_EQ(client_->Write(link_.lid, "*ESE ", 0).size, 5u);
    EXPECT_EQ(client_->Write(link_.lid, "4", kEnd).size, 1u);
    // A message that already ends in a line feed gets no second one.
    EXPECT_EQ(client_->Write(link_.lid, "*ESE?\n", kEnd).error, 0);
    EXPECT_EQ(client_->Read(link_.lid, 100).data, "4\n");
    EXPECT_EQ(emulator_->ReceivedMessages(), (std::vector<std::string>{"*ESE 4", "*ESE?"}));
}

TEST_F(Vxi11Gateway, ReadWithoutReplyTimesOutWithError15) {
    const Clock::time_point start = Clock::now();
    const CoreClient::ReadResult result = client_->Read(link_.lid, 100, 150);
    EXPECT_EQ(result.error, 15);
    EXPECT_TRUE(result.data.empty());
    EXPECT_GE(Clock::now() - start, 150ms);
}

TEST_F(Vxi11Gateway, AbortChannelStopsAWaitingRead) {
    emulator_->InjectFault(Fault::NoReply("*IDN?"));
    ASSERT_EQ(client_->Write(link_.lid, "*IDN?", kEnd).error, 0);
    auto read =
        std::async(std::launch::async, [&] { return client_->Read(link_.lid, 100, 60000).error; });
    // The abort may come before the read waits: it then ends the read at once all the same.
    RpcConnection abort_channel(link_.abortPort);
    ASSERT_TRUE(abort_channel.connected());
    Device_Link lid = link_.lid;
    Device_Error aborted{-1};
    EXPECT_EQ(abort_channel.Call(DEVICE_ASYNC, device_abort, Codec<Device_Link, xdr_Device_Link>(),
                                 &lid, Codec<Device_Error, xdr_Device_Error>(), &aborted),
              oncrpc::ReplyOutcome::kResults);
    EXPECT_EQ(aborted.error, 0);
    ASSERT_EQ(read.wait_for(10s), std::future_status::ready) << "the read was not aborted";
    EXPECT_EQ(read.get(), 23);
    // An unknown link cannot be aborted.
    lid = link_.lid + 100;
    abort_channel.Call(DEVICE_ASYNC, device_abort, Codec<Device_Link, xdr_Device_Link>(), &lid,
                       Codec<Device_Error, xdr_Device_Error>(), &aborted);
    EXPECT_EQ(aborted.error, 4);
}

TEST_F(Vxi11Gateway, ClearForgetsTheReplyOwedAndWhatWasLeft) {
    ASSERT_EQ(client_->Write(link_.lid, "*IDN?", kEnd).error, 0);
    EXPECT_EQ(client_->Read(link_.lid, 3).reason, kReasonRequestCount);
    ASSERT_EQ(client_->Write(link_.lid, "*IDN?", kEnd).error, 0);
    EXPECT_EQ(client_->Generic(device_clear, link_.lid).error, 0);
    ASSERT_EQ(client_->Write(link_.lid, "*OPC?", kEnd).error, 0);
    const CoreClient::ReadResult reply = client_->Read(link_.lid, 100);
    EXPECT_EQ(reply.data, "1\n");
    EXPECT_EQ(reply.reason, kReasonEnd);
}

TEST_F(Vxi11Gateway, AnalyzerDroppingTheLinkDropsTheCoreConnection) {
    emulator_->InjectFault(Fault::CloseConnection("*IDN?"));
    client_->Write(link_.lid, "*IDN?", kEnd);
    Device_ReadParms args{};
    args.lid = link_.lid;
    args.requestSize = 100;
    args.io_timeout = 5000;
    Device_ReadResp reply{};
    // No answer: the connection ends instead.
    EXPECT_EQ(client_->rpc().Call(DEVICE_CORE, device_read,
                                  Codec<Device_ReadParms, xdr_Device_ReadParms>(), &args,
                                  Codec<Device_ReadResp, xdr_Device_ReadResp>(), &reply),
              oncrpc::ReplyOutcome::kMalformed);
    EXPECT_TRUE(emulator_->WaitForDisconnect(10s));
}

TEST_F(Vxi11Gateway, StatusByteIsReadWithoutAMessage) {
    Device_ReadStbResp status = client_->ReadStb(link_.lid);
    EXPECT_EQ(status.error, 0);
    EXPECT_EQ(status.stb & 0x04, 0);
    emulator_->PushError(-222);
    status = client_->ReadStb(link_.lid);
    EXPECT_EQ(status.stb & 0x04, 0x04);  // the error queue holds an error
    EXPECT_TRUE(emulator_->ReceivedMessages().empty());
}

TEST_F(Vxi11Gateway, UnknownLinksProceduresAndProgramsAreRefused) {
    EXPECT_EQ(client_->Generic(device_clear, link_.lid + 7).error, 4);
    EXPECT_EQ(client_->Read(link_.lid + 7, 10).error, 4);
    EXPECT_EQ(client_->OnLink(DEVICE_CORE, device_unlock, link_.lid).error, 8);  // no locking
    Device_Link lid = link_.lid;
    Device_Error ignored{};
    EXPECT_EQ(client_->rpc().Call(DEVICE_CORE, 99, Codec<Device_Link, xdr_Device_Link>(), &lid,
                                  Codec<Device_Error, xdr_Device_Error>(), &ignored),
              oncrpc::ReplyOutcome::kNotExecuted);
    EXPECT_EQ(client_->rpc().Call(0x0607B1, 30, Codec<Device_Link, xdr_Device_Link>(), &lid,
                                  Codec<Device_Error, xdr_Device_Error>(), &ignored),
              oncrpc::ReplyOutcome::kNotExecuted);
    // A destroyed link is gone.
    EXPECT_EQ(client_->OnLink(DEVICE_CORE, destroy_link, link_.lid).error, 0);
    EXPECT_EQ(client_->OnLink(DEVICE_CORE, destroy_link, link_.lid).error, 4);
    EXPECT_EQ(client_->Write(link_.lid, "*IDN?", kEnd).error, 4);
}

}  // namespace
}  // namespace tevo::emulator

// VXI-11 sessions of the VISA library to the emulator's gateway: finding the core channel
// through a portmapper, the INSTR attributes and their defaults, and END on writes.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "emulator_session.h"

#include "onc_rpc.h"
#include "tevo/visa.h"
#include "vxi11/vxi11_transport.h"

// The portmapper's types, after rpc.h (which onc_rpc.h brings).
#include <rpc/pmap_prot.h>

namespace tevo::visa::emulator_tests {
namespace {

using namespace std::chrono_literals;

constexpr uint32_t kPortmapperProgram = 100000;
constexpr uint32_t kGetPort = 3;

// A portmapper of its own on an ephemeral loopback port: answers GETPORT with a fixed port
// and records what it was asked. Each wait is bounded, so that the test fails instead of
// hanging.
class FakePortmapper {
  public:
    explicit FakePortmapper(uint32_t answer) : answer_(answer) {
        listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        EXPECT_EQ(::bind(listen_fd_, reinterpret_cast<sockaddr*>(&address), length), 0);
        EXPECT_EQ(::listen(listen_fd_, 4), 0);
        ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~FakePortmapper() {
        stop_.store(true);
        thread_.join();
        ::close(listen_fd_);
    }
    uint16_t port() const { return port_; }
    std::vector<pmap> questions() {
        std::lock_guard<std::mutex> lock(mutex_);
        return questions_;
    }

  private:
    void Serve() {
        while (!stop_.load()) {
            pollfd ready{listen_fd_, POLLIN, 0};
            if (::poll(&ready, 1, 50) <= 0) {
                continue;
            }
            const int client = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0) {
                Answer(client);
                ::close(client);
            }
        }
    }

    void Answer(int client) {
        oncrpc::RecordReader reader;
        char buffer[4096];
        while (!stop_.load()) {
            pollfd ready{client, POLLIN, 0};
            if (::poll(&ready, 1, 50) <= 0) {
                continue;
            }
            const ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
            if (got <= 0) {
                return;
            }
            reader.Append(buffer, static_cast<size_t>(got));
            while (std::optional<std::string> record = reader.Next()) {
                oncrpc::IncomingCall call;
                pmap question{};
                const xdrproc_t pmap_codec = oncrpc::Xdr<pmap, xdr_pmap>;
                if (!call.Parse(std::move(*record)) ||
                    call.target().program != kPortmapperProgram ||
                    call.target().procedure != kGetPort ||
                    !call.DecodeArguments(pmap_codec, &question)) {
                    return;
                }
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    questions_.push_back(question);
                }
                u_int port = answer_;
                const std::string reply =
                    oncrpc::EncodeResultsReply(call.xid(), oncrpc::Xdr<u_int, xdr_u_int>, &port);
                ::send(client, reply.data(), reply.size(), MSG_NOSIGNAL);
            }
        }
    }

    uint32_t answer_;
    int listen_fd_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<pmap> questions_;
    std::thread thread_;
};

// Points VXI-11 sessions opened meanwhile at a portmapper of the test's own.
class PortmapperAt {
  public:
    explicit PortmapperAt(uint16_t port) { SetPortmapperPortForTesting(port); }
    ~PortmapperAt() { SetPortmapperPortForTesting(kPortmapperPort); }
    PortmapperAt(const PortmapperAt&) = delete;
    PortmapperAt& operator=(const PortmapperAt&) = delete;
};

EmulatorOptions ServingVxi11() {
    EmulatorOptions options = InstantSweeps();
    options.vxi11_port = 0;
    return options;
}

std::string StringAttribute(ViSession vi, ViAttr attribute) {
    ViChar text[256] = {};
    EXPECT_EQ(viGetAttribute(vi, attribute, text), VI_SUCCESS);
    return text;
}

TEST(Vxi11Session, WithoutPortTheCoreChannelComesFromThePortmapper) {
    Emulator emulator(ServingVxi11());
    emulator.Start(0);
    FakePortmapper portmapper(emulator.Vxi11Port());
    PortmapperAt seam(portmapper.port());
    {
        TestSession session("TCPIP0::127.0.0.1::inst0::INSTR");
        const ReadOutcome outcome = session.Query("*IDN?");
        EXPECT_EQ(outcome.status, VI_SUCCESS);
        EXPECT_EQ(outcome.bytes, std::string(kIdentity) + "\n");
    }
    const std::vector<pmap> questions = portmapper.questions();
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0].pm_prog, 0x0607AFu);
    EXPECT_EQ(questions[0].pm_vers, 1u);
    EXPECT_EQ(questions[0].pm_prot, static_cast<u_long>(IPPROTO_TCP));

    // With ",port" the portmapper is not asked.
    TestSession direct(emulator.ResourceName(tevo::emulator::EmulatorTransport::kVxi11));
    EXPECT_EQ(direct.Query("*OPC?").bytes, "1\n");
    EXPECT_EQ(portmapper.questions().size(), 1u);
}

TEST(Vxi11Session, PortmapperWithoutTheCoreProgramMeansNotFound) {
    FakePortmapper portmapper(0);
    PortmapperAt seam(portmapper.port());
    ViSession rm = VI_NULL;
    ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
    ViSession vi = VI_NULL;
    EXPECT_EQ(viOpen(rm, "TCPIP0::127.0.0.1::inst0::INSTR", VI_NO_LOCK, 2000, &vi),
              VI_ERROR_RSRC_NFOUND);
    ViChar text[VI_FIND_BUFLEN] = {};
    viStatusDesc(rm, VI_ERROR_RSRC_NFOUND, text);
    EXPECT_NE(std::string(text).find("VXI-11"), std::string::npos) << text;
    viClose(rm);
}

TEST(Vxi11Session, InstrAttributesKeepTheStandardDefaults) {
    Emulator emulator(ServingVxi11());
    emulator.Start(0);
    const std::string host = "TCPIP0::127.0.0.1," + std::to_string(emulator.Vxi11Port());
    TestSession session(host + "::inst1::INSTR");
    EXPECT_EQ(StringAttribute(session.vi, VI_ATTR_RSRC_CLASS), "INSTR");
    EXPECT_EQ(StringAttribute(session.vi, VI_ATTR_TCPIP_DEVICE_NAME), "inst1");
    ViBoolean flag = VI_TRUE;
    ASSERT_EQ(viGetAttribute(session.vi, VI_ATTR_TCPIP_IS_HISLIP, &flag), VI_SUCCESS);
    EXPECT_EQ(flag, VI_FALSE);
    ASSERT_EQ(viGetAttribute(session.vi, VI_ATTR_TERMCHAR_EN, &flag), VI_SUCCESS);
    EXPECT_EQ(flag, VI_FALSE);
    ASSERT_EQ(viGetAttribute(session.vi, VI_ATTR_SUPPRESS_END_EN, &flag), VI_SUCCESS);
    EXPECT_EQ(flag, VI_FALSE);
    EXPECT_EQ(viSetAttribute(session.vi, VI_ATTR_TCPIP_DEVICE_NAME, 0), VI_ERROR_ATTR_READONLY);

    // The termination character ends reads once switched on.
    ASSERT_EQ(viSetAttribute(session.vi, VI_ATTR_TERMCHAR, ','), VI_SUCCESS);
    ASSERT_EQ(viSetAttribute(session.vi, VI_ATTR_TERMCHAR_EN, VI_TRUE), VI_SUCCESS);
    ReadOutcome outcome = session.Query("*IDN?");
    EXPECT_EQ(outcome.status, VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(outcome.bytes, "Valdacor,");

    // A device the analyzer is not.
    ViSession vi = VI_NULL;
    EXPECT_EQ(viOpen(session.rm, (host + "::gpib0,5::INSTR").c_str(), VI_NO_LOCK, 2000, &vi),
              VI_ERROR_RSRC_NFOUND);
}

TEST(Vxi11Session, OnlyTheLastPieceOfAMessageCarriesEnd) {
    Emulator emulator(ServingVxi11());
    emulator.Start(0);
    TestSession session(emulator.ResourceName(tevo::emulator::EmulatorTransport::kVxi11));
    ASSERT_EQ(viSetAttribute(session.vi, VI_ATTR_SEND_END_EN, VI_FALSE), VI_SUCCESS);
    ASSERT_EQ(session.Write("*ESE "), VI_SUCCESS);
    ASSERT_EQ(viSetAttribute(session.vi, VI_ATTR_SEND_END_EN, VI_TRUE), VI_SUCCESS);
    ASSERT_EQ(session.Write("4"), VI_SUCCESS);
    EXPECT_EQ(session.Query("*ESE?").bytes, "4\n");
    EXPECT_EQ(emulator.ReceivedMessages(), (std::vector<std::string>{"*ESE 4", "*ESE?"}));
}

TEST(Vxi11Session, StatusByteComesFromDeviceReadStb) {
    Emulator emulator(ServingVxi11());
    emulator.Start(0);
    TestSession session(emulator.ResourceName(tevo::emulator::EmulatorTransport::kVxi11));
    ViUInt16 status_byte = 0xFFFF;
    ASSERT_EQ(viReadSTB(session.vi, &status_byte), VI_SUCCESS);
    EXPECT_EQ(status_byte & 0x04, 0);
    emulator.PushError(-222);
    ASSERT_EQ(viReadSTB(session.vi, &status_byte), VI_SUCCESS);
    EXPECT_EQ(status_byte & 0x04, 0x04);  // the error queue holds an error
    EXPECT_TRUE(emulator.ReceivedMessages().empty());
}

TEST(Vxi11Session, ClosingDuringAReadStopsTheDeviceAndEndsTheLink) {
    Emulator emulator(ServingVxi11());
    emulator.Start(0);
    ViSession rm = VI_NULL;
    ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
    ViSession vi = VI_NULL;
    ASSERT_EQ(viOpen(rm, emulator.ResourceName(tevo::emulator::EmulatorTransport::kVxi11).c_str(),
                     VI_NO_LOCK, 2000, &vi),
              VI_SUCCESS);
    ASSERT_EQ(viSetAttribute(vi, VI_ATTR_TMO_VALUE, VI_TMO_INFINITE), VI_SUCCESS);
    emulator.InjectFault(Fault::NoReply("*IDN?"));
    auto read = std::async(std::launch::async, [vi] {
        ViUInt32 count = 0;
        const ViStatus written = viWrite(vi, reinterpret_cast<const ViByte*>("*IDN?"), 5, &count);
        if (written != VI_SUCCESS) {
            return written;
        }
        ViByte buffer[100];
        return viRead(vi, buffer, sizeof buffer, &count);
    });
    // The read waits for a reply that never comes, with no time-out.
    ASSERT_TRUE(emulator.WaitForMessages(1, 10s));
    EXPECT_EQ(read.wait_for(200ms), std::future_status::timeout);
    EXPECT_EQ(viClose(vi), VI_SUCCESS);
    ASSERT_EQ(read.wait_for(10s), std::future_status::ready) << "viClose did not end the read";
    EXPECT_EQ(read.get(), VI_ERROR_ABORT);
    // The gateway stopped the read on the device (device_abort) and destroyed the link, so the
    // analyzer has no client any more.
    EXPECT_TRUE(emulator.WaitForDisconnect(10s));
    viClose(rm);
}

TEST(Vxi11Session, ClearLinksAnewAfterTheDeviceDroppedTheConnection) {
    Emulator emulator(ServingVxi11());
    emulator.Start(0);
    TestSession session(emulator.ResourceName(tevo::emulator::EmulatorTransport::kVxi11));
    emulator.InjectFault(Fault::CloseConnection("*IDN?"));
    EXPECT_EQ(session.Query("*IDN?").status, VI_ERROR_CONN_LOST);
    EXPECT_EQ(session.Query("*OPC?").status, VI_ERROR_CONN_LOST);
    EXPECT_EQ(viClear(session.vi), VI_SUCCESS);
    const ReadOutcome outcome = session.Query("*OPC?");
    EXPECT_EQ(outcome.status, VI_SUCCESS);
    EXPECT_EQ(outcome.bytes, "1\n");
}

}  // namespace
}  // namespace tevo::visa::emulator_tests

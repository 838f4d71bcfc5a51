// Connection set-up of SOCKET sessions (name resolution within the open time-out, a host
// with several addresses of which the first is slow) and the system calls a query costs.
#include "transport/tcp_connection.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "testing/scripted_peer.h"
#include "testing/session_fixture.h"
#include "tevo/visa.h"
#include "transport/host_resolver.h"

namespace tevo::visa {
namespace {

using namespace std::chrono_literals;
using testing::Answering;
using testing::ReadOutcome;
using testing::ScriptedPeer;
using testing::Signal;
using testing::TestSession;
using testing::UnansweringListener;
using Clock = std::chrono::steady_clock;

// A time-out ends no earlier than its value and, on a loaded two-core machine, no more
// than this much later.
constexpr auto kLateMargin = 1500ms;

std::chrono::milliseconds Since(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
}

Endpoint Loopback(unsigned short port) {
    Endpoint endpoint;
    auto& v4 = reinterpret_cast<sockaddr_in&>(endpoint.address);
    v4.sin_family = AF_INET;
    v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    v4.sin_port = htons(port);
    endpoint.length = sizeof v4;
    return endpoint;
}

// A loopback port that refuses connections: bound, never listening. Held for the test.
class RefusingPort {
  public:
    RefusingPort() : fd_(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        Endpoint endpoint = Loopback(0);
        socklen_t length = endpoint.length;
        auto* address = reinterpret_cast<sockaddr*>(&endpoint.address);
        if (fd_ < 0 || bind(fd_, address, length) != 0 || getsockname(fd_, address, &length) != 0) {
            throw std::runtime_error("cannot bind a loopback port");
        }
        port_ = ntohs(reinterpret_cast<sockaddr_in&>(endpoint.address).sin_port);
    }
    ~RefusingPort() { close(fd_); }
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;
    unsigned short port() const { return port_; }

  private:
    int fd_;
    unsigned short port_ = 0;
};

std::string Description(ViObject vi, ViStatus status) {
    ViChar text[VI_FIND_BUFLEN];
    viStatusDesc(vi, status, text);
    return text;
}

TEST(SocketConnectionSetUp, OpenTimeOutBoundsNameResolution) {
    // A resolver that hangs until the test lets it go, as one waiting on a dead name server.
    auto release = std::make_shared<Signal>();
    ScopedResolverOverride slow_resolver(
        [release](const std::string&, ViUInt16, std::vector<Endpoint>*) {
            release->Wait();
            return EAI_AGAIN;
        });
    ViSession rm = VI_NULL;
    ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
    ViSession vi = 77;
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(viOpen(rm, "TCPIP0::analyzer.test::5025::SOCKET", VI_NO_LOCK, 300, &vi),
              VI_ERROR_TMO);
    const auto elapsed = Since(start);
    release->Set();
    EXPECT_GE(elapsed, 300ms);
    EXPECT_LE(elapsed, 300ms + kLateMargin);
    EXPECT_EQ(vi, static_cast<ViSession>(VI_NULL));
    EXPECT_NE(Description(rm, VI_ERROR_TMO).find("did not resolve within"), std::string::npos);
    viClose(rm);
}

TEST(SocketConnectionSetUp, SlowFirstAddressDoesNotStopTheSearchForTheOthers) {
    UnansweringListener silent;
    if (!silent.saturated()) {
        GTEST_SKIP() << "this network stack answers connections beyond a full accept queue";
    }
    RefusingPort refusing;
    ScriptedPeer peer(Answering(
        [](const std::string& line) -> std::optional<std::string> { return line + "=1\n"; }));
    // The name has three addresses: one refuses, one never answers, and the last works.
    ScopedResolverOverride resolver([&](const std::string& host, ViUInt16 port,
                                        std::vector<Endpoint>* endpoints) {
        EXPECT_EQ(host, "analyzer.test");
        EXPECT_EQ(port, 5025);
        *endpoints = {Loopback(refusing.port()), Loopback(silent.port()), Loopback(peer.port())};
        return 0;
    });
    TestSession session("TCPIP0::analyzer.test::5025::SOCKET");
    ASSERT_EQ(session.open_status, VI_SUCCESS);
    EXPECT_EQ(session.Query("*IDN?").bytes, "*IDN?=1\n");
    ViChar address[VI_FIND_BUFLEN];
    ASSERT_EQ(viGetAttribute(session.vi, VI_ATTR_TCPIP_ADDR, address), VI_SUCCESS);
    EXPECT_STREQ(address, "127.0.0.1");

    // A device clear connects anew to the address that answered.
    EXPECT_EQ(viClear(session.vi), VI_SUCCESS);
    EXPECT_EQ(session.Query("*OPC?").bytes, "*OPC?=1\n");
    EXPECT_EQ(peer.accepted(), 2);
}

TEST(SocketConnectionSetUp, AddressesThatNeverAnswerEndAtTheOpenTimeOut) {
    UnansweringListener silent;
    if (!silent.saturated()) {
        GTEST_SKIP() << "this network stack answers connections beyond a full accept queue";
    }
    ScopedResolverOverride resolver([&](const std::string&, ViUInt16,
                                        std::vector<Endpoint>* endpoints) {
        *endpoints = {Loopback(silent.port()), Loopback(silent.port()), Loopback(silent.port())};
        return 0;
    });
    ViSession rm = VI_NULL;
    ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
    ViSession vi = VI_NULL;
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(viOpen(rm, "TCPIP0::analyzer.test::5025::SOCKET", VI_NO_LOCK, 600, &vi),
              VI_ERROR_TMO);
    EXPECT_GE(Since(start), 600ms);
    EXPECT_LE(Since(start), 600ms + kLateMargin);
    viClose(rm);
}

TEST(SocketQueryCost, AQueryTakesOneSendOneWaitAndOneReceive) {
    std::string block = "#42500";
    for (int i = 0; i < 2500; ++i) {
        block += static_cast<char>(i % 7 == 0 ? '\n' : 'A' + i % 26);
    }
    ScriptedPeer peer(Answering([&](const std::string& line) -> std::optional<std::string> {
        if (line == "TRAC?") {
            return block + "\n";  // block and line feed in one segment
        }
        return std::string("+1.00000000E+09\n");
    }));
    TestSession session(peer.Resource());
    ASSERT_EQ(session.Query("FREQ?").bytes, "+1.00000000E+09\n");  // options are set by now

    constexpr uint64_t kQueries = 50;
    uint64_t before = TcpConnection::SystemCallCount();
    for (uint64_t i = 0; i < kQueries; ++i) {
        ASSERT_EQ(session.Query("FREQ?").status, VI_SUCCESS_TERM_CHAR);
    }
    EXPECT_LE(TcpConnection::SystemCallCount() - before, 3 * kQueries);

    before = TcpConnection::SystemCallCount();
    for (uint64_t i = 0; i < kQueries; ++i) {
        const ReadOutcome trace = session.Query("TRAC?", 8192);
        ASSERT_EQ(trace.status, VI_SUCCESS_TERM_CHAR);
        ASSERT_EQ(trace.bytes, block + "\n");
    }
    EXPECT_LE(TcpConnection::SystemCallCount() - before, 3 * kQueries);
}

}  // namespace
}  // namespace tevo::visa

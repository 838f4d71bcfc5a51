// Resource-manager and instrument sessions through the exported operations: handles,
// closing, attributes, access modes and the resource kinds that cannot be opened.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>

#include "testing/scripted_peer.h"
#include "testing/session_fixture.h"
#include "tevo/visa.h"

namespace tevo::visa {
namespace {

using namespace std::chrono_literals;
using testing::Answering;
using testing::PeerConnection;
using testing::ScriptedPeer;
using testing::Signal;
using testing::TestSession;

ScriptedPeer::Script EchoQueries() {
    return Answering(
        [](const std::string& line) -> std::optional<std::string> { return line + "\n"; });
}

std::string Description(ViObject vi, ViStatus status) {
    ViChar text[VI_FIND_BUFLEN];
    viStatusDesc(vi, status, text);
    return text;
}

TEST(ResourceManager, EachOpenGivesADistinctSession) {
    ViSession first = VI_NULL;
    ViSession second = VI_NULL;
    ASSERT_EQ(viOpenDefaultRM(&first), VI_SUCCESS);
    ASSERT_EQ(viOpenDefaultRM(&second), VI_SUCCESS);
    EXPECT_NE(first, static_cast<ViSession>(VI_NULL));
    EXPECT_NE(first, second);
    EXPECT_EQ(viClose(first), VI_SUCCESS);
    EXPECT_EQ(viClose(second), VI_SUCCESS);
    EXPECT_EQ(viOpenDefaultRM(VI_NULL), VI_ERROR_INV_PARAMETER);
}

TEST(ResourceManager, ClosingItClosesTheSessionsItOpened) {
    Signal client_closed;
    ScriptedPeer peer([&](PeerConnection& connection, int) {
        if (connection.WaitForClientClose()) {
            client_closed.Set();
        }
    });
    ViSession rm = VI_NULL;
    ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
    ViSession vi = VI_NULL;
    ASSERT_EQ(viOpen(rm, peer.Resource().c_str(), VI_NO_LOCK, 2000, &vi), VI_SUCCESS);
    ASSERT_EQ(viClose(rm), VI_SUCCESS);
    EXPECT_TRUE(client_closed.Wait());
    ViUInt32 timeout = 0;
    EXPECT_EQ(viGetAttribute(vi, VI_ATTR_TMO_VALUE, &timeout), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(viClose(vi), VI_ERROR_INV_OBJECT);
}

TEST(Session, EveryCallOnAClosedOrUnknownSessionIsInvalidObject) {
    ScriptedPeer peer(EchoQueries());
    ViSession rm = VI_NULL;
    ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
    ViSession vi = VI_NULL;
    ASSERT_EQ(viOpen(rm, peer.Resource().c_str(), VI_NO_LOCK, 2000, &vi), VI_SUCCESS);
    ASSERT_EQ(viClose(vi), VI_SUCCESS);

    for (ViSession gone : {vi, static_cast<ViSession>(0xFFFFFF00u)}) {
        ViByte buffer[16];
        ViUInt32 count = 77;
        EXPECT_EQ(viRead(gone, buffer, sizeof buffer, &count), VI_ERROR_INV_OBJECT);
        EXPECT_EQ(count, 0u);
        EXPECT_EQ(viWrite(gone, buffer, 1, &count), VI_ERROR_INV_OBJECT);
        EXPECT_EQ(viClear(gone), VI_ERROR_INV_OBJECT);
        EXPECT_EQ(viFlush(gone, VI_READ_BUF_DISCARD), VI_ERROR_INV_OBJECT);
        ViUInt32 timeout = 0;
        EXPECT_EQ(viGetAttribute(gone, VI_ATTR_TMO_VALUE, &timeout), VI_ERROR_INV_OBJECT);
        EXPECT_EQ(viSetAttribute(gone, VI_ATTR_TMO_VALUE, 100), VI_ERROR_INV_OBJECT);
        ViChar text[VI_FIND_BUFLEN];
        EXPECT_EQ(viStatusDesc(gone, VI_ERROR_TMO, text), VI_ERROR_INV_OBJECT);
        EXPECT_EQ(viClose(gone), VI_ERROR_INV_OBJECT);
        ViSession opened = 5;
        EXPECT_EQ(viOpen(gone, peer.Resource().c_str(), VI_NO_LOCK, 0, &opened),
                  VI_ERROR_INV_OBJECT);
        EXPECT_EQ(opened, static_cast<ViSession>(VI_NULL));
    }
    EXPECT_EQ(viClose(VI_NULL), VI_ERROR_INV_OBJECT);

    // A closed resource manager can open nothing more.
    ASSERT_EQ(viClose(rm), VI_SUCCESS);
    EXPECT_EQ(viOpen(rm, peer.Resource().c_str(), VI_NO_LOCK, 0, &vi), VI_ERROR_INV_OBJECT);
}

TEST(Session, OperationsOnTheWrongKindOfSessionAreNotSupported) {
    ScriptedPeer peer(EchoQueries());
    TestSession session(peer.Resource());
    ViByte buffer[4];
    ViUInt32 count = 0;
    EXPECT_EQ(viRead(session.rm, buffer, sizeof buffer, &count), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(viWrite(session.rm, buffer, 1, &count), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(viClear(session.rm), VI_ERROR_NSUP_OPER);
    ViSession other = VI_NULL;
    EXPECT_EQ(viOpen(session.vi, peer.Resource().c_str(), VI_NO_LOCK, 0, &other),
              VI_ERROR_NSUP_OPER);
    ViUInt32 timeout = 0;
    EXPECT_EQ(viGetAttribute(session.rm, VI_ATTR_TMO_VALUE, &timeout), VI_ERROR_NSUP_ATTR);
}

TEST(Session, NullBuffersAreRejected) {
    ScriptedPeer peer(EchoQueries());
    TestSession session(peer.Resource());
    ViUInt32 count = 0;
    EXPECT_EQ(viRead(session.vi, VI_NULL, 10, &count), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(viWrite(session.vi, VI_NULL, 10, &count), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(viGetAttribute(session.vi, VI_ATTR_TMO_VALUE, VI_NULL), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(viOpen(session.rm, peer.Resource().c_str(), VI_NO_LOCK, 0, VI_NULL),
              VI_ERROR_INV_PARAMETER);
    // The count pointers may be null.
    const ViByte query[] = {'A', '?'};
    EXPECT_EQ(viWrite(session.vi, query, 2, VI_NULL), VI_SUCCESS);
    ViByte reply[8];
    EXPECT_EQ(viRead(session.vi, reply, sizeof reply, VI_NULL), VI_SUCCESS_TERM_CHAR);
}

TEST(Session, AttributesHaveTheirSocketDefaults) {
    ScriptedPeer peer(EchoQueries());
    const std::string resource = "TCPIP0::127.0.0.1::" + std::to_string(peer.port()) + "::SOCKET";
    TestSession session(resource);
    ViUInt32 timeout = 0;
    ViUInt8 termchar = 0;
    ViUInt16 number = 0;
    ViBoolean flag = 7;
    ViChar text[VI_FIND_BUFLEN];

    ASSERT_EQ(viGetAttribute(session.vi, VI_ATTR_TMO_VALUE, &timeout), VI_SUCCESS);
    EXPECT_EQ(timeout, 2000u);
    ASSERT_EQ(viGetAttribute(session.vi, VI_ATTR_TERMCHAR, &termchar), VI_SUCCESS);
    EXPECT_EQ(termchar, 0x0A);
    const std::pair<ViAttr, ViBoolean> switches[] = {
        {VI_ATTR_TERMCHAR_EN, VI_TRUE},      {VI_ATTR_SEND_END_EN, VI_TRUE},
        {VI_ATTR_SUPPRESS_END_EN, VI_TRUE},  {VI_ATTR_TCPIP_NODELAY, VI_TRUE},
        {VI_ATTR_TCPIP_KEEPALIVE, VI_FALSE}, {VI_ATTR_TCPIP_IS_HISLIP, VI_FALSE},
    };
    for (const auto& [attribute, expected] : switches) {
        ASSERT_EQ(viGetAttribute(session.vi, attribute, &flag), VI_SUCCESS)
            << std::hex << attribute;
        EXPECT_EQ(flag, expected) << std::hex << attribute;
    }
    ASSERT_EQ(viGetAttribute(session.vi, VI_ATTR_IO_PROT, &number), VI_SUCCESS);
    EXPECT_EQ(number, VI_PROT_NORMAL);
    ASSERT_EQ(viGetAttribute(session.vi, VI_ATTR_INTF_TYPE, &number), VI_SUCCESS);
    EXPECT_EQ(number, VI_INTF_TCPIP);
    ASSERT_EQ(viGetAttribute(session.vi, VI_ATTR_INTF_NUM, &number), VI_SUCCESS);
    EXPECT_EQ(number, 0);
    ASSERT_EQ(viGetAttribute(session.vi, VI_ATTR_TCPIP_PORT, &number), VI_SUCCESS);
    EXPECT_EQ(number, peer.port());
    ASSERT_EQ(viGetAttribute(session.vi, VI_ATTR_RSRC_NAME, text), VI_SUCCESS);
    EXPECT_EQ(std::string(text), resource);
    ASSERT_EQ(viGetAttribute(session.vi, VI_ATTR_RSRC_CLASS, text), VI_SUCCESS);
    EXPECT_STREQ(text, "SOCKET");
    ASSERT_EQ(viGetAttribute(session.vi, VI_ATTR_TCPIP_ADDR, text), VI_SUCCESS);
    EXPECT_STREQ(text, "127.0.0.1");
    EXPECT_EQ(viGetAttribute(session.vi, VI_ATTR_TCPIP_DEVICE_NAME, text), VI_ERROR_NSUP_ATTR);
    EXPECT_EQ(viGetAttribute(session.vi, 0x3FFF0FFFu, text), VI_ERROR_NSUP_ATTR);
}

TEST(Session, TimeOutValueRoundTrips) {
    ScriptedPeer peer(EchoQueries());
    TestSession session(peer.Resource());
    // The value is written as a ViUInt32 only: the bytes around it stay untouched.
    struct {
        ViUInt32 value;
        ViUInt32 guard;
    } read_back = {0, 0xA5A5A5A5u};
    for (ViUInt32 value : {0u, 1u, 2000u, 30000u, 123456789u, VI_TMO_INFINITE}) {
        ASSERT_EQ(viSetAttribute(session.vi, VI_ATTR_TMO_VALUE, value), VI_SUCCESS) << value;
        ASSERT_EQ(viGetAttribute(session.vi, VI_ATTR_TMO_VALUE, &read_back.value), VI_SUCCESS);
        EXPECT_EQ(read_back.value, value);
        EXPECT_EQ(read_back.guard, 0xA5A5A5A5u);
    }
    // A saved value kept in a signed 32-bit variable comes back sign-extended.
    const int32_t saved_infinite = -1;
    ASSERT_EQ(
        viSetAttribute(session.vi, VI_ATTR_TMO_VALUE, static_cast<ViAttrState>(saved_infinite)),
        VI_SUCCESS);
    ASSERT_EQ(viGetAttribute(session.vi, VI_ATTR_TMO_VALUE, &read_back.value), VI_SUCCESS);
    EXPECT_EQ(read_back.value, VI_TMO_INFINITE);
}

TEST(Session, AttributeWritesAreCheckedAndRefusedWhereTheyMustBe) {
    ScriptedPeer peer(EchoQueries());
    TestSession session(peer.Resource());
    for (ViAttr read_only : {VI_ATTR_RSRC_NAME, VI_ATTR_RSRC_CLASS, VI_ATTR_INTF_TYPE,
                             VI_ATTR_INTF_NUM, VI_ATTR_TCPIP_ADDR, VI_ATTR_TCPIP_HOSTNAME,
                             VI_ATTR_TCPIP_PORT, VI_ATTR_TCPIP_IS_HISLIP}) {
        EXPECT_EQ(viSetAttribute(session.vi, read_only, 1), VI_ERROR_ATTR_READONLY)
            << std::hex << read_only;
    }
    EXPECT_EQ(viSetAttribute(session.vi, 0x3FFF0FFFu, 1), VI_ERROR_NSUP_ATTR);
    EXPECT_EQ(viSetAttribute(session.vi, VI_ATTR_TCPIP_DEVICE_NAME, 1), VI_ERROR_NSUP_ATTR);

    EXPECT_EQ(viSetAttribute(session.vi, VI_ATTR_TERMCHAR, 0x100), VI_ERROR_NSUP_ATTR_STATE);
    EXPECT_EQ(viSetAttribute(session.vi, VI_ATTR_TERMCHAR_EN, 2), VI_ERROR_NSUP_ATTR_STATE);
    EXPECT_EQ(viSetAttribute(session.vi, VI_ATTR_IO_PROT, 2), VI_ERROR_NSUP_ATTR_STATE);
    EXPECT_EQ(viSetAttribute(session.vi, VI_ATTR_SUPPRESS_END_EN, VI_FALSE),
              VI_ERROR_NSUP_ATTR_STATE);
    if (sizeof(ViAttrState) > 4) {
        EXPECT_EQ(viSetAttribute(session.vi, VI_ATTR_TMO_VALUE, ViAttrState{1} << 40),
                  VI_ERROR_NSUP_ATTR_STATE);
    }
    // Refused writes change nothing.
    ViUInt8 termchar = 0;
    ViBoolean enabled = VI_FALSE;
    ViUInt32 timeout = 0;
    ASSERT_EQ(viGetAttribute(session.vi, VI_ATTR_TERMCHAR, &termchar), VI_SUCCESS);
    ASSERT_EQ(viGetAttribute(session.vi, VI_ATTR_TERMCHAR_EN, &enabled), VI_SUCCESS);
    ASSERT_EQ(viGetAttribute(session.vi, VI_ATTR_TMO_VALUE, &timeout), VI_SUCCESS);
    EXPECT_EQ(termchar, 0x0A);
    EXPECT_EQ(enabled, VI_TRUE);
    EXPECT_EQ(timeout, 2000u);

    ASSERT_EQ(viSetAttribute(session.vi, VI_ATTR_TCPIP_KEEPALIVE, VI_TRUE), VI_SUCCESS);
    ASSERT_EQ(viGetAttribute(session.vi, VI_ATTR_TCPIP_KEEPALIVE, &enabled), VI_SUCCESS);
    EXPECT_EQ(enabled, VI_TRUE);
}

TEST(Session, AccessModesOtherThanPlainOpenAreRefused) {
    ScriptedPeer peer(EchoQueries());
    ViSession rm = VI_NULL;
    ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
    ViSession vi = VI_NULL;
    const std::string resource = peer.Resource();
    EXPECT_EQ(viOpen(rm, resource.c_str(), 8, 0, &vi), VI_ERROR_INV_ACC_MODE);
    EXPECT_EQ(viOpen(rm, resource.c_str(), VI_EXCLUSIVE_LOCK | VI_SHARED_LOCK, 0, &vi),
              VI_ERROR_INV_ACC_MODE);
    EXPECT_EQ(viOpen(rm, resource.c_str(), VI_EXCLUSIVE_LOCK, 0, &vi), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(viOpen(rm, resource.c_str(), VI_SHARED_LOCK, 0, &vi), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(vi, static_cast<ViSession>(VI_NULL));
    EXPECT_EQ(viOpen(rm, resource.c_str(), VI_LOAD_CONFIG, 0, &vi), VI_SUCCESS);
    viClose(rm);
}

TEST(Session, ResourcesThatCannotBeReachedYetAreNotFoundAndSayWhy) {
    ViSession rm = VI_NULL;
    ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
    const std::pair<const char*, const char*> cases[] = {
        {"TCPIP0::127.0.0.1::inst0::INSTR", "VXI-11"},
        {"TCPIP::127.0.0.1", "VXI-11"},
        {"TCPIP0::[::1]::hislip0,4881::INSTR", "HiSLIP"},
        {"GPIB0::5::INSTR", "GPIB"},
        {"ASRL1::INSTR", "Serial"},
        {"USB0::0x0957::0x1796::MY1::INSTR", "USB"},
    };
    for (const auto& [resource, kind] : cases) {
        ViSession vi = 9;
        EXPECT_EQ(viOpen(rm, resource, VI_NO_LOCK, 0, &vi), VI_ERROR_RSRC_NFOUND) << resource;
        EXPECT_EQ(vi, static_cast<ViSession>(VI_NULL));
        EXPECT_NE(Description(rm, VI_ERROR_RSRC_NFOUND).find(kind), std::string::npos) << resource;
    }
    viClose(rm);
}

TEST(Session, MalformedResourceStringsAreInvalidNames) {
    ViSession rm = VI_NULL;
    ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
    ViSession vi = VI_NULL;
    EXPECT_EQ(viOpen(rm, "TCPIP::analyzer.lab::SOCKET", VI_NO_LOCK, 0, &vi),
              VI_ERROR_INV_RSRC_NAME);
    EXPECT_NE(Description(rm, VI_ERROR_INV_RSRC_NAME).find("port"), std::string::npos);
    EXPECT_EQ(viOpen(rm, "TCPIP0::host::99999::SOCKET", VI_NO_LOCK, 0, &vi),
              VI_ERROR_INV_RSRC_NAME);
    EXPECT_EQ(viOpen(rm, VI_NULL, VI_NO_LOCK, 0, &vi), VI_ERROR_INV_RSRC_NAME);
    // Longer than any VISA string buffer: refused rather than cut.
    const std::string long_name = "TCPIP0::" + std::string(250, 'a') + "::5025::SOCKET";
    EXPECT_EQ(viOpen(rm, long_name.c_str(), VI_NO_LOCK, 0, &vi), VI_ERROR_INV_RSRC_NAME);
    viClose(rm);
}

TEST(Session, FlushDiscardsReceivedInputAndChecksItsMask) {
    Signal both_in_client;
    ScriptedPeer peer([&](PeerConnection& connection, int) {
        while (std::optional<std::string> line = connection.ReadLine()) {
            if (*line == "TWO?") {
                connection.Send("FIRST\nSECOND\n");
                connection.WaitAcknowledged();
                both_in_client.Set();
            } else {
                connection.Send(*line + "\n");
            }
        }
    });
    TestSession session(peer.Resource());
    ASSERT_EQ(session.Write("TWO?"), VI_SUCCESS);
    ASSERT_TRUE(both_in_client.Wait());
    EXPECT_EQ(session.Read(100).bytes, "FIRST\n");
    EXPECT_EQ(viFlush(session.vi, VI_READ_BUF_DISCARD), VI_SUCCESS);
    EXPECT_EQ(session.Query("AFTER?").bytes, "AFTER?\n");

    EXPECT_EQ(viFlush(session.vi, VI_WRITE_BUF), VI_SUCCESS);
    EXPECT_EQ(viFlush(session.vi, 0), VI_ERROR_INV_MASK);
    EXPECT_EQ(viFlush(session.vi, 0x100), VI_ERROR_INV_MASK);
    EXPECT_EQ(viFlush(session.vi, VI_READ_BUF | VI_READ_BUF_DISCARD), VI_ERROR_INV_MASK);
}

TEST(Session, ClosingWakesAReadBlockedInAnotherThread) {
    Signal query_arrived;
    ScriptedPeer peer([&](PeerConnection& connection, int) {
        if (connection.ReadLine()) {
            query_arrived.Set();  // and no reply, ever
        }
        connection.WaitForClientClose();
    });
    TestSession session(peer.Resource());
    ASSERT_EQ(session.SetTimeout(VI_TMO_INFINITE), VI_SUCCESS);
    auto reader = std::async(std::launch::async, [&] { return session.Query("NEVER?"); });
    ASSERT_TRUE(query_arrived.Wait());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(viClose(session.vi), VI_SUCCESS);
    ASSERT_EQ(reader.wait_for(testing::kSafetyLimit), std::future_status::ready);
    const ViStatus status = reader.get().status;
    // Aborted while it waited, or refused if the close came before it started waiting.
    EXPECT_TRUE(status == VI_ERROR_ABORT || status == VI_ERROR_INV_OBJECT) << std::hex << status;
    EXPECT_LE(std::chrono::steady_clock::now() - start, 1500ms);
}

}  // namespace
}  // namespace tevo::visa

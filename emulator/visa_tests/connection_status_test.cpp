// What a SOCKET session reports when the analyzer emulator is not there, drops the
// connection, or is named by a resource string that does not parse.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "emulator_session.h"
#include "tevo/visa.h"

namespace tevo::visa::emulator_tests {
namespace {

using namespace std::chrono_literals;

std::string Description(ViObject vi, ViStatus status) {
    ViChar text[VI_FIND_BUFLEN];
    viStatusDesc(vi, status, text);
    return text;
}

TEST(EmulatorConnection, PortJustClosedRefusesAndIsResourceNotFound) {
    Emulator emulator(InstantSweeps());
    const uint16_t port = emulator.Start(0);
    const std::string resource = emulator.ResourceName();
    emulator.Stop();

    ViSession rm = VI_NULL;
    ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
    ViSession vi = 77;
    EXPECT_EQ(viOpen(rm, resource.c_str(), VI_NO_LOCK, 2000, &vi), VI_ERROR_RSRC_NFOUND);
    EXPECT_EQ(vi, static_cast<ViSession>(VI_NULL));
    EXPECT_NE(Description(rm, VI_ERROR_RSRC_NFOUND).find("refused"), std::string::npos);

    // Listening again on the same port, the same resource opens.
    emulator.Start(port);
    ASSERT_EQ(viOpen(rm, resource.c_str(), VI_NO_LOCK, 2000, &vi), VI_SUCCESS);
    EXPECT_TRUE(emulator.WaitForConnections(1, 5s));
    viClose(rm);
}

TEST(EmulatorConnection, DroppedConnectionIsLostUntilClearConnectsAgain) {
    EmulatorSession s;
    EXPECT_EQ(s.Query("*IDN?").bytes, std::string(kIdentity) + "\n");
    const std::string center = s.emulator.Execute("SENS:FREQ:CENT?");

    // The analyzer closes the connection on receipt of a command, without running it.
    s.emulator.InjectFault(Fault::CloseConnection("SENS:FREQ:CENT 123E6"));
    EXPECT_EQ(s.session.Write("SENS:FREQ:CENT 123E6"), VI_SUCCESS);
    ASSERT_TRUE(s.emulator.WaitForDisconnect(5s));
    // The write of the query may still leave before the loss is seen; the query fails
    // either way, and so does every later operation until viClear.
    EXPECT_EQ(s.Query("*OPC?").status, VI_ERROR_CONN_LOST);
    EXPECT_NE(Description(s.session.vi, VI_ERROR_CONN_LOST).find("viClear"), std::string::npos);
    EXPECT_EQ(s.session.Write("*IDN?"), VI_ERROR_CONN_LOST);
    EXPECT_EQ(s.session.Read(10).status, VI_ERROR_CONN_LOST);

    EXPECT_EQ(viClear(s.session.vi), VI_SUCCESS);
    EXPECT_EQ(s.Query("*IDN?").bytes, std::string(kIdentity) + "\n");
    // The command that closed the connection never ran.
    EXPECT_EQ(s.emulator.Execute("SENS:FREQ:CENT?"), center);

    // Dropped while a query waits for its reply.
    s.emulator.InjectFault(Fault::CloseConnection("*OPC?"));
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(s.Query("*OPC?").status, VI_ERROR_CONN_LOST);
    EXPECT_LE(Since(start), kLateMargin);  // the loss ends the read, not the time-out
    EXPECT_EQ(viClear(s.session.vi), VI_SUCCESS);
    EXPECT_EQ(s.Query("*OPC?").bytes, "1\n");
    EXPECT_EQ(s.emulator.ConnectionCount(), 3u);
}

TEST(EmulatorConnection, MalformedResourceNamesAreRejectedWithoutConnecting) {
    Emulator emulator(InstantSweeps());
    emulator.Start(0);
    const std::string port = std::to_string(emulator.port());
    ViSession rm = VI_NULL;
    ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);

    const std::string malformed[] = {
        "TCPIP::127.0.0.1::SOCKET",                    // no port
        "TCPIP::127.0.0.1::" + port + "x::SOCKET",     // port not a number
        "TCPIP::127.0.0.1::" + port + "0000::SOCKET",  // port out of range
        "TCPIP::127.0.0.1," + port + "::" + port + "::SOCKET",
        "TCPIP::127.0.0.1::" + port + "::SOCKET::",
        "TCPIP::127.0.0.1::" + port + "::" + port + "::SOCKET",
        "TCPIPx::127.0.0.1::" + port + "::SOCKET",
        "TCPIP::127.0.0.1 ::" + port + "::SOCKET",
        "127.0.0.1:" + port,
        "",
    };
    for (const std::string& name : malformed) {
        ViSession vi = 77;
        EXPECT_EQ(viOpen(rm, name.c_str(), VI_NO_LOCK, 2000, &vi), VI_ERROR_INV_RSRC_NAME) << name;
        EXPECT_EQ(vi, static_cast<ViSession>(VI_NULL)) << name;
    }
    EXPECT_EQ(emulator.ConnectionCount(), 0u);

    // Keywords in any letter case name the same resource.
    ViSession vi = VI_NULL;
    const std::string lower = "tcpip0::127.0.0.1::" + port + "::socket";
    ASSERT_EQ(viOpen(rm, lower.c_str(), VI_NO_LOCK, 2000, &vi), VI_SUCCESS);
    EXPECT_TRUE(emulator.WaitForConnections(1, 5s));
    viClose(rm);
}

}  // namespace
}  // namespace tevo::visa::emulator_tests

#include "resource/resource_name.h"

#include <gtest/gtest.h>

#include <string>

#include "tevo/visa.h"

namespace tevo::visa {
namespace {

struct ValidCase {
    const char* text;
    ViUInt16 interface_type;
    ViUInt16 board;
    const char* resource_class;
    const char* canonical;
};

// Every resource-string form the library knows, with what viParseRsrcEx reports for it.
const ValidCase kValid[] = {
    {"TCPIP0::192.0.2.10::5025::SOCKET", VI_INTF_TCPIP, 0, "SOCKET",
     "TCPIP0::192.0.2.10::5025::SOCKET"},
    {"tcpip3::analyzer.lab::5025::socket", VI_INTF_TCPIP, 3, "SOCKET",
     "TCPIP3::analyzer.lab::5025::SOCKET"},
    {"TCPIP::[::1]::5025::SOCKET", VI_INTF_TCPIP, 0, "SOCKET", "TCPIP0::[::1]::5025::SOCKET"},
    {"TCPIP0::[fe80::1%eth0]::5025::SOCKET", VI_INTF_TCPIP, 0, "SOCKET",
     "TCPIP0::[fe80::1%eth0]::5025::SOCKET"},
    {"TCPIP0::192.0.2.10::inst0::INSTR", VI_INTF_TCPIP, 0, "INSTR",
     "TCPIP0::192.0.2.10::inst0::INSTR"},
    {"TCPIP::192.0.2.10", VI_INTF_TCPIP, 0, "INSTR", "TCPIP0::192.0.2.10::inst0::INSTR"},
    {"TCPIP::192.0.2.10::INSTR", VI_INTF_TCPIP, 0, "INSTR", "TCPIP0::192.0.2.10::inst0::INSTR"},
    {"TCPIP1::192.0.2.10::inst2", VI_INTF_TCPIP, 1, "INSTR", "TCPIP1::192.0.2.10::inst2::INSTR"},
    {"TCPIP0::127.0.0.1,40001::inst0::INSTR", VI_INTF_TCPIP, 0, "INSTR",
     "TCPIP0::127.0.0.1,40001::inst0::INSTR"},
    {"TCPIP0::192.0.2.10::gpib0,5::INSTR", VI_INTF_TCPIP, 0, "INSTR",
     "TCPIP0::192.0.2.10::gpib0,5::INSTR"},
    {"TCPIP0::192.0.2.10::gpib,5", VI_INTF_TCPIP, 0, "INSTR", "TCPIP0::192.0.2.10::gpib,5::INSTR"},
    {"TCPIP0::192.0.2.10::hislip0::INSTR", VI_INTF_TCPIP, 0, "INSTR",
     "TCPIP0::192.0.2.10::hislip0::INSTR"},
    {"TCPIP0::[::1]::hislip0,4881::INSTR", VI_INTF_TCPIP, 0, "INSTR",
     "TCPIP0::[::1]::hislip0,4881::INSTR"},
    {"TCPIP::host-1.example::HiSLIP2", VI_INTF_TCPIP, 0, "INSTR",
     "TCPIP0::host-1.example::hislip2::INSTR"},
    {"GPIB0::5::INSTR", VI_INTF_GPIB, 0, "INSTR", "GPIB0::5::INSTR"},
    {"GPIB1::5::3", VI_INTF_GPIB, 1, "INSTR", "GPIB1::5::3::INSTR"},
    {"gpib::30", VI_INTF_GPIB, 0, "INSTR", "GPIB0::30::INSTR"},
    {"GPIB2::INTFC", VI_INTF_GPIB, 2, "INTFC", "GPIB2::INTFC"},
    {"ASRL1::INSTR", VI_INTF_ASRL, 1, "INSTR", "ASRL1::INSTR"},
    {"ASRL", VI_INTF_ASRL, 0, "INSTR", "ASRL0::INSTR"},
    {"USB0::0x0957::0x1796::MY12345678::INSTR", VI_INTF_USB, 0, "INSTR",
     "USB0::0x0957::0x1796::MY12345678::INSTR"},
    {"USB::2391::6038::SN1::2", VI_INTF_USB, 0, "INSTR", "USB0::0x0957::0x1796::SN1::2::INSTR"},
    {"USB1::0x1AB1::0x0588::DS1ED1::RAW", VI_INTF_USB, 1, "RAW",
     "USB1::0x1AB1::0x0588::DS1ED1::RAW"},
    {"  TCPIP0::10.0.0.1::5025::SOCKET\t", VI_INTF_TCPIP, 0, "SOCKET",
     "TCPIP0::10.0.0.1::5025::SOCKET"},
};

const char* const kInvalid[] = {
    "",
    "   ",
    "TCPIP::analyzer.lab::SOCKET",        // SOCKET needs a port
    "TCPIP0::192.0.2.10::0::SOCKET",      // port 0
    "TCPIP0::192.0.2.10::65536::SOCKET",  // port out of range
    "TCPIP0::192.0.2.10::50x5::SOCKET",   // port not a number
    "TCPIP0::192.0.2.10::-1::SOCKET",     // no signs
    "TCPIP0::host,5000::5025::SOCKET",    // the ",port" form is for VXI-11
    "TCPIP0::host::5025::extra::SOCKET",  // too many parts
    "TCPIP0::::1::5025::SOCKET",          // IPv6 without brackets
    "TCPIP0::[::1::5025::SOCKET",         // bracket not closed
    "TCPIP0::[not-an-address]::5025::SOCKET",
    "TCPIP0::[::1%]::5025::SOCKET",    // empty zone
    "TCPIP0::bad host::5025::SOCKET",  // blank inside
    "TCPIP0::b@d::5025::SOCKET",
    "TCPIP0::host::5025::SOCKET::",  // empty last part
    "TCPIP0::",
    "TCPIP",
    "TCPIPx::host::5025::SOCKET",      // board not a number
    "TCPIP70000::host::5025::SOCKET",  // board out of range
    "TCPIP0::host::hislip::INSTR",     // HiSLIP device without its number
    "TCPIP0::host::hislipX::INSTR",
    "TCPIP0::host::hislip0,0::INSTR",
    "TCPIP0::host,4880::hislip0::INSTR",  // HiSLIP port goes after the device
    "TCPIP0::host,abc::inst0::INSTR",
    "TCPIP0::host::gpib0,31::INSTR",  // GPIB address 0-30
    "TCPIP0::host::gpib0,5,6::INSTR",
    "TCPIP0::host::in$t0::INSTR",
    "TCPIP0::host::inst0::INSTR::INSTR",
    "GPIB0::31::INSTR",
    "GPIB0::5::31::INSTR",
    "GPIB0::INSTR",
    "GPIB0::5::3::1::INSTR",
    "ASRL1::5::INSTR",
    "ASRL1::SOCKET",
    "USB0::0x0957::0x1796::INSTR",       // serial missing
    "USB0::0x10000::0x1796::SN::INSTR",  // vendor id too large
    "USB0::0xG957::0x1796::SN::INSTR",
    "USB0::0x0957::0x1796::SN::256::INSTR",
    "VXI0::1::INSTR",  // interfaces this library does not know
    "PXI0::1::INSTR",
    "FOO0::INSTR",
};

TEST(ResourceName, ParsesEveryKnownForm) {
    for (const ValidCase& c : kValid) {
        ResourceName name;
        std::string why;
        ASSERT_EQ(ParseResourceName(c.text, &name, &why), VI_SUCCESS) << c.text << ": " << why;
        EXPECT_EQ(static_cast<ViUInt16>(name.interface_kind), c.interface_type) << c.text;
        EXPECT_EQ(name.board, c.board) << c.text;
        EXPECT_EQ(name.ClassName(), c.resource_class) << c.text;
        EXPECT_EQ(name.Canonical(), c.canonical) << c.text;
        // The canonical form parses to itself.
        ResourceName again;
        ASSERT_EQ(ParseResourceName(name.Canonical(), &again, nullptr), VI_SUCCESS) << c.text;
        EXPECT_EQ(again.Canonical(), name.Canonical()) << c.text;
    }
}

TEST(ResourceName, RejectsMalformedStringsWithAReason) {
    for (const char* text : kInvalid) {
        std::string why;
        EXPECT_EQ(ParseResourceName(text, nullptr, &why), VI_ERROR_INV_RSRC_NAME) << text;
        EXPECT_FALSE(why.empty()) << text;
    }
}

TEST(ResourceName, TcpipDetailsAreKeptForTheTransports) {
    ResourceName socket;
    ASSERT_EQ(ParseResourceName("TCPIP0::[::1]::5025::SOCKET", &socket, nullptr), VI_SUCCESS);
    EXPECT_EQ(socket.protocol, TcpipProtocol::Socket);
    EXPECT_EQ(socket.host, "::1");
    EXPECT_TRUE(socket.host_is_ipv6_literal);
    EXPECT_EQ(socket.port, 5025);

    ResourceName hislip;
    ASSERT_EQ(ParseResourceName("TCPIP0::192.0.2.10::hislip0::INSTR", &hislip, nullptr),
              VI_SUCCESS);
    EXPECT_EQ(hislip.protocol, TcpipProtocol::Hislip);
    EXPECT_EQ(hislip.port, kHislipDefaultPort);
    EXPECT_FALSE(hislip.port_given);

    ResourceName vxi11;
    ASSERT_EQ(ParseResourceName("TCPIP0::127.0.0.1,40001::inst0::INSTR", &vxi11, nullptr),
              VI_SUCCESS);
    EXPECT_EQ(vxi11.protocol, TcpipProtocol::Vxi11);
    EXPECT_EQ(vxi11.host, "127.0.0.1");
    EXPECT_EQ(vxi11.port, 40001);
    EXPECT_TRUE(vxi11.port_given);
    EXPECT_EQ(vxi11.lan_device, "inst0");

    ResourceName gateway;
    ASSERT_EQ(ParseResourceName("TCPIP0::192.0.2.10::gpib0,5::INSTR", &gateway, nullptr),
              VI_SUCCESS);
    EXPECT_EQ(gateway.protocol, TcpipProtocol::Vxi11);
    EXPECT_EQ(gateway.gpib_primary, 5);
}

TEST(ParseRsrc, ReportsInterfaceBoardClassAndExpandedName) {
    ViSession rm = VI_NULL;
    ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
    for (const ValidCase& c : kValid) {
        ViUInt16 type = 0;
        ViUInt16 board = 99;
        ASSERT_EQ(viParseRsrc(rm, c.text, &type, &board), VI_SUCCESS) << c.text;
        EXPECT_EQ(type, c.interface_type) << c.text;
        EXPECT_EQ(board, c.board) << c.text;

        ViChar resource_class[VI_FIND_BUFLEN] = "x";
        ViChar expanded[VI_FIND_BUFLEN] = "x";
        ViChar alias[VI_FIND_BUFLEN] = "x";
        ASSERT_EQ(viParseRsrcEx(rm, c.text, &type, &board, resource_class, expanded, alias),
                  VI_SUCCESS);
        EXPECT_STREQ(resource_class, c.resource_class) << c.text;
        EXPECT_STREQ(expanded, c.canonical) << c.text;
        EXPECT_STREQ(alias, "") << c.text;
    }
    // Outputs the caller does not want may be null.
    EXPECT_EQ(viParseRsrc(rm, "GPIB0::5::INSTR", VI_NULL, VI_NULL), VI_SUCCESS);
    viClose(rm);
}

TEST(ParseRsrc, RejectsMalformedStringsAndExplainsWhy) {
    ViSession rm = VI_NULL;
    ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
    ViUInt16 type = 0;
    ViUInt16 board = 0;
    for (const char* text : kInvalid) {
        EXPECT_EQ(viParseRsrc(rm, text, &type, &board), VI_ERROR_INV_RSRC_NAME) << text;
    }
    EXPECT_EQ(viParseRsrc(rm, VI_NULL, &type, &board), VI_ERROR_INV_RSRC_NAME);

    EXPECT_EQ(viParseRsrc(rm, "TCPIP::analyzer.lab::SOCKET", &type, &board),
              VI_ERROR_INV_RSRC_NAME);
    ViChar text[VI_FIND_BUFLEN];
    ASSERT_EQ(viStatusDesc(rm, VI_ERROR_INV_RSRC_NAME, text), VI_SUCCESS);
    EXPECT_NE(std::string(text).find("SOCKET resource is"), std::string::npos) << text;
    viClose(rm);
}

TEST(ParseRsrc, NeedsAnOpenResourceManager) {
    ViSession rm = VI_NULL;
    ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
    ASSERT_EQ(viClose(rm), VI_SUCCESS);
    ViUInt16 type = 0;
    ViUInt16 board = 0;
    EXPECT_EQ(viParseRsrc(rm, "GPIB0::5::INSTR", &type, &board), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(viParseRsrc(0xFFFF0000u, "GPIB0::5::INSTR", &type, &board), VI_ERROR_INV_OBJECT);
}

}  // namespace
}  // namespace tevo::visa

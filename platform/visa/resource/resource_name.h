// VISA resource strings: the grammar of the interfaces this library knows, parsed into one
// record, and the canonical (expanded) form of each.
//
//   TCPIP[board]::host::port::SOCKET
//   TCPIP[board]::host[,port][::lan-device][::INSTR]        VXI-11 (lan-device inst0 if absent)
//   TCPIP[board]::host::hislipN[,port][::INSTR]              HiSLIP (port 4880 if absent)
//   GPIB[board]::primary[::secondary][::INSTR]   GPIB[board]::INTFC
//   ASRL[board][::INSTR]
//   USB[board]::vendor::product::serial[::interface][::INSTR|::RAW]
//
// Keywords are case-insensitive, the board defaults to 0, a host is a DNS name, a dotted
// IPv4 address or an IPv6 address in square brackets.
#pragma once

#include <string>
#include <string_view>

#include "tevo/visa.h"

namespace tevo::visa {

enum class InterfaceKind : ViUInt16 {
    Gpib = VI_INTF_GPIB,
    Asrl = VI_INTF_ASRL,
    Tcpip = VI_INTF_TCPIP,
    Usb = VI_INTF_USB,
};

enum class ResourceClass { Instr, Socket, Intfc, Raw };

// Which protocol a TCPIP resource is reached by.
enum class TcpipProtocol { None, Socket, Vxi11, Hislip };

inline constexpr ViUInt16 kHislipDefaultPort = 4880;

struct ResourceName {
    InterfaceKind interface_kind = InterfaceKind::Tcpip;
    ViUInt16 board = 0;
    ResourceClass resource_class = ResourceClass::Instr;

    // TCPIP
    TcpipProtocol protocol = TcpipProtocol::None;
    std::string host;  // without the brackets of an IPv6 literal
    bool host_is_ipv6_literal = false;
    ViUInt16 port = 0;        // SOCKET port, HiSLIP port, or the VXI-11 ",port" extension
    bool port_given = false;  // whether the string names the port
    std::string lan_device;   // VXI-11 LAN device name ("inst0", "gpib0,5") or "hislipN"

    // GPIB, and a GPIB device behind a VXI-11 LAN gateway
    int gpib_primary = -1;
    int gpib_secondary = -1;

    // USB
    ViUInt16 usb_vendor = 0;
    ViUInt16 usb_product = 0;
    std::string usb_serial;
    int usb_interface = -1;

    // "INSTR", "SOCKET", "INTFC" or "RAW".
    std::string ClassName() const;
    // The expanded form: interface with board, every default written out, keywords in
    // upper case ("TCPIP0::192.0.2.10::inst0::INSTR").
    std::string Canonical() const;
    // The host as written in a resource string: IPv6 literals in brackets.
    std::string HostForDisplay() const;
};

// Parses text. Returns VI_SUCCESS and fills *out, or VI_ERROR_INV_RSRC_NAME with a short
// reason in *why (either pointer may be null).
ViStatus ParseResourceName(std::string_view text, ResourceName* out, std::string* why);

}  // namespace tevo::visa

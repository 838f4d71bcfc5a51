// libFuzzer target: any bytes as a VISA resource string. A string that parses must give
// a canonical form that parses to the same record, whose canonical form is itself; the
// record must satisfy the grammar's limits. Run with -DTEVO_FUZZ=ON under clang (see
// platform/visa/CMakeLists.txt).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "resource/resource_name.h"

namespace {

using tevo::visa::InterfaceKind;
using tevo::visa::ParseResourceName;
using tevo::visa::ResourceName;
using tevo::visa::TcpipProtocol;

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool SameRecord(const ResourceName& a, const ResourceName& b) {
    return a.interface_kind == b.interface_kind && a.board == b.board &&
           a.resource_class == b.resource_class && a.protocol == b.protocol && a.host == b.host &&
           a.host_is_ipv6_literal == b.host_is_ipv6_literal && a.port == b.port &&
           a.lan_device == b.lan_device && a.gpib_primary == b.gpib_primary &&
           a.gpib_secondary == b.gpib_secondary && a.usb_vendor == b.usb_vendor &&
           a.usb_product == b.usb_product && a.usb_serial == b.usb_serial &&
           a.usb_interface == b.usb_interface;
}

void CheckLimits(const ResourceName& name) {
    if (name.interface_kind == InterfaceKind::Tcpip) {
        Require(!name.host.empty());
        Require(name.protocol != TcpipProtocol::None);
        Require(name.protocol != TcpipProtocol::Socket || name.port_given);
    }
    if (name.interface_kind == InterfaceKind::Gpib && name.gpib_primary >= 0) {
        Require(name.gpib_primary <= 30 && name.gpib_secondary <= 30);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    ResourceName name;
    std::string why;
    if (ParseResourceName(text, &name, &why) != VI_SUCCESS) {
        Require(!why.empty());
        return 0;
    }
    CheckLimits(name);
    const std::string canonical = name.Canonical();
    ResourceName again;
    Require(ParseResourceName(canonical, &again, &why) == VI_SUCCESS);
    // The port_given flag may differ: the canonical form writes out every default.
    again.port_given = name.port_given;
    Require(SameRecord(name, again));
    Require(again.Canonical() == canonical);
    return 0;
}

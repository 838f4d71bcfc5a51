#include <memory>
#include <string>

#include "hislip/hislip_transport.h"
#include "transport/socket_transport.h"
#include "transport/transport.h"
#include "vxi11/vxi11_transport.h"

namespace tevo::visa {

std::unique_ptr<Transport> CreateTransport(const ResourceName& name, std::string* why_not) {
    switch (name.interface_kind) {
        case InterfaceKind::Tcpip:
            switch (name.protocol) {
                case TcpipProtocol::Socket:
                    return std::make_unique<SocketTransport>(name.host, name.port);
                case TcpipProtocol::Vxi11:
                    // Port 0 (no ",port" in the string): the portmapper gives the port.
                    return std::make_unique<Vxi11Transport>(
                        name.host, name.port_given ? name.port : ViUInt16{0}, name.lan_device);
                case TcpipProtocol::Hislip:
                    return std::make_unique<HislipTransport>(name.host, name.port, name.lan_device);
                case TcpipProtocol::None:
                    break;
            }
            break;
        case InterfaceKind::Gpib:
            *why_not = "GPIB resources are not supported: this library reaches TCP/IP only.";
            return nullptr;
        case InterfaceKind::Asrl:
            *why_not =
                "Serial (ASRL) resources are not supported: this library reaches TCP/IP only.";
            return nullptr;
        case InterfaceKind::Usb:
            *why_not = "USB resources are not supported: this library reaches TCP/IP only.";
            return nullptr;
    }
    *why_not = "This kind of resource is not supported.";
    return nullptr;
}

}  // namespace tevo::visa

#include <memory>
#include <string>

#include "transport/socket_transport.h"
#include "transport/transport.h"

namespace tevo::visa {

std::unique_ptr<Transport> CreateTransport(const ResourceName& name, std::string* why_not) {
    switch (name.interface_kind) {
        case InterfaceKind::Tcpip:
            switch (name.protocol) {
                case TcpipProtocol::Socket:
                    return std::make_unique<SocketTransport>(name.host, name.port);
                case TcpipProtocol::Vxi11:
                    *why_not = "TCPIP INSTR resources (VXI-11) are not supported yet.";
                    return nullptr;
                case TcpipProtocol::Hislip:
                    *why_not = "HiSLIP resources are not supported yet.";
                    return nullptr;
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

#include "session/session_attributes.h"

#include <optional>
#include <utility>

#include "status/status_text.h"

namespace tevo::visa {
namespace {

// A 32-bit value passed in the wider ViAttrState: zero-extended, or sign-extended as a
// caller passing a negative 32-bit number (the infinite time-out as -1) produces.
std::optional<ViUInt32> As32Bits(ViAttrState value) {
    const auto wide = static_cast<uint64_t>(value);
    if (wide <= 0xFFFFFFFFu) {
        return static_cast<ViUInt32>(wide);
    }
    if ((wide >> 32) == 0xFFFFFFFFu && (wide & 0x80000000u) != 0) {
        return static_cast<ViUInt32>(wide & 0xFFFFFFFFu);
    }
    return std::nullopt;
}

std::optional<bool> AsBoolean(ViAttrState value) {
    if (value == VI_TRUE) {
        return true;
    }
    if (value == VI_FALSE) {
        return false;
    }
    return std::nullopt;
}

template <typename T>
ViStatus Put(void* destination, T value) {
    *static_cast<T*>(destination) = value;
    return VI_SUCCESS;
}

ViStatus PutBoolean(void* destination, bool value) {
    return Put<ViBoolean>(destination, value ? VI_TRUE : VI_FALSE);
}

ViStatus PutString(void* destination, const std::string& value) {
    CopyToVisaString(value, static_cast<ViChar*>(destination));
    return VI_SUCCESS;
}

}  // namespace

SessionAttributes::SessionAttributes(std::string resource_string, ResourceName name)
    : resource_string_(std::move(resource_string)), name_(std::move(name)) {
    // SOCKET sessions end replies on the line feed and may not end them on a pause; INSTR
    // sessions (VXI-11, HiSLIP) carry END and keep the standard defaults.
    const bool is_socket = name_.protocol == TcpipProtocol::Socket;
    io_.termchar_enabled = is_socket;
    suppress_end_ = is_socket;
}

bool SessionAttributes::IsInstr() const {
    return name_.protocol == TcpipProtocol::Vxi11 || name_.protocol == TcpipProtocol::Hislip;
}

IoSettings SessionAttributes::Io() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return io_;
}

ViUInt32 SessionAttributes::TimeoutMs() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return timeout_ms_;
}

void SessionAttributes::SetPeerAddress(const std::string& address) {
    std::lock_guard<std::mutex> lock(mutex_);
    peer_address_ = address;
}

ViStatus SessionAttributes::Get(ViAttr attribute, void* value) const {
    std::lock_guard<std::mutex> lock(mutex_);
    switch (attribute) {
        case VI_ATTR_RSRC_NAME:
            return PutString(value, resource_string_);
        case VI_ATTR_RSRC_CLASS:
            return PutString(value, name_.ClassName());
        case VI_ATTR_INTF_TYPE:
            return Put<ViUInt16>(value, static_cast<ViUInt16>(name_.interface_kind));
        case VI_ATTR_INTF_NUM:
            return Put<ViUInt16>(value, name_.board);
        case VI_ATTR_TMO_VALUE:
            return Put<ViUInt32>(value, timeout_ms_);
        case VI_ATTR_TERMCHAR:
            return Put<ViUInt8>(value, io_.termchar);
        case VI_ATTR_TERMCHAR_EN:
            return PutBoolean(value, io_.termchar_enabled);
        case VI_ATTR_SEND_END_EN:
            return PutBoolean(value, io_.send_end);
        case VI_ATTR_SUPPRESS_END_EN:
            return PutBoolean(value, suppress_end_);
        case VI_ATTR_IO_PROT:
            return Put<ViUInt16>(value, io_.io_protocol);
        case VI_ATTR_TCPIP_ADDR:
            return PutString(value, peer_address_);
        case VI_ATTR_TCPIP_HOSTNAME:
            return PutString(value, name_.host);
        case VI_ATTR_TCPIP_PORT:
            return Put<ViUInt16>(value, name_.port);
        case VI_ATTR_TCPIP_NODELAY:
            return PutBoolean(value, io_.tcp_nodelay);
        case VI_ATTR_TCPIP_KEEPALIVE:
            return PutBoolean(value, io_.tcp_keepalive);
        case VI_ATTR_TCPIP_IS_HISLIP:
            return PutBoolean(value, name_.protocol == TcpipProtocol::Hislip);
        case VI_ATTR_TCPIP_DEVICE_NAME:
            if (!IsInstr()) {
                return VI_ERROR_NSUP_ATTR;
            }
            return PutString(value, name_.lan_device.empty() ? "inst0" : name_.lan_device);
        default:
            return VI_ERROR_NSUP_ATTR;
    }
}

ViStatus SessionAttributes::Set(ViAttr attribute, ViAttrState value) {
    std::lock_guard<std::mutex> lock(mutex_);
    switch (attribute) {
        case VI_ATTR_RSRC_NAME:
        case VI_ATTR_RSRC_CLASS:
        case VI_ATTR_INTF_TYPE:
        case VI_ATTR_INTF_NUM:
        case VI_ATTR_TCPIP_ADDR:
        case VI_ATTR_TCPIP_HOSTNAME:
        case VI_ATTR_TCPIP_PORT:
        case VI_ATTR_TCPIP_IS_HISLIP:
            return VI_ERROR_ATTR_READONLY;
        case VI_ATTR_TCPIP_DEVICE_NAME:
            return IsInstr() ? VI_ERROR_ATTR_READONLY : VI_ERROR_NSUP_ATTR;
        case VI_ATTR_TMO_VALUE: {
            const std::optional<ViUInt32> timeout = As32Bits(value);
            if (!timeout) {
                return VI_ERROR_NSUP_ATTR_STATE;
            }
            timeout_ms_ = *timeout;
            return VI_SUCCESS;
        }
        case VI_ATTR_TERMCHAR:
            if (value > 0xFF) {
                return VI_ERROR_NSUP_ATTR_STATE;
            }
            io_.termchar = static_cast<ViUInt8>(value);
            return VI_SUCCESS;
        case VI_ATTR_IO_PROT:
            if (value != VI_PROT_NORMAL && value != VI_PROT_4882_STRS) {
                return VI_ERROR_NSUP_ATTR_STATE;
            }
            io_.io_protocol = static_cast<ViUInt16>(value);
            return VI_SUCCESS;
        default:
            break;
    }
    bool* target = nullptr;
    switch (attribute) {
        case VI_ATTR_TERMCHAR_EN:
            target = &io_.termchar_enabled;
            break;
        case VI_ATTR_SEND_END_EN:
            target = &io_.send_end;
            break;
        case VI_ATTR_TCPIP_NODELAY:
            target = &io_.tcp_nodelay;
            break;
        case VI_ATTR_TCPIP_KEEPALIVE:
            target = &io_.tcp_keepalive;
            break;
        case VI_ATTR_SUPPRESS_END_EN:
            target = &suppress_end_;
            break;
        default:
            return VI_ERROR_NSUP_ATTR;
    }
    const std::optional<bool> flag = AsBoolean(value);
    if (!flag) {
        return VI_ERROR_NSUP_ATTR_STATE;
    }
    if (attribute == VI_ATTR_SUPPRESS_END_EN && !*flag && !IsInstr()) {
        return VI_ERROR_NSUP_ATTR_STATE;  // a raw socket has no END; reads never end on a pause
    }
    *target = *flag;
    return VI_SUCCESS;
}

}  // namespace tevo::visa

#include "resource/resource_name.h"

#include <arpa/inet.h>

#include <cstdio>
#include <optional>
#include <utility>
#include <vector>

namespace tevo::visa {
namespace {

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) {
            return false;
        }
    }
    return true;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsAlnum(char c) {
    return IsDigit(c) || IsAlpha(c);
}

// A decimal number of at most `max`; no sign, no blanks.
std::optional<unsigned> ParseDecimal(std::string_view text, unsigned max) {
    if (text.empty()) {
        return std::nullopt;
    }
    unsigned long value = 0;
    for (char c : text) {
        if (!IsDigit(c)) {
            return std::nullopt;
        }
        value = value * 10 + static_cast<unsigned>(c - '0');
        if (value > max) {
            return std::nullopt;
        }
    }
    return static_cast<unsigned>(value);
}

// "0x1AB" (hexadecimal) or "427" (decimal), at most 0xFFFF: USB vendor and product ids.
std::optional<unsigned> ParseUsbId(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        unsigned long value = 0;
        for (char c : text.substr(2)) {
            int digit = -1;
            if (IsDigit(c)) {
                digit = c - '0';
            } else if (Lower(c) >= 'a' && Lower(c) <= 'f') {
                digit = Lower(c) - 'a' + 10;
            }
            if (digit < 0) {
                return std::nullopt;
            }
            value = value * 16 + static_cast<unsigned>(digit);
            if (value > 0xFFFF) {
                return std::nullopt;
            }
        }
        return static_cast<unsigned>(value);
    }
    return ParseDecimal(text, 0xFFFF);
}

// Splits at "::". A part that starts with '[' runs to the matching ']' first, so that an
// IPv6 literal may contain "::".
std::optional<std::vector<std::string_view>> SplitParts(std::string_view text, std::string* why) {
    std::vector<std::string_view> parts;
    size_t pos = 0;
    while (true) {
        size_t scan = pos;
        if (scan < text.size() && text[scan] == '[') {
            size_t close = text.find(']', scan);
            if (close == std::string_view::npos) {
                *why = "an IPv6 address lacks its closing bracket";
                return std::nullopt;
            }
            scan = close + 1;
        }
        size_t sep = text.find("::", scan);
        if (sep == std::string_view::npos) {
            parts.push_back(text.substr(pos));
            break;
        }
        parts.push_back(text.substr(pos, sep - pos));
        pos = sep + 2;
    }
    for (std::string_view part : parts) {
        if (part.empty()) {
            *why = "a part between \"::\" separators is empty";
            return std::nullopt;
        }
    }
    return parts;
}

// Interface keyword and optional board number: "TCPIP0", "gpib", "ASRL3".
bool ParseInterface(std::string_view part, std::string_view keyword, ViUInt16* board) {
    if (!StartsWithNoCase(part, keyword)) {
        return false;
    }
    std::string_view digits = part.substr(keyword.size());
    if (digits.empty()) {
        *board = 0;
        return true;
    }
    std::optional<unsigned> value = ParseDecimal(digits, 0xFFFF);
    if (!value) {
        return false;
    }
    *board = static_cast<ViUInt16>(*value);
    return true;
}

bool IsValidHostName(std::string_view host) {
    if (host.empty() || host.size() > 253) {
        return false;
    }
    for (char c : host) {
        if (!IsAlnum(c) && c != '-' && c != '.' && c != '_') {
            return false;
        }
    }
    return true;
}

// "[2001:db8::1]" or "[fe80::1%eth0]": the address between the brackets.
bool ParseBracketedIpv6(std::string_view text, std::string* address) {
    if (text.size() < 3 || text.front() != '[' || text.back() != ']') {
        return false;
    }
    std::string inner(text.substr(1, text.size() - 2));
    std::string literal = inner;
    size_t zone = inner.find('%');
    if (zone != std::string::npos) {
        std::string_view zone_name = std::string_view(inner).substr(zone + 1);
        if (zone_name.empty()) {
            return false;
        }
        for (char c : zone_name) {
            if (!IsAlnum(c) && c != '_' && c != '-' && c != '.') {
                return false;
            }
        }
        literal = inner.substr(0, zone);
    }
    unsigned char bytes[16];
    if (inet_pton(AF_INET6, literal.c_str(), bytes) != 1) {
        return false;
    }
    *address = inner;
    return true;
}

// A host in any of its three forms; fills name->host and name->host_is_ipv6_literal.
bool ParseHost(std::string_view text, ResourceName* name, std::string* why) {
    if (!text.empty() && text.front() == '[') {
        if (!ParseBracketedIpv6(text, &name->host)) {
            *why = "the bracketed host is not an IPv6 address";
            return false;
        }
        name->host_is_ipv6_literal = true;
        return true;
    }
    if (!IsValidHostName(text)) {
        *why = "the host is not a host name or an address";
        return false;
    }
    name->host = std::string(text);
    name->host_is_ipv6_literal = false;
    return true;
}

bool ParsePort(std::string_view text, ViUInt16* port) {
    std::optional<unsigned> value = ParseDecimal(text, 0xFFFF);
    if (!value || *value == 0) {
        return false;
    }
    *port = static_cast<ViUInt16>(*value);
    return true;
}

// Splits "a,b" at its first comma after any bracketed part; `tail` is empty when there is none.
void SplitComma(std::string_view text, std::string_view* head, std::string_view* tail,
                bool* has_comma) {
    size_t start = 0;
    if (!text.empty() && text.front() == '[') {
        size_t close = text.find(']');
        start = close == std::string_view::npos ? text.size() : close;
    }
    size_t comma = text.find(',', start);
    *has_comma = comma != std::string_view::npos;
    *head = *has_comma ? text.substr(0, comma) : text;
    *tail = *has_comma ? text.substr(comma + 1) : std::string_view();
}

bool IsSimpleDeviceName(std::string_view text) {
    if (text.empty()) {
        return false;
    }
    for (char c : text) {
        if (!IsAlnum(c) && c != '_' && c != '.' && c != '-') {
            return false;
        }
    }
    return true;
}

// A VXI-11 or HiSLIP LAN device name: fills protocol, lan_device, port and GPIB address.
bool ParseLanDevice(std::string_view text, ResourceName* name, std::string* why) {
    if (StartsWithNoCase(text, "hislip")) {
        std::string_view head;
        std::string_view tail;
        bool has_comma = false;
        SplitComma(text, &head, &tail, &has_comma);
        if (!ParseDecimal(head.substr(6), 0xFFFF)) {
            *why = "a HiSLIP device name is \"hislip\" and a number";
            return false;
        }
        if (has_comma) {
            if (!ParsePort(tail, &name->port)) {
                *why = "the HiSLIP port is not a number from 1 to 65535";
                return false;
            }
            name->port_given = true;
        } else {
            name->port = kHislipDefaultPort;
        }
        name->protocol = TcpipProtocol::Hislip;
        name->lan_device = "hislip" + std::string(head.substr(6));
        return true;
    }
    name->protocol = TcpipProtocol::Vxi11;
    if (StartsWithNoCase(text, "gpib") && text.find(',') != std::string_view::npos) {
        std::string_view head;
        std::string_view address;
        bool has_comma = false;
        SplitComma(text, &head, &address, &has_comma);
        std::string_view board = head.substr(4);
        std::optional<unsigned> primary = ParseDecimal(address, 30);
        if ((!board.empty() && !ParseDecimal(board, 0xFFFF)) || !primary) {
            *why = "a gateway device is \"gpib\", an optional number, a comma and an address 0-30";
            return false;
        }
        name->gpib_primary = static_cast<int>(*primary);
        name->lan_device = "gpib" + std::string(board) + "," + std::to_string(*primary);
        return true;
    }
    if (!IsSimpleDeviceName(text)) {
        *why = "the LAN device name has characters that are not allowed";
        return false;
    }
    name->lan_device = std::string(text);
    return true;
}

ViStatus Fail(std::string* why_out, std::string reason) {
    if (why_out != nullptr) {
        *why_out = std::move(reason);
    }
    return VI_ERROR_INV_RSRC_NAME;
}

bool ParseTcpip(const std::vector<std::string_view>& parts, ResourceName* name, std::string* why) {
    // parts[0] is the interface keyword with its board.
    if (parts.size() < 2) {
        *why = "a TCPIP resource names a host";
        return false;
    }
    const std::string_view last = parts.back();
    if (EqualsNoCase(last, "SOCKET")) {
        if (parts.size() != 4) {
            *why = "a SOCKET resource is TCPIP[board]::host::port::SOCKET";
            return false;
        }
        if (!ParseHost(parts[1], name, why)) {
            return false;
        }
        if (!ParsePort(parts[2], &name->port)) {
            *why = "the SOCKET port is not a number from 1 to 65535";
            return false;
        }
        name->port_given = true;
        name->protocol = TcpipProtocol::Socket;
        name->resource_class = ResourceClass::Socket;
        return true;
    }
    size_t count = parts.size();
    if (EqualsNoCase(last, "INSTR")) {
        --count;
    }
    if (count < 2 || count > 3) {
        *why = "a TCPIP INSTR resource is TCPIP[board]::host[::device][::INSTR]";
        return false;
    }
    name->resource_class = ResourceClass::Instr;
    const std::string_view device = count == 3 ? parts[2] : std::string_view("inst0");
    if (!ParseLanDevice(device, name, why)) {
        return false;
    }
    std::string_view host;
    std::string_view port;
    bool has_port = false;
    SplitComma(parts[1], &host, &port, &has_port);
    if (has_port) {
        if (name->protocol == TcpipProtocol::Hislip) {
            *why = "a HiSLIP port follows the device name, not the host";
            return false;
        }
        if (!ParsePort(port, &name->port)) {
            *why = "the port after the host is not a number from 1 to 65535";
            return false;
        }
        name->port_given = true;
    }
    return ParseHost(host, name, why);
}

bool ParseGpib(const std::vector<std::string_view>& parts, ResourceName* name, std::string* why) {
    if (parts.size() == 2 && EqualsNoCase(parts[1], "INTFC")) {
        name->resource_class = ResourceClass::Intfc;
        return true;
    }
    size_t count = parts.size();
    if (EqualsNoCase(parts.back(), "INSTR")) {
        --count;
    }
    if (count < 2 || count > 3) {
        *why = "a GPIB resource is GPIB[board]::primary[::secondary][::INSTR]";
        return false;
    }
    std::optional<unsigned> primary = ParseDecimal(parts[1], 30);
    if (!primary) {
        *why = "the GPIB primary address is not a number from 0 to 30";
        return false;
    }
    name->gpib_primary = static_cast<int>(*primary);
    if (count == 3) {
        std::optional<unsigned> secondary = ParseDecimal(parts[2], 30);
        if (!secondary) {
            *why = "the GPIB secondary address is not a number from 0 to 30";
            return false;
        }
        name->gpib_secondary = static_cast<int>(*secondary);
    }
    name->resource_class = ResourceClass::Instr;
    return true;
}

bool ParseAsrl(const std::vector<std::string_view>& parts, ResourceName* name, std::string* why) {
    if (parts.size() > 2 || (parts.size() == 2 && !EqualsNoCase(parts[1], "INSTR"))) {
        *why = "a serial resource is ASRL[board][::INSTR]";
        return false;
    }
    name->resource_class = ResourceClass::Instr;
    return true;
}

bool ParseUsb(const std::vector<std::string_view>& parts, ResourceName* name, std::string* why) {
    size_t count = parts.size();
    name->resource_class = ResourceClass::Instr;
    if (EqualsNoCase(parts.back(), "INSTR")) {
        --count;
    } else if (EqualsNoCase(parts.back(), "RAW")) {
        name->resource_class = ResourceClass::Raw;
        --count;
    }
    if (count < 4 || count > 5) {
        *why = "a USB resource is USB[board]::vendor::product::serial[::interface][::INSTR]";
        return false;
    }
    std::optional<unsigned> vendor = ParseUsbId(parts[1]);
    std::optional<unsigned> product = ParseUsbId(parts[2]);
    if (!vendor || !product) {
        *why = "the USB vendor and product ids are numbers from 0 to 0xFFFF";
        return false;
    }
    if (!IsSimpleDeviceName(parts[3])) {
        *why = "the USB serial number has characters that are not allowed";
        return false;
    }
    name->usb_vendor = static_cast<ViUInt16>(*vendor);
    name->usb_product = static_cast<ViUInt16>(*product);
    name->usb_serial = std::string(parts[3]);
    if (count == 5) {
        std::optional<unsigned> interface_number = ParseDecimal(parts[4], 255);
        if (!interface_number) {
            *why = "the USB interface number is not a number from 0 to 255";
            return false;
        }
        name->usb_interface = static_cast<int>(*interface_number);
    }
    return true;
}

std::string Hex4(ViUInt16 value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(value));
    return text;
}

}  // namespace

std::string ResourceName::ClassName() const {
    switch (resource_class) {
        case ResourceClass::Socket:
            return "SOCKET";
        case ResourceClass::Intfc:
            return "INTFC";
        case ResourceClass::Raw:
            return "RAW";
        case ResourceClass::Instr:
            break;
    }
    return "INSTR";
}

std::string ResourceName::HostForDisplay() const {
    return host_is_ipv6_literal ? "[" + host + "]" : host;
}

std::string ResourceName::Canonical() const {
    const std::string board_text = std::to_string(board);
    switch (interface_kind) {
        case InterfaceKind::Tcpip: {
            std::string text = "TCPIP" + board_text + "::" + HostForDisplay();
            if (protocol == TcpipProtocol::Socket) {
                return text + "::" + std::to_string(port) + "::SOCKET";
            }
            if (protocol == TcpipProtocol::Hislip) {
                text += "::" + lan_device;
                if (port_given) {
                    text += "," + std::to_string(port);
                }
                return text + "::INSTR";
            }
            if (port_given) {
                text += "," + std::to_string(port);
            }
            return text + "::" + lan_device + "::INSTR";
        }
        case InterfaceKind::Gpib: {
            std::string text = "GPIB" + board_text;
            if (resource_class == ResourceClass::Intfc) {
                return text + "::INTFC";
            }
            text += "::" + std::to_string(gpib_primary);
            if (gpib_secondary >= 0) {
                text += "::" + std::to_string(gpib_secondary);
            }
            return text + "::INSTR";
        }
        case InterfaceKind::Asrl:
            return "ASRL" + board_text + "::INSTR";
        case InterfaceKind::Usb: {
            std::string text = "USB" + board_text + "::" + Hex4(usb_vendor) +
                               "::" + Hex4(usb_product) + "::" + usb_serial;
            if (usb_interface >= 0) {
                text += "::" + std::to_string(usb_interface);
            }
            return text + "::" + ClassName();
        }
    }
    return {};
}

ViStatus ParseResourceName(std::string_view text, ResourceName* out, std::string* why_out) {
    // Blanks around the string are forgiven; blanks or control characters inside are not.
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    if (text.empty()) {
        return Fail(why_out, "the resource string is empty");
    }
    for (char c : text) {
        if (static_cast<unsigned char>(c) <= ' ' || static_cast<unsigned char>(c) >= 0x7F) {
            return Fail(why_out, "the resource string has blanks or characters outside ASCII");
        }
    }
    std::string why;
    std::optional<std::vector<std::string_view>> parts = SplitParts(text, &why);
    if (!parts) {
        return Fail(why_out, why);
    }
    ResourceName name;
    bool ok = false;
    const std::string_view head = parts->front();
    if (ParseInterface(head, "TCPIP", &name.board)) {
        name.interface_kind = InterfaceKind::Tcpip;
        ok = ParseTcpip(*parts, &name, &why);
    } else if (ParseInterface(head, "GPIB", &name.board)) {
        name.interface_kind = InterfaceKind::Gpib;
        ok = ParseGpib(*parts, &name, &why);
    } else if (ParseInterface(head, "ASRL", &name.board)) {
        name.interface_kind = InterfaceKind::Asrl;
        ok = ParseAsrl(*parts, &name, &why);
    } else if (ParseInterface(head, "USB", &name.board)) {
        name.interface_kind = InterfaceKind::Usb;
        ok = ParseUsb(*parts, &name, &why);
    } else {
        why = "the interface is not TCPIP, GPIB, ASRL or USB with an optional board number";
    }
    if (!ok) {
        return Fail(why_out, why);
    }
    if (out != nullptr) {
        *out = std::move(name);
    }
    return VI_SUCCESS;
}

}  // namespace tevo::visa

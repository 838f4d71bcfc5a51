#include "tevo/idl/typelib_model.h"

#include <cstdio>

namespace tevo::idl {

TypeDesc TypeDesc::PointerTo() const {
    TypeDesc result = *this;
    result.wrappers.insert(result.wrappers.begin(), VarType::kPtr);
    return result;
}

int Library::FindType(std::string_view type_name) const {
    for (std::size_t i = 0; i < types.size(); ++i) {
        if (types[i].name == type_name) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

std::string Library::RefName(const TypeRef& ref) const {
    if (ref.scope == TypeRef::Scope::kLocal) {
        return ref.index < types.size() ? types[ref.index].name : std::string();
    }
    return ref.index < imported_types.size() ? imported_types[ref.index].name : std::string();
}

std::optional<TypeKind> Library::RefKind(const TypeRef& ref) const {
    if (ref.scope == TypeRef::Scope::kLocal) {
        if (ref.index < types.size()) {
            return types[ref.index].kind;
        }
    } else if (ref.index < imported_types.size()) {
        return imported_types[ref.index].kind;
    }
    return std::nullopt;
}

std::string FormatGuid(const GUID& guid) {
    char text[40];
    std::snprintf(text, sizeof text, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X",
                  static_cast<unsigned>(guid.Data1), static_cast<unsigned>(guid.Data2),
                  static_cast<unsigned>(guid.Data3), guid.Data4[0], guid.Data4[1], guid.Data4[2],
                  guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return text;
}

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

}  // namespace

bool ParseGuid(std::string_view text, GUID& guid) {
    if (text.size() == 38 && text.front() == '{' && text.back() == '}') {
        text = text.substr(1, 36);
    }
    if (text.size() != 36) {
        return false;
    }
    // Hex digit groups of 8-4-4-4-12 separated by dashes.
    std::uint8_t bytes[16] = {};
    std::size_t byte = 0;
    for (std::size_t i = 0; i < text.size();) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (text[i] != '-') {
                return false;
            }
            ++i;
            continue;
        }
        const int high = HexDigit(text[i]);
        const int low = i + 1 < text.size() ? HexDigit(text[i + 1]) : -1;
        if (high < 0 || low < 0 || i + 1 == 8 || i + 1 == 13 || i + 1 == 18 || i + 1 == 23) {
            return false;
        }
        if (byte >= sizeof bytes) {
            return false;
        }
        bytes[byte++] = static_cast<std::uint8_t>(high * 16 + low);
        i += 2;
    }
    if (byte != sizeof bytes) {
        return false;
    }
    guid.Data1 = (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
                 (std::uint32_t{bytes[2]} << 8) | bytes[3];
    guid.Data2 = static_cast<std::uint16_t>((bytes[4] << 8) | bytes[5]);
    guid.Data3 = static_cast<std::uint16_t>((bytes[6] << 8) | bytes[7]);
    for (int i = 0; i < 8; ++i) {
        guid.Data4[i] = bytes[8 + i];
    }
    return true;
}

std::string VarTypeName(VarType vt) {
    switch (vt) {
        case VarType::kEmpty:
            return "VT_EMPTY";
        case VarType::kNull:
            return "VT_NULL";
        case VarType::kI2:
            return "VT_I2";
        case VarType::kI4:
            return "VT_I4";
        case VarType::kR4:
            return "VT_R4";
        case VarType::kR8:
            return "VT_R8";
        case VarType::kCy:
            return "VT_CY";
        case VarType::kDate:
            return "VT_DATE";
        case VarType::kBstr:
            return "VT_BSTR";
        case VarType::kDispatch:
            return "VT_DISPATCH";
        case VarType::kError:
            return "VT_ERROR";
        case VarType::kBool:
            return "VT_BOOL";
        case VarType::kVariant:
            return "VT_VARIANT";
        case VarType::kUnknown:
            return "VT_UNKNOWN";
        case VarType::kDecimal:
            return "VT_DECIMAL";
        case VarType::kI1:
            return "VT_I1";
        case VarType::kUi1:
            return "VT_UI1";
        case VarType::kUi2:
            return "VT_UI2";
        case VarType::kUi4:
            return "VT_UI4";
        case VarType::kI8:
            return "VT_I8";
        case VarType::kUi8:
            return "VT_UI8";
        case VarType::kInt:
            return "VT_INT";
        case VarType::kUint:
            return "VT_UINT";
        case VarType::kVoid:
            return "VT_VOID";
        case VarType::kHresult:
            return "VT_HRESULT";
        case VarType::kPtr:
            return "VT_PTR";
        case VarType::kSafeArray:
            return "VT_SAFEARRAY";
        case VarType::kCArray:
            return "VT_CARRAY";
        case VarType::kUserDefined:
            return "VT_USERDEFINED";
        case VarType::kLpStr:
            return "VT_LPSTR";
        case VarType::kLpWStr:
            return "VT_LPWSTR";
    }
    return "VT_" + std::to_string(static_cast<unsigned>(vt));
}

}  // namespace tevo::idl

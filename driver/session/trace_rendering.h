// The texts of trace lines: the parameter list of a traced call, rendered from the call's
// typed arguments as the type library describes the method.
//
// Each argument of a call is handed to the trace as a TraceArgument: its address and a
// renderer made for its C++ type. The renderer reads the value as that C++ type (never
// more bytes than the argument has) and writes it in the form the type library's VARTYPE
// asks for. When the two disagree (the library says BSTR, the argument is a LONG) the
// value is "[Garbage]" and the list ends there.
#pragma once

#include <cstdint>
#include <ios>
#include <span>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "tevo/platform.h"

namespace tevo::driver {

// What a parameter's value is, after following the pointer of an out parameter.
struct TraceValueType {
    VARTYPE vt = VT_EMPTY;
    // The value lies behind the pointer that the argument holds (a VT_PTR parameter).
    bool dereference = false;
};

using TraceRenderFunction = bool (*)(const void* argument, TraceValueType type, std::wostream& out);

struct TraceArgument {
    const void* address = nullptr;
    TraceRenderFunction render = nullptr;
};
using TraceArguments = std::span<const TraceArgument>;

struct TraceParameter {
    VARTYPE type_chain[3] = {};  // the parameter's type and up to two pointed-to types
    int chain_length = 0;
    USHORT flags = 0;   // PARAMFLAG_...
    std::wstring name;  // empty for the value of a property put
};

struct TraceMethod {
    std::vector<TraceParameter> parameters;
};

enum class TraceMode { kEntry, kExit };

// "(" + the rendered parameters + ")". Entry mode shows the in parameters, exit mode the
// out parameters; each is "<direction> <name> = <value>", separated by ", ".
std::wstring RenderParameters(TraceMode mode, const TraceMethod& method, TraceArguments arguments);

namespace trace_detail {

void WriteHex(std::wostream& out, std::uint64_t value, int digits);
bool WriteBstr(std::wostream& out, BSTR text);
bool WriteVariant(std::wostream& out, const VARIANT& value);
bool WriteCurrency(std::wostream& out, const CY& value);
bool WriteDate(std::wostream& out, DATE value);
bool WriteSafeArray(std::wostream& out, SAFEARRAY* array);
bool WriteUnexpected(std::wostream& out, VARTYPE vt);
bool WriteMismatch(std::wostream& out);

template <class T>
inline constexpr bool kIsNumber = std::is_arithmetic_v<T> || std::is_enum_v<T>;

template <class T>
std::int64_t AsInteger(const T& value) {
    if constexpr (std::is_enum_v<T>) {
        return static_cast<std::int64_t>(static_cast<std::underlying_type_t<T>>(value));
    } else {
        return static_cast<std::int64_t>(value);
    }
}

// One value of C++ type T in the form of vt. False: no size known, the list stops here.
template <class T>
bool RenderValue(VARTYPE vt, const T& value, std::wostream& out) {
    switch (vt) {
        case VT_I2:
        case VT_I4:
        case VT_HRESULT:
        case VT_INT:
        case VT_I1:
        case VT_UI1:
        case VT_UI2:
        case VT_UI4:
        case VT_UINT:
        case VT_BOOL:
            if constexpr (std::is_integral_v<T> || std::is_enum_v<T>) {
                const std::int64_t v = AsInteger(value);
                switch (vt) {
                    case VT_I2:
                        out << static_cast<std::int16_t>(v);
                        break;
                    case VT_I4:
                    case VT_HRESULT:
                    case VT_INT:
                        out << static_cast<std::int32_t>(v);
                        break;
                    case VT_I1:
                        out << static_cast<int>(static_cast<std::int8_t>(v));
                        break;
                    case VT_UI1:
                        out << static_cast<unsigned>(static_cast<std::uint8_t>(v));
                        break;
                    case VT_UI2:
                        out << static_cast<std::uint16_t>(v);
                        break;
                    case VT_BOOL:
                        out << (static_cast<std::int16_t>(v) == VARIANT_TRUE ? 1 : 0);
                        break;
                    default:
                        out << static_cast<std::uint32_t>(v);
                        break;
                }
                return true;
            }
            return WriteMismatch(out);
        case VT_R4:
        case VT_R8:
            if constexpr (std::is_floating_point_v<T>) {
                if (vt == VT_R4) {
                    out << static_cast<float>(value);
                } else {
                    out << static_cast<double>(value);
                }
                return true;
            }
            return WriteMismatch(out);
        case VT_CY:
            if constexpr (std::is_same_v<T, CY>) {
                return WriteCurrency(out, value);
            }
            return WriteMismatch(out);
        case VT_DATE:
            if constexpr (std::is_floating_point_v<T>) {
                return WriteDate(out, static_cast<DATE>(value));
            }
            return WriteMismatch(out);
        case VT_BSTR:
            if constexpr (std::is_same_v<std::remove_cv_t<T>, BSTR> ||
                          std::is_same_v<std::remove_cv_t<T>, const OLECHAR*>) {
                return WriteBstr(out, const_cast<BSTR>(value));
            }
            return WriteMismatch(out);
        case VT_VARIANT:
            if constexpr (std::is_same_v<T, VARIANT>) {
                return WriteVariant(out, value);
            }
            return WriteMismatch(out);
        case VT_DISPATCH:
        case VT_UNKNOWN:
            if constexpr (std::is_pointer_v<T>) {
                out << (vt == VT_DISPATCH ? L"[IDispatch] 0x" : L"[IUnknown] 0x");
                WriteHex(out, reinterpret_cast<std::uintptr_t>(value), 8);
                return true;
            }
            return WriteMismatch(out);
        case VT_SAFEARRAY:
            if constexpr (std::is_same_v<std::remove_cv_t<T>, SAFEARRAY*>) {
                return WriteSafeArray(out, value);
            }
            return WriteMismatch(out);
        case VT_USERDEFINED:
            // Enumerations: the 32-bit value. An interface pointer shows its value.
            out << L"[User-Defined] 0x";
            if constexpr (kIsNumber<T>) {
                WriteHex(out, static_cast<std::uint32_t>(AsInteger(value)), 8);
            } else if constexpr (std::is_pointer_v<T>) {
                WriteHex(out, reinterpret_cast<std::uintptr_t>(value), 8);
            } else {
                WriteHex(out, reinterpret_cast<std::uintptr_t>(&value), 8);
            }
            return true;
        case 15:
        case VT_PTR:
        case VT_CARRAY:
            return false;
        default:
            if (vt >= 2 && vt <= 31) {
                return WriteUnexpected(out, vt);
            }
            return false;
    }
}

// The renderer of an argument of type T.
template <class T>
bool RenderArgument(const void* argument, TraceValueType type, std::wostream& out) {
    const T& value = *static_cast<const T*>(argument);
    if (!type.dereference) {
        return RenderValue(type.vt, value, out);
    }
    if constexpr (std::is_pointer_v<T>) {
        using Pointee = std::remove_cv_t<std::remove_pointer_t<T>>;
        if (value == nullptr) {
            // An out pointer the caller left null has nothing to show.
            out << L"[NULL]";
            return true;
        }
        if constexpr (std::is_void_v<Pointee> || std::is_abstract_v<Pointee>) {
            return RenderValue(type.vt, value, out);
        } else {
            return RenderValue(type.vt, *value, out);
        }
    } else {
        return WriteMismatch(out);
    }
}

}  // namespace trace_detail

template <class T>
TraceArgument TraceArgumentOf(const T& argument) {
    return TraceArgument{&argument, &trace_detail::RenderArgument<T>};
}

}  // namespace tevo::driver

#include "session/trace_rendering.h"

#include <iomanip>
#include <locale>

#include "tevo/com/holders.h"

namespace tevo::driver {

namespace trace_detail {

void WriteHex(std::wostream& out, std::uint64_t value, int digits) {
    const auto flags = out.flags();
    const auto fill = out.fill(L'0');
    out << std::uppercase << std::hex << std::setw(digits) << value;
    out.fill(fill);
    out.flags(flags);
}

bool WriteBstr(std::wostream& out, BSTR text) {
    if (text == nullptr) {
        out << L"[NULL]";
    } else {
        out << L'"' << std::wstring_view(text, SysStringLen(text)) << L'"';
    }
    return true;
}

namespace {

// A value converted to text through a VARIANT, or the placeholder.
void WriteConverted(std::wostream& out, VARIANT& value, const wchar_t* open, const wchar_t* close,
                    const wchar_t* placeholder) {
    tevo::com::VariantHolder text;
    if (FAILED(VariantChangeType(text.Get(), &value, 0, VT_BSTR)) || V_VT(text.Get()) != VT_BSTR) {
        out << placeholder;
        return;
    }
    BSTR converted = V_BSTR(text.Get());
    out << open << std::wstring_view(converted, SysStringLen(converted)) << close;
}

}  // namespace

bool WriteVariant(std::wostream& out, const VARIANT& value) {
    WriteConverted(out, const_cast<VARIANT&>(value), L"\"", L"\"", L"[Unknown VARIANT Value]");
    return true;
}

bool WriteCurrency(std::wostream& out, const CY& value) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_CY;
    V_CY(&v) = value;
    WriteConverted(out, v, L"", L"", L"[Unknown Currency Value]");
    return true;
}

bool WriteDate(std::wostream& out, DATE value) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_DATE;
    V_DATE(&v) = value;
    WriteConverted(out, v, L"'", L"'", L"[Unknown Date Value]");
    return true;
}

bool WriteSafeArray(std::wostream& out, SAFEARRAY* array) {
    if (array == nullptr) {
        out << L"[NULL]";
        return true;
    }
    out << L"SafeArray";
    const UINT dimensions = SafeArrayGetDim(array);
    for (UINT d = 1; d <= dimensions; ++d) {
        LONG lower = 0;
        LONG upper = -1;
        SafeArrayGetLBound(array, d, &lower);
        SafeArrayGetUBound(array, d, &upper);
        out << L'[' << (static_cast<std::int64_t>(upper) - lower + 1) << L']';
    }
    return true;
}

bool WriteUnexpected(std::wostream& out, VARTYPE vt) {
    out << L"[Unexpected Type = " << vt << L"]";
    return false;
}

bool WriteMismatch(std::wostream& out) {
    out << L"[Garbage]";
    return false;
}

}  // namespace trace_detail

namespace {

// The value's type: the parameter's own, or behind its pointer (two levels at most).
TraceValueType ValueTypeOf(const TraceParameter& parameter) {
    TraceValueType type;
    if (parameter.chain_length == 0) {
        return type;
    }
    type.vt = parameter.type_chain[0];
    if (type.vt == VT_PTR) {
        type.dereference = true;
        type.vt = parameter.chain_length > 1 ? parameter.type_chain[1] : VARTYPE{VT_EMPTY};
        if (type.vt == VT_PTR) {
            type.vt = parameter.chain_length > 2 ? parameter.type_chain[2] : VARTYPE{VT_EMPTY};
        }
    }
    return type;
}

const wchar_t* DirectionLabel(TraceMode mode, USHORT flags) {
    if (mode == TraceMode::kEntry) {
        return (flags & PARAMFLAG_FOUT) != 0 ? L"[in,out] " : L"[in] ";
    }
    if ((flags & PARAMFLAG_FRETVAL) != 0) {
        return L"[out,retval] ";
    }
    return (flags & PARAMFLAG_FIN) != 0 ? L"[in,out] " : L"[out] ";
}

}  // namespace

std::wstring RenderParameters(TraceMode mode, const TraceMethod& method, TraceArguments arguments) {
    std::wostringstream out;
    out.imbue(std::locale::classic());
    out << L'(';
    bool first = true;
    const USHORT shown = mode == TraceMode::kEntry ? PARAMFLAG_FIN : PARAMFLAG_FOUT;
    for (size_t i = 0; i < method.parameters.size(); ++i) {
        const TraceParameter& parameter = method.parameters[i];
        if ((parameter.flags & shown) == 0) {
            continue;
        }
        if (!first) {
            out << L", ";
        }
        first = false;
        out << DirectionLabel(mode, parameter.flags)
            << (parameter.name.empty() ? std::wstring(L"Value") : parameter.name) << L" = ";
        if (i >= arguments.size() || arguments[i].render == nullptr) {
            // The frame was given fewer arguments than the method has.
            trace_detail::WriteMismatch(out);
            break;
        }
        if (!arguments[i].render(arguments[i].address, ValueTypeOf(parameter), out)) {
            break;
        }
    }
    out << L')';
    return out.str();
}

}  // namespace tevo::driver
